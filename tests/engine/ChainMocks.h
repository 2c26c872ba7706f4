#pragma once
// Chain components for tests: plain links and devices that log the calls they get, a source that
// serves a byte pattern and a sink that keeps what reaches it.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/wave_format.h"
#include "engine/MMDSPObj.h"

using CallLog = std::vector<std::string>;

// The byte at position i of every test stream.
inline uint8_t PatternByte(uint64_t i) { return uint8_t((i * 7 + (i >> 8) * 13 + 1) & 0xFF); }

class LoggedLink : public TMMDSPComponent {
public:
  LoggedLink(std::string name, CallLog* log) : name_(std::move(name)), log_(log) {}
  void ChainOpen() override {
    Log("Open");
    TMMDSPComponent::ChainOpen();
  }
  void ChainClose() override {
    Log("Close");
    TMMDSPComponent::ChainClose();
  }
  void ChainStart() override {
    Log("Start");
    TMMDSPComponent::ChainStart();
  }
  void ChainPause() override {
    Log("Pause");
    TMMDSPComponent::ChainPause();
  }
  void ChainRestart() override {
    Log("Restart");
    TMMDSPComponent::ChainRestart();
  }
  void ChainStop() override {
    Log("Stop");
    TMMDSPComponent::ChainStop();
  }
  void ChainReset() override { Log("Reset"); }
  void ChainLoop() override { Log("Loop"); }
  const std::string& LinkName() const { return name_; }

protected:
  void Log(const char* what) {
    if (log_) log_->push_back(name_ + "." + what);
  }

private:
  std::string name_;
  CallLog* log_;
};

// A device: its own operations run its chain walk and then log, as a device's own work comes last.
class LoggedDevice : public TMMCustomSoundComponent {
public:
  LoggedDevice(std::string name, CallLog* log, bool hasInput = true)
      : name_(std::move(name)), log_(log), hasInput_(hasInput) {}
  void ChainOpen() override {
    TMMCustomSoundComponent::ChainOpen();
    Log("Open");
  }
  void ChainClose() override {
    TMMCustomSoundComponent::ChainClose();
    Log("Close");
  }
  void ChainStart() override {
    TMMCustomSoundComponent::ChainStart();
    Log("Start");
  }
  void ChainPause() override {
    TMMCustomSoundComponent::ChainPause();
    Log("Pause");
  }
  void ChainRestart() override {
    TMMCustomSoundComponent::ChainRestart();
    Log("Restart");
  }
  void ChainStop() override {
    TMMCustomSoundComponent::ChainStop();
    Log("Stop");
  }
  void ChainReset() override {
    TMMCustomSoundComponent::ChainReset();
    Log("Reset");
  }
  void ChainLoop() override {
    TMMCustomSoundComponent::ChainLoop();
    Log("Loop");
  }
  bool PublishesLink(const std::string& p) const override { return p == "Output" || (hasInput_ && p == "Input"); }

  void SetNumBuffers(int32_t) override {}
  int32_t GetNumBuffers() const override { return 10; }
  void SetDeviceID(TMMDeviceId) override {}
  TMMDeviceId GetDeviceID() const override { return 0; }
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return {}; }
  void SetCallBackMode(TMMCBMode) override {}
  TMMCBMode GetCallBackMode() const override { return cmWindow; }

private:
  void Log(const char* what) {
    if (log_) log_->push_back(name_ + "." + what);
  }
  std::string name_;
  CallLog* log_;
  bool hasInput_;
};

// The head of a playback chain: serves `total` bytes of the test pattern. With knowsEnd it says
// "no more" together with the last bytes (as a wave file does); without, only by a pull that
// yields nothing.
class PatternSource : public TMMDSPComponent {
public:
  explicit PatternSource(uint64_t total, bool knowsEnd = true) : total_(total), knowsEnd_(knowsEnd) {}
  void BufferLoad(PWaveHdr h, bool& more) override {
    ++pulls;
    uint64_t left = total_ - pos_;
    uint32_t n = uint32_t(std::min<uint64_t>(left, h->dwBufferLength));
    for (uint32_t i = 0; i < n; ++i) h->lpData[i] = char(PatternByte(pos_ + i));
    pos_ += n;
    h->dwBytesRecorded = n;
    if (n > 0 && (!knowsEnd_ || pos_ < total_)) more = true;
  }
  std::atomic<int> pulls{0};

private:
  uint64_t total_;
  uint64_t pos_ = 0;
  bool knowsEnd_;
};

// The tail of a recording chain: keeps every byte pushed to it, with a log of its own stops and
// closes interleaved with the byte count at that moment.
class ByteSink : public TMMDSPComponent {
public:
  explicit ByteSink(CallLog* log = nullptr) : log_(log) {}
  void BufferReady(PWaveHdr h) override {
    std::lock_guard<std::mutex> l(m_);
    bytes_.insert(bytes_.end(), h->lpData, h->lpData + h->dwBytesRecorded);
    sizes_.push_back(h->dwBytesRecorded);
  }
  void ChainStop() override {
    Note("Stop");
    TMMDSPComponent::ChainStop();
  }
  void ChainClose() override {
    Note("Close");
    TMMDSPComponent::ChainClose();
  }
  std::vector<uint8_t> Bytes() const {
    std::lock_guard<std::mutex> l(m_);
    return bytes_;
  }
  size_t Size() const {
    std::lock_guard<std::mutex> l(m_);
    return bytes_.size();
  }
  std::vector<uint32_t> WriteSizes() const {
    std::lock_guard<std::mutex> l(m_);
    return sizes_;
  }

private:
  void Note(const char* what) {
    if (log_) log_->push_back(std::string("sink.") + what + "@" + std::to_string(Size()));
  }
  mutable std::mutex m_;
  std::vector<uint8_t> bytes_;
  std::vector<uint32_t> sizes_;
  CallLog* log_;
};

// A door a test holds shut while a thread waits at it.
class Gate {
public:
  void Arrive() {
    std::unique_lock<std::mutex> l(m_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(l, [this] { return open_; });
  }
  void Open() {
    std::lock_guard<std::mutex> l(m_);
    open_ = true;
    cv_.notify_all();
  }
  int Arrived() const {
    std::lock_guard<std::mutex> l(m_);
    return arrived_;
  }

private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
  int arrived_ = 0;
};

// A sink whose first write waits at a gate.
class GatedSink : public ByteSink {
public:
  using ByteSink::ByteSink;
  void BufferReady(PWaveHdr h) override {
    const bool first = writes_++ == 0;
    if (first) gate.Arrive();
    ByteSink::BufferReady(h);
    if (first && afterFirstWrite) afterFirstWrite();
  }
  Gate gate;
  std::function<void()> afterFirstWrite;

private:
  std::atomic<int> writes_{0};
};
