#pragma once
// The wave input device component: records from a sound card and pushes every filled buffer down
// its chain. Also what both wave device components share: device error texts, the position wrap
// counter, the completion worker thread, the route completions take and the device window's
// message numbers.
//
// Threads: the driver's callback (on the device's own thread) only notes open and close, counts
// returned buffers and wakes the completion handling; the handling itself (the chain's
// BufferReady, queueing buffers again, the recording limit) runs on the UI thread through the
// component's hidden window, or on the component's worker thread in cmThread mode. Transport
// calls and their events belong to the UI thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/MMDSPObj.h"
#include "platform/audio/wave_device.h"
#include "platform/messages/messages.h"

MM_EXCEPTION(EMMWaveInError)

// Messages of the device windows. The data notices carry the device handle and the buffer.
constexpr uint32_t WM_APP = 0x8000;
constexpr uint32_t MM_WOM_DONE = 0x3BD;
constexpr uint32_t MM_WIM_DATA = 0x3C0;
constexpr uint32_t MM_WAVEOUT_STOP = WM_APP + 1;  // the output's end of data or deferred stop
constexpr uint32_t MM_WAVEIN_STOP = WM_APP + 2;   // the input's recording limit or deferred stop
constexpr uint32_t MM_WAVE_FAILED = WM_APP + 3;   // the worker thread ended by an exception

// Most buffers a device keeps at the driver.
constexpr int32_t kMaxWaveBuffers = 500;

// "<operation>:" + line feed + carriage return + the system's text for code (at most 255
// characters), or message 28086 when the system has none.
std::string WaveDeviceErrorText(const std::string& operation, plat::MMRESULT code,
                                const std::function<plat::MMRESULT(plat::MMRESULT, std::string&)>& getText);
// "<operation>:" + line feed + carriage return + text.
std::string WaveDeviceError(const std::string& operation, const std::string& text);

// A device position of 32 bits wraps; this counts the wraps so the position keeps growing.
// A wrap is a drop of at least 65535; its size is the last position rounded up to the next
// multiple of 2^20, which is the modulus of every counter the drivers keep.
struct TMMPositionWrap {
  uint32_t Last = 0;
  int64_t Count = 0;
  int64_t Offset = 0;  // the sum of the wrap sizes so far
  void Clear() {
    Last = 0;
    Count = 0;
    Offset = 0;
  }
  int64_t Track(uint32_t raw);
};

// The id a device component keeps for id: -1 (the mapper) up to numDevs - 1 as it is, any other as
// InvalidId. productName becomes the device's name, or noDevice when none can be had.
TMMDeviceId SelectWaveDevice(TMMDeviceId id, uint32_t numDevs,
                             const std::function<plat::MMRESULT(int32_t, plat::WaveCaps&)>& getDevCaps,
                             const std::string& noDevice, std::string& productName);
// False, after a message box captioned caption, for cmCallback: callbacks at interrupt time are
// not supported here.
bool WaveCallbackModeAllowed(TMMCBMode mode, const char* caption);

// The samples a device position stands for: a device may answer in bytes.
uint32_t DeviceSamples(const plat::MMTIME& t, const WAVEFORMATEX* f);

// Waits a bounded while for the driver to let go of hdr, then marks it done.
void ReclaimWaveHdr(WAVEHDR& hdr);

// Runs stop unless the calling thread is already inside it (an event handler that stops again);
// when stop raises, failed runs and the exception goes on.
void RunWaveStop(std::atomic<std::thread::id>& stopThread, const std::function<void()>& stop,
                 const std::function<void()>& failed);

// Samples of a format in a time unit, and back (bytes rounded down to whole blocks).
int64_t SamplesToTimeUnits(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t samples);
int64_t TimeUnitsToBytes(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t value);
int64_t BytesToTimeUnits(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t bytes);

// cmThread: a device's completion handling runs here. A completion only wakes the thread; the
// handler then takes every buffer that has come back.
class TMMWaveDeviceThread : public TMMDSPThread {
public:
  // handler runs for each wake-up; failed runs on this thread after handler raised (the
  // exception has gone to the application's handler by then) and the thread ends.
  TMMWaveDeviceThread(TMMDSPComponent* owner, std::function<void()> handler,
                      std::function<void()> failed);
  ~TMMWaveDeviceThread() override;
  // Starts the thread at the priority and waits up to timeoutMs for it to be ready.
  bool Begin(TThreadPriority priority, int timeoutMs);
  void Wake();     // any thread
  void Discard();  // forgets a wake-up not yet taken
  void End();      // ends and joins the thread; not from the thread itself
  bool EndedByException() const { return failed_; }

protected:
  void Execute() override;

private:
  std::function<void()> handler_;
  std::function<void()> onFailure_;
  std::mutex m_;
  std::condition_variable cv_;
  bool pending_ = false;
  bool quit_ = false;
  bool ready_ = false;
  std::atomic<bool> failed_{false};
};

class TMMWaveInThread : public TMMWaveDeviceThread {
public:
  using TMMWaveDeviceThread::TMMWaveDeviceThread;
};

// Where a device's completions are handled: the component's hidden window, or in cmThread mode its
// worker thread. The driver's callback notifies and posts through it from the device's own
// thread; the rest belongs to the UI thread.
class TMMWaveCompletions {
public:
  // Makes the hidden window once; its messages go to wndProc.
  void MakeWindow(std::function<void(plat::Message&)> wndProc);
  // Routes the completions of the device about to open by mode. cmThread: a worker of type Thread
  // runs handler, and a handler that raises posts MM_WAVE_FAILED for the device in handle; false
  // when the worker was not ready in time.
  template <class Thread>
  bool Route(TMMCBMode mode, TMMDSPComponent* owner, TThreadPriority priority,
             std::function<void()> handler, const std::atomic<uint64_t>& handle) {
    liveMode_ = mode;
    if (mode != cmThread) return true;
    thread_ = std::make_unique<Thread>(owner, std::move(handler),
                                       [this, &handle] { Post(MM_WAVE_FAILED, handle); });
    if (!thread_->Begin(priority, 5000)) return false;
    wakeThread_ = thread_.get();
    return true;
  }
  // Ends and joins the worker, if any; not from the worker itself.
  void EndThread();
  void DropWindow() { window_.reset(); }
  // A buffer came back: wakes the worker, or posts msg with the device and the buffer.
  void Notify(uint32_t msg, uint64_t handle, WAVEHDR* hdr);
  void Post(uint32_t msg, uint64_t handle);
  // Forgets a buffer's notice not yet taken (msg in window mode).
  void Discard(uint32_t msg);
  void RemovePending(uint32_t msg);

private:
  std::unique_ptr<plat::HiddenWindow> window_;
  std::atomic<uint64_t> postHandle_{0};
  std::unique_ptr<TMMWaveDeviceThread> thread_;
  std::atomic<TMMWaveDeviceThread*> wakeThread_{nullptr};
  std::atomic<TMMCBMode> liveMode_{cmWindow};  // the mode the open device was opened in
};

// The platform functions a wave input component calls. TMMWaveIn fills them with the system's
// wave-input functions; a test may put others in.
struct TWaveInFunctions {
  std::function<uint32_t()> GetNumDevs;
  std::function<plat::MMRESULT(int32_t, plat::WaveCaps&)> GetDevCaps;
  std::function<plat::MMRESULT(plat::MMRESULT, std::string&)> GetErrorText;
  std::function<plat::MMRESULT(plat::HWAVEIN*, int32_t, const WAVEFORMATEX*, plat::WaveCallback, uint32_t)> Open;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Close;
  std::function<plat::MMRESULT(plat::HWAVEIN, WAVEHDR*)> PrepareHeader;
  std::function<plat::MMRESULT(plat::HWAVEIN, WAVEHDR*)> UnprepareHeader;
  std::function<plat::MMRESULT(plat::HWAVEIN, WAVEHDR*)> AddBuffer;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Start;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Stop;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Reset;
  std::function<plat::MMRESULT(plat::HWAVEIN, plat::MMTIME&)> GetPosition;
  std::function<plat::MMRESULT(plat::HWAVEIN, int32_t&)> GetID;
};

// The device state byte: closed or open, plus started and paused.
constexpr uint8_t kWaveStateClosed = 1;
constexpr uint8_t kWaveStateOpen = 2;
constexpr uint8_t kWaveStateStarted = 4;
constexpr uint8_t kWaveStatePaused = 8;

class TMMCustomWaveIn : public TMMCustomSoundComponent {
public:
  explicit TMMCustomWaveIn(TComponent* owner = nullptr);
  ~TMMCustomWaveIn() override;

  // ---- transport (UI thread) --------------------------------------------------------------------
  // Open, Start, Pause, Restart and Stop raise EMMWaveInError after OnError and leave the device
  // closed; Close reports through OnError only. Start and Pause open the device when needed.
  virtual void Open();
  virtual void Close();
  virtual void Start();
  virtual void Pause();
  virtual void Restart();
  virtual void Stop();

  // The recorded position in TimeFormat units; never beyond a MaxRecordTime of 1 or more.
  int64_t GetPosition();
  int64_t Position() { return GetPosition(); }
  // Bytes handed down the chain since the last Start.
  int64_t RecordedBytes() const;

  uint8_t State() const { return state_; }
  bool IsOpen() const { return state_ & kWaveStateOpen; }
  bool IsStarted() const { return state_ & kWaveStateStarted; }
  bool IsPaused() const { return state_ & kWaveStatePaused; }

  // ---- properties -------------------------------------------------------------------------------
  // Changing BufferSize, NumBuffers, DeviceID, CallBackMode, Mode, BitLength or SampleRate while
  // open raises 28060.
  void SetBufferSize(int32_t n) override;  // at least 32; frees the allocator's blocks
  void SetNumBuffers(int32_t n) override;  // below 2 ignored, at most 500
  int32_t GetNumBuffers() const override { return numBuffers_; }
  void SetDeviceID(TMMDeviceId id) override;
  TMMDeviceId GetDeviceID() const override { return deviceId_; }
  void SetProductName(const std::string&) override {}  // follows DeviceID
  std::string GetProductName() const override { return productName_; }
  void SetCallBackMode(TMMCBMode mode) override;
  TMMCBMode GetCallBackMode() const override { return cbMode_; }
  TMMMode Mode() const { return mode_; }
  void SetMode(TMMMode m);  // mMono or mStereo
  TMMBits BitLength() const { return bits_; }
  void SetBitLength(TMMBits b);
  int32_t SampleRate() const { return rate_; }
  void SetSampleRate(int32_t rate);  // limited to 8000..100000
  TMMTimeFormats TimeFormat() const { return timeFormat_; }
  void SetTimeFormat(TMMTimeFormats tf);
  // Length after which recording stops by itself, in TimeFormat units; 0 or less: no limit.
  int64_t MaxRecordTime() const { return maxRecordTime_; }
  void SetMaxRecordTime(int64_t value);
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority p) { priority_ = p; }
  // Devices present when the component was made.
  uint32_t NumDevs() const { return numDevs_; }

  // Closes the device first; a valid PCM format also sets Mode, BitLength and SampleRate.
  void SetWaveFormat(const WAVEFORMATEX* format) override;
  // Counts the bytes, cuts the buffer at the recording limit, passes it on, and stops at the limit.
  void BufferReady(PWaveHdr lpWaveHdr) override;
  bool PublishesLink(const std::string& property) const override { return property == "Output"; }

  TNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

  std::string ClassName() const override { return "TMMCustomWaveIn"; }

protected:
  // Fills the table of platform functions; the base leaves it empty (no devices).
  virtual void InitDeviceTable() {}
  // Counts the devices with the table and selects device 0. A class that fills the table calls
  // it from its constructor.
  void InitDevice();
  TWaveInFunctions& DeviceTable() { return fn_; }
  // Fires OnError, then raises EMMWaveInError with msg.
  [[noreturn]] virtual void Error(const std::string& msg);

private:
  void DeviceCallback(uint64_t handle, plat::WaveMsg msg, WAVEHDR* hdr);
  void WndProc(plat::Message& m);
  void HandleCompletions();
  void PassOnStopped(PWaveHdr h);
  void QueueBuffer(int slot);
  void PostDeferredStop();
  void DoStop();
  void CloseDevice();
  void CheckFormat();
  void AllocateBuffers();
  void FreeBuffers();
  void Check(plat::MMRESULT r, const char* operation);
  void FireError();
  void SetPCMFormat();
  void UpdateByteLimit();
  void RefuseWhileOpen();
  int64_t TrackedDevicePosition();
  void WaitForQueue();

  TWaveInFunctions fn_;
  uint32_t numDevs_ = 0;
  std::atomic<uint8_t> state_{kWaveStateClosed};
  std::atomic<bool> deviceOpen_{false};  // the driver's open and close notices
  std::atomic<plat::HWAVEIN> handle_{0};
  TMMWaveCompletions completions_;
  mutable std::recursive_mutex lock_;
  TMMAllocator allocator_;

  std::vector<PWaveHdr> buffers_;
  std::vector<uint8_t> atDriver_;  // per slot: queued and not yet handled
  int bufIndex_ = 0;               // the slot that comes back next
  std::atomic<int> inQueue_{0};
  int reentry_ = 0;
  std::atomic<bool> stopping_{false}, resetting_{false};
  // Read by Close and GetPosition on the UI thread while a worker may set them.
  std::atomic<bool> stopDeferred_{false}, stopPosted_{false}, closeAfterStop_{false}, closing_{false};
  std::atomic<std::thread::id> stopThread_{};  // the thread running Stop: a nested Stop returns
  bool limitReached_ = false;
  bool meterStarted_ = false;
  int64_t recordedBytes_ = 0;
  int64_t maxRecordBytes_ = INT64_MAX;
  TMMPositionWrap wrap_;

  int32_t numBuffers_ = 10;
  TMMDeviceId deviceId_ = 0;
  std::string productName_;
  TMMCBMode cbMode_ = cmWindow;
  TMMMode mode_ = mMono;
  TMMBits bits_ = b8Bit;
  int32_t rate_ = 11025;
  TMMTimeFormats timeFormat_ = tfByte;
  int64_t maxRecordTime_ = -1;
  TThreadPriority priority_ = tpHigher;
  bool settingFormat_ = false;
};

// The wave input of the sound card.
class TMMWaveIn : public TMMCustomWaveIn {
public:
  explicit TMMWaveIn(TComponent* owner = nullptr);
  std::string ClassName() const override { return "TMMWaveIn"; }

protected:
  void InitDeviceTable() override;
};

// The wave input devices with their numbers, collected once per process on first use.
struct TMMDeviceName {
  TMMDeviceId Id;
  std::string Name;
};
const std::vector<TMMDeviceName>& WaveInDeviceList();
