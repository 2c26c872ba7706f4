#pragma once
// Byte streams: files, memory blocks and the program's built-in resources, with 64-bit positions.
// ReadBuffer and WriteBuffer raise when the whole count cannot be moved; Read and Write report it.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/system/component.h"

namespace plat {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t p) { Seek(p, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t size);

  void ReadBuffer(void* buffer, int64_t count);         // raises EReadError
  void WriteBuffer(const void* buffer, int64_t count);  // raises EWriteError
  // Copies count bytes from src at its position (count 0: all of src from its start).
  int64_t CopyFrom(TStream& src, int64_t count);

  // Little-endian fields, as every stored layout of the program is written.
  uint8_t ReadU8();
  uint16_t ReadU16();
  uint32_t ReadU32();
  int32_t ReadI32() { return int32_t(ReadU32()); }
  void WriteU8(uint8_t v);
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteI32(int32_t v) { WriteU32(uint32_t(v)); }

  std::string ClassName() const override { return "TStream"; }
};

// File open modes: one access mode, optionally or-ed with a share mode (kept for the callers'
// sake; Linux has no mandatory sharing). fmCreate makes or truncates the file.
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class THandleStream : public TStream {
public:
  explicit THandleStream(int fd) : fd_(fd) {}
  int Handle() const { return fd_; }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;

protected:
  int fd_;
};

class TFileStream : public THandleStream {
public:
  // Raises EFCreateError ("Cannot create file ...") or EFOpenError ("Cannot open file ...").
  TFileStream(const std::string& path, uint32_t mode);
  ~TFileStream() override;
  const std::string& FileName() const { return path_; }
  std::string ClassName() const override { return "TFileStream"; }

private:
  std::string path_;
};

class TCustomMemoryStream : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  const void* Memory() const { return data_; }
  void SaveToStream(TStream& s);
  void SaveToFile(const std::string& path);

protected:
  void SetPointer(const uint8_t* data, int64_t size) {
    data_ = data;
    size_ = size;
  }
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  int64_t pos_ = 0;
};

class TMemoryStream : public TCustomMemoryStream {
public:
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  void Clear();
  void* Memory() { return buf_.data(); }
  void LoadFromStream(TStream& s);
  void LoadFromFile(const std::string& path);
  std::string ClassName() const override { return "TMemoryStream"; }

private:
  void Sync() { SetPointer(buf_.data(), int64_t(buf_.size())); }
  std::vector<uint8_t> buf_;
};

// Built-in data of the program (blank wave headers, pictures) is registered under a name and a
// type before use and read through TResourceStream, which raises EResNotFound for an unknown one.
void RegisterResource(const std::string& name, const std::string& type, const void* data, size_t size);
bool FindResource(const std::string& name, const std::string& type, const uint8_t*& data, size_t& size);

class EResNotFound : public Exception {
public:
  explicit EResNotFound(std::string m) : Exception(std::move(m)) {}
};

class TResourceStream : public TCustomMemoryStream {
public:
  TResourceStream(const std::string& name, const std::string& type);
  int64_t Write(const void* buffer, int64_t count) override;  // raises EStreamError
  std::string ClassName() const override { return "TResourceStream"; }
};

}  // namespace plat
