#pragma once
// The wave output device component: pulls every buffer from upstream (BufferLoad), hands it to the
// driver, and once it has played pushes it on downstream (BufferReady), which is how the connector
// behind it sees the audio. Ends playback by itself when the source runs dry.
//
// Threads as for the wave input: the driver's callback counts returned buffers and wakes the
// completion handling, which runs on the UI thread through the hidden window (or on the worker
// thread in cmThread mode) and does the rest: the played buffer goes downstream, the buffer is
// refilled and written again, loops are signalled, and the end of the data posts the stop.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/MMWavIn.h"

MM_EXCEPTION(EMMWaveOutError)

// An output device's operations. Another device's chain walk that reaches it drives it through
// them, as a device; nothing pushed from upstream reaches it.
class TMMCustomWaveOutComponent : public TMMCustomSoundComponent {
public:
  explicit TMMCustomWaveOutComponent(TComponent* owner = nullptr) : TMMCustomSoundComponent(owner) {}

  virtual int64_t GetPosition() = 0;
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void Reprime() = 0;
  virtual void Start() = 0;
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  virtual void Stop() = 0;

  void ChainOpen() override { Open(); }
  void ChainClose() override { Close(); }
  void ChainStart() override { Start(); }
  void ChainPause() override { Pause(); }
  void ChainRestart() override { Restart(); }
  void ChainStop() override { Stop(); }
  void BufferReady(PWaveHdr) override {}

  std::string ClassName() const override { return "TMMCustomWaveOutComponent"; }
};

struct TWaveOutFunctions {
  std::function<uint32_t()> GetNumDevs;
  std::function<plat::MMRESULT(int32_t, plat::WaveCaps&)> GetDevCaps;
  std::function<plat::MMRESULT(plat::MMRESULT, std::string&)> GetErrorText;
  std::function<plat::MMRESULT(plat::HWAVEOUT*, int32_t, const WAVEFORMATEX*, plat::WaveCallback, uint32_t)> Open;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Close;
  std::function<plat::MMRESULT(plat::HWAVEOUT, WAVEHDR*)> PrepareHeader;
  std::function<plat::MMRESULT(plat::HWAVEOUT, WAVEHDR*)> UnprepareHeader;
  std::function<plat::MMRESULT(plat::HWAVEOUT, WAVEHDR*)> Write;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Pause;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Restart;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Reset;
  std::function<plat::MMRESULT(plat::HWAVEOUT, plat::MMTIME&)> GetPosition;
  std::function<plat::MMRESULT(plat::HWAVEOUT, int32_t&)> GetID;
};

class TMMWaveOutThread : public TMMWaveDeviceThread {
public:
  using TMMWaveDeviceThread::TMMWaveDeviceThread;
};

class TMMWaveOut : public TMMCustomWaveOutComponent {
public:
  explicit TMMWaveOut(TComponent* owner = nullptr);
  ~TMMWaveOut() override;

  // ---- transport (UI thread) --------------------------------------------------------------------
  // Open, Start, Pause, Restart, Reprime and Stop raise EMMWaveOutError after OnError and leave
  // the device closed; Close reports through OnError only. A Start whose source yields nothing
  // raises "Unable to start device".
  void Open() override;
  void Close() override;
  void Start() override;
  void Pause() override;
  void Restart() override;
  void Stop() override;
  // After the source has moved: drops what is queued and plays on from the source's new place,
  // the position counting from 0 again.
  void Reprime() override;

  // The played position in TimeFormat units since the start, the last re-prime or loop point.
  int64_t GetPosition() override;
  int64_t Position() { return GetPosition(); }
  // The position when the last Stop began; kept until Close.
  int64_t FinalPosition() const;

  uint8_t State() const { return state_; }
  bool IsOpen() const { return state_ & kWaveStateOpen; }
  bool IsStarted() const { return state_ & kWaveStateStarted; }
  bool IsPaused() const { return state_ & kWaveStatePaused; }

  // ---- properties -------------------------------------------------------------------------------
  void SetBufferSize(int32_t n) override;  // at least 32; refused while open
  void SetNumBuffers(int32_t n) override;  // below 2 ignored, at most 500; refused while open
  int32_t GetNumBuffers() const override { return numBuffers_; }
  void SetDeviceID(TMMDeviceId id) override;
  TMMDeviceId GetDeviceID() const override { return deviceId_; }
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return productName_; }
  void SetCallBackMode(TMMCBMode mode) override;
  TMMCBMode GetCallBackMode() const override { return cbMode_; }
  TMMTimeFormats TimeFormat() const { return timeFormat_; }
  void SetTimeFormat(TMMTimeFormats tf);
  bool Looping() const { return looping_; }
  void SetLooping(bool on);
  uint16_t LoopCount() const { return loopCount_; }
  void SetLoopCount(uint16_t n);
  bool ShowHourGlass() const { return showHourGlass_; }
  void SetShowHourGlass(bool on) { showHourGlass_ = on; }
  bool Mapped() const { return mapped_; }
  void SetMapped(bool on) { mapped_ = on; }
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority p) { priority_ = p; }
  uint32_t NumDevs() const { return numDevs_; }

  // Closes the device first.
  void SetWaveFormat(const WAVEFORMATEX* format) override;
  // The fill: pulls one buffer from upstream with the loop words, and cuts the buffer to what
  // arrived.
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;

  TNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose, OnLooping;
  // (OnBufferFilled, from the base, fires for each buffer just before it goes to the driver.)

  std::string ClassName() const override { return "TMMWaveOut"; }

protected:
  TWaveOutFunctions& DeviceTable() { return fn_; }
  [[noreturn]] virtual void Error(const std::string& msg);

private:
  void DeviceCallback(uint64_t handle, plat::WaveMsg msg, WAVEHDR* hdr);
  void WndProc(plat::Message& m);
  void HandleCompletions();
  void Played(int slot);
  void EndOfQueue();
  uint32_t Fill(PWaveHdr h);
  bool Write(int slot);
  int Refill();
  void DoStop();
  void CloseDevice();
  void ReleaseBuffers(bool report);
  void Check(plat::MMRESULT r, const char* operation);
  void FireError();
  void RefuseWhileOpen();
  int64_t TrackedDevicePosition();
  void CountFromHere();

  TWaveOutFunctions fn_;
  uint32_t numDevs_ = 0;
  std::atomic<uint8_t> state_{kWaveStateClosed};
  std::atomic<bool> deviceOpen_{false};
  std::atomic<plat::HWAVEOUT> handle_{0};
  TMMWaveCompletions completions_;
  mutable std::recursive_mutex lock_;
  TMMAllocator allocator_;

  std::vector<PWaveHdr> buffers_;
  std::vector<uint8_t> atDriver_;
  int numInUse_ = 0;
  int doneIndex_ = 0;  // the slot that finishes playing next
  std::atomic<int> inQueue_{0};
  int reentry_ = 0;
  std::atomic<bool> stopping_{false}, resetting_{false};
  // Read by Close and GetPosition on the UI thread while a worker may set them.
  std::atomic<bool> stopDeferred_{false}, stopPosted_{false}, closeAfterStop_{false}, closing_{false};
  bool moreBuffers_ = false;
  bool pausedByReset_ = false;  // a pause with a device upstream emptied the queue
  bool meterStarted_ = false;
  std::atomic<std::thread::id> stopThread_{};
  TMMPositionWrap wrap_;
  int64_t positionBase_ = 0;  // samples
  int64_t loopPosition_ = 0;  // samples, where the last pass began
  // Device samples at the last reset, and samples of the buffers played back since: together the
  // exact end of a buffer in the device's count.
  int64_t resetDevicePosition_ = 0;
  int64_t completedSamples_ = 0;
  int64_t finalPosition_ = 0;
  int32_t loopsLeft_ = 0;

  int32_t numBuffers_ = 10;
  TMMDeviceId deviceId_ = 0;
  std::string productName_;
  TMMCBMode cbMode_ = cmWindow;
  TMMTimeFormats timeFormat_ = tfByte;
  bool looping_ = false;
  uint16_t loopCount_ = 0;
  bool showHourGlass_ = true;
  bool mapped_ = false;
  TThreadPriority priority_ = tpHigher;
};
