#pragma once
// A WAV file held whole in memory, as a wave list item keeps it and stores it with the form.
#include <cstdint>
#include <memory>
#include <string>

#include "controls/ZelObject.h"
#include "controls/zelclass.h"

namespace plat {
class TStream;
class TMemoryStream;
}  // namespace plat

// What the check of an image finds.
struct TZelWaveInfo {
  uint32_t RiffSize = 0;
  uint32_t SamplesPerSec = 0;
  uint8_t Channels = 0;  // 1 mono, 2 stereo, 0 anything else
  uint8_t Pcm = 0;       // 1 when the format tag is 1
  uint16_t BlockAlign = 0;
};

// Checks a WAV image at s's start ("RIFF", size, "WAVE", "fmt ", the format's first fields) and
// rewinds it. False for an image that is no WAV; a short read raises EErrorCheckingWave.
bool CheckWaveImage(plat::TStream& s, TZelWaveInfo& info);

class TZelWave : public TZelObject {
public:
  TZelWave();
  ~TZelWave() override;

  bool Empty() const;
  int64_t Size() const;
  const TZelWaveInfo& Info() const { return info_; }
  std::string Bytes() const;

  // Takes stream over (null: none), stopping any sound that plays.
  void SetData(std::unique_ptr<plat::TMemoryStream> stream);
  void Clear() { SetData(nullptr); }
  // Copies count bytes of src from its position. A source of size 0 empties the wave; an image
  // that is no WAV raises EInvalidWave and leaves the wave as it was.
  void LoadFromStream(int64_t count, plat::TStream& src);
  void LoadFromRestOfStream(plat::TStream& src);
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;
  void SaveToStream(plat::TStream& dst) const;  // the bytes only
  // The stored property "Data": u32 size, then the bytes.
  bool HasData() const { return stream_ != nullptr; }
  void WriteData(plat::TStream& s) const;
  void ReadData(plat::TStream& s);

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelWave"; }

private:
  std::unique_ptr<plat::TMemoryStream> stream_;
  TZelWaveInfo info_;
};
