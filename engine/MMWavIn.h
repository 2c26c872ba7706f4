#pragma once
// The wave input device component: records from a sound card and pushes every filled buffer down
// its chain. Also what both wave device components share: device error texts, the position wrap
// counter, the completion worker thread, the route completions take, the device window's
// message numbers, and the device base both are made of.
//
// Threads: the driver's callback (on the device's own thread) only notes open and close, counts
// returned buffers and wakes the completion handling; the handling itself (the chain's
// BufferReady, queueing buffers again, the recording limit) runs on the UI thread through the
// component's hidden window, or on the component's worker thread in cmThread mode. Transport
// calls and their events belong to the UI thread.
#include <algorithm>
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
#include "engine/MMTimer.h"
#include "platform/audio/wave_device.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"

MM_EXCEPTION(EMMWaveInError)
// The input could not be opened because the sound server behind it could not be reached; the
// message says why.
class EMMWaveInNoServer : public EMMWaveInError {
public:
  using EMMWaveInError::EMMWaveInError;
};

// Messages of the device windows. The data notices carry the device handle and the buffer.
constexpr uint32_t MM_WOM_DONE = 0x3BD;
constexpr uint32_t MM_WIM_DATA = 0x3C0;
constexpr uint32_t MM_WAVEOUT_STOP = plat::WM_APP + 1;  // the output's end of data or deferred stop
constexpr uint32_t MM_WAVEIN_STOP = plat::WM_APP + 2;   // the input's recording limit or deferred stop
constexpr uint32_t MM_WAVE_FAILED = plat::WM_APP + 3;   // the worker thread ended by an exception

// Most buffers a device keeps at the driver.
constexpr int32_t kMaxWaveBuffers = 500;

// "<operation>:" + line feed + carriage return + the system's text for code (at most 255
// characters), or message 28086 when the system has none.
std::string WaveDeviceErrorText(const std::string& operation, plat::MMRESULT code,
                                const std::function<plat::MMRESULT(plat::MMRESULT, std::string&)>& getText);
// "<operation>:" + line feed + carriage return + text.
std::string WaveDeviceError(const std::string& operation, const std::string& text);
// The text of a device error without the operation it names: what an operator is shown, who has
// no use for the name of a device call. Any other message comes back as it is.
std::string WaveDeviceReason(const std::string& message);

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
  TMMWaveDeviceThread(TMMDSPComponent* owner, std::function<void()> handler, std::function<void()> failed);
  ~TMMWaveDeviceThread() override;
  // Starts the thread at the priority and waits up to timeoutMs for it to be ready.
  bool Begin(TThreadPriority priority, int timeoutMs);
  void Wake();     // any thread
  void Discard();  // forgets a wake-up not yet taken
  void End();      // ends and joins the thread; not from the thread itself
  bool EndedByException() const { return failed_; }
  bool HandlesDeviceCompletions() const override { return true; }

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
  bool Route(TMMCBMode mode, TMMDSPComponent* owner, TThreadPriority priority, std::function<void()> handler,
             const std::atomic<uint64_t>& handle) {
    liveMode_ = mode;
    if (mode != cmThread) return true;
    thread_ = std::make_unique<Thread>(owner, std::move(handler), [this, &handle] { Post(MM_WAVE_FAILED, handle); });
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

// The device state byte: closed or open, plus started and paused.
constexpr uint8_t kWaveStateClosed = 1;
constexpr uint8_t kWaveStateOpen = 2;
constexpr uint8_t kWaveStateStarted = 4;
constexpr uint8_t kWaveStatePaused = 8;

// The platform functions both wave device components call (the handle is an input's or an
// output's).
struct TWaveDeviceFunctions {
  std::function<uint32_t()> GetNumDevs;
  std::function<plat::MMRESULT(int32_t, plat::WaveCaps&)> GetDevCaps;
  std::function<plat::MMRESULT(plat::MMRESULT, std::string&)> GetErrorText;
  std::function<plat::MMRESULT(uint64_t*, int32_t, const WAVEFORMATEX*, plat::WaveCallback, uint32_t)> Open;
  std::function<plat::MMRESULT(uint64_t)> Close;
  std::function<plat::MMRESULT(uint64_t, WAVEHDR*)> PrepareHeader;
  std::function<plat::MMRESULT(uint64_t, WAVEHDR*)> UnprepareHeader;
  std::function<plat::MMRESULT(uint64_t)> Reset;
  std::function<plat::MMRESULT(uint64_t, plat::MMTIME&)> GetPosition;
  std::function<plat::MMRESULT(uint64_t, int32_t&)> GetID;
  std::function<plat::MMRESULT(uint64_t, uint32_t&)> GetStall;
};

// What the wave input and output components share: the device table and state, the buffers at
// the driver, the completion route and window, the properties refused while open, Start, Pause,
// Close and Stop, and the error path (OnError, then Exception). A class made of it opens, starts,
// pauses, stops, closes and takes back its buffers in its own way.
// An input device's transport, as TMMCustomWaveOutComponent declares an output's.
class TMMCustomWaveInComponent : public TMMCustomSoundComponent {
public:
  explicit TMMCustomWaveInComponent(TComponent* owner = nullptr) : TMMCustomSoundComponent(owner) {}
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void Start() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
};

template <class Base, class Functions, class Exception>
class TMMWaveDevice : public Base {
public:
  void Open() override = 0;
  // Closes the device; asked for inside the completion handling, the close follows the stop.
  // Reports through OnError only.
  void Close() override;
  // Start and Pause open the device when needed.
  void Start() override;
  void Pause() override;
  void Stop() override;

  uint8_t State() const { return state_; }
  bool IsOpen() const { return state_ & kWaveStateOpen; }
  bool IsStarted() const { return state_ & kWaveStateStarted; }
  bool IsPaused() const { return state_ & kWaveStatePaused; }

  // Changing BufferSize, NumBuffers, DeviceID or CallBackMode while open raises 28060.
  void SetBufferSize(int32_t n) override;  // at least 32; frees the allocator's blocks
  void SetNumBuffers(int32_t n) override;  // below 2 ignored, at most 500
  int32_t GetNumBuffers() const override { return numBuffers_; }
  void SetDeviceID(TMMDeviceId id) override;
  TMMDeviceId GetDeviceID() const override { return deviceId_; }
  void SetProductName(const std::string&) override {}  // follows DeviceID
  std::string GetProductName() const override { return productName_; }
  void SetCallBackMode(TMMCBMode mode) override;
  TMMCBMode GetCallBackMode() const override { return cbMode_; }
  TMMTimeFormats TimeFormat() const { return timeFormat_; }
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority p) { priority_ = p; }
  // Devices present when the component was made.
  uint32_t NumDevs() const { return numDevs_; }
  // How long the open device's stream has moved no audio although it is still there, in ms, once
  // that has gone on for several seconds (see WaveInGetStall); 0 while audio moves or when closed.
  uint32_t StalledMs() {
    uint32_t ms = 0;
    const uint64_t h = handle_;
    return h && IsOpen() && fn_.GetStall && fn_.GetStall(h, ms) == plat::MMSYSERR_NOERROR ? ms : 0;
  }

  TNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

protected:
  // noDevice: the message number for no device; caption: the refusal's caption for interrupt-time
  // callbacks; dataMsg and stopMsg: the window's notices of a returned buffer and of a stop.
  TMMWaveDevice(TComponent* owner, int noDevice, const char* caption, uint32_t dataMsg, uint32_t stopMsg)
      : Base(owner),
        buffers_(size_t(kMaxWaveBuffers), nullptr),
        atDriver_(size_t(kMaxWaveBuffers), 0),
        noDevice_(noDevice),
        caption_(caption),
        dataMsg_(dataMsg),
        stopMsg_(stopMsg) {
    productName_ = LoadLibraryMessage(noDevice);
  }
  // The destructor's part: closes the device and ends the worker and the window.
  void ShutDown();

  Functions& DeviceTable() { return fn_; }
  // Fires OnError, then raises Exception with msg.
  [[noreturn]] virtual void Error(const std::string& msg);
  void FireError();
  void Check(plat::MMRESULT r, const char* operation);
  void RefuseWhileOpen();
  // A transport call failed: OnError, then the device closes as if its state were state.
  void FailAndClose();
  void FailAndClose(uint8_t state);

  // Makes the window and routes the completions by CallBackMode; device names the failure.
  template <class Thread>
  void RouteCompletions(const char* device);
  // The driver's callback for Open.
  plat::WaveCallback DriverCallback() {
    return [this](uint64_t dev, plat::WaveMsg msg, WAVEHDR* hdr) { DeviceCallback(dev, msg, hdr); };
  }
  // The end of a close, once the device is shut: the chain closes, the worker ends, ReleaseOnClose
  // runs, the state is closed, OnClose, and a failure is raised.
  void FinishClose(const std::string& failure);

  // Start's and Pause's own parts, under the lock: the device is open and not yet started, or
  // started and not yet paused.
  virtual void StartDevice() = 0;
  virtual void PauseDevice() = 0;
  // A buffer came back from the driver (on the device's thread).
  virtual void BufferBack(uint64_t handle, WAVEHDR* hdr) = 0;
  virtual void HandleCompletions() = 0;
  virtual void DoStop() = 0;
  virtual void CloseDevice() = 0;
  virtual void ReleaseOnClose() {}
  // On this device's completion worker (cmThread), where its handling runs instead of the UI
  // thread.
  bool OnOwnWorker() const {
    const TMMDSPThread* t = TMMDSPThread::Current();
    return t && t->Owner() == this;
  }

  Functions fn_;
  uint32_t numDevs_ = 0;
  std::atomic<uint8_t> state_{kWaveStateClosed};
  std::atomic<bool> deviceOpen_{false};  // the driver's open and close notices
  std::atomic<uint64_t> handle_{0};
  TMMWaveCompletions completions_;
  mutable std::recursive_mutex lock_;
  TMMAllocator allocator_;

  std::vector<PWaveHdr> buffers_;
  std::vector<uint8_t> atDriver_;  // per slot: queued and not yet handled
  std::atomic<int> inQueue_{0};
  int reentry_ = 0;
  std::atomic<bool> stopping_{false}, resetting_{false};
  // Read by Close and GetPosition on the UI thread while a worker may set them.
  std::atomic<bool> stopDeferred_{false}, stopPosted_{false}, closeAfterStop_{false}, closing_{false};
  std::atomic<std::thread::id> stopThread_{};  // the thread running Stop: a nested Stop returns
  std::atomic<bool> stopHeld_{false};          // stopped, but the chain below still holds audio
  bool meterStarted_ = false;
  TMMPositionWrap wrap_;

  int32_t numBuffers_ = 10;
  TMMDeviceId deviceId_ = 0;
  std::string productName_;
  TMMCBMode cbMode_ = cmWindow;
  TMMTimeFormats timeFormat_ = tfByte;
  TThreadPriority priority_ = tpHigher;

private:
  void DeviceCallback(uint64_t handle, plat::WaveMsg msg, WAVEHDR* hdr);
  void WndProc(plat::Message& m);

  const int noDevice_;
  const char* const caption_;
  const uint32_t dataMsg_, stopMsg_;
};

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::ShutDown() {
  this->Destroying();
  Close();
  completions_.EndThread();
  completions_.DropWindow();
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Error(const std::string& msg) {
  FireError();
  throw E(msg);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::FireError() {
  if (OnError) OnError(this);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Check(plat::MMRESULT r, const char* operation) {
  if (r != plat::MMSYSERR_NOERROR) Error(WaveDeviceErrorText(operation, r, fn_.GetErrorText));
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::RefuseWhileOpen() {
  if (IsOpen()) Error(LoadLibraryMessage(60));
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::FailAndClose() {
  FireError();
  Close();
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::FailAndClose(uint8_t state) {
  FireError();
  state_ = state;
  Close();
  state_ = kWaveStateClosed;
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::SetBufferSize(int32_t n) {
  n = std::max<int32_t>(n, 32);
  if (n == this->StoredBufferSize()) return;
  RefuseWhileOpen();
  TMMCustomSoundComponent::SetBufferSize(n);
  allocator_.FreeAll();
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::SetNumBuffers(int32_t n) {
  if (n < 2) return;
  n = std::min(n, kMaxWaveBuffers);
  if (n == numBuffers_) return;
  RefuseWhileOpen();
  numBuffers_ = n;
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::SetDeviceID(TMMDeviceId id) {
  if (IsOpen()) {
    if (id == deviceId_) return;
    Error(LoadLibraryMessage(60));
  }
  deviceId_ = SelectWaveDevice(id, numDevs_, fn_.GetDevCaps, LoadLibraryMessage(noDevice_), productName_);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::SetCallBackMode(TMMCBMode mode) {
  if (mode == cbMode_) return;
  RefuseWhileOpen();
  if (WaveCallbackModeAllowed(mode, caption_)) cbMode_ = mode;
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Close() {
  SOLVANE_ASSERT_UI_THREAD();
  if (!((IsOpen() && !closing_) || closeAfterStop_)) return;
  closing_ = true;
  if (state_ & (kWaveStateStarted | kWaveStatePaused)) {
    try {
      Stop();
    } catch (...) {
      // Reported through OnError; the device is closed below all the same.
    }
  }
  if (stopDeferred_ || stopHeld_) {
    closeAfterStop_ = true;
    return;
  }
  try {
    CloseDevice();
  } catch (...) {
    // Reported through OnError inside Error.
  }
  closing_ = false;
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Start() {
  SOLVANE_ASSERT_UI_THREAD();
  if (!IsOpen()) Open();
  bool started = false;
  try {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (IsOpen() && !IsStarted()) {
      StartDevice();
      LoadMeterStart();
      meterStarted_ = true;
      started = true;
    }
  } catch (...) {
    FailAndClose(state_ | kWaveStateStarted);
    throw;
  }
  if (started && OnStart) OnStart(this);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Pause() {
  SOLVANE_ASSERT_UI_THREAD();
  if (!IsOpen()) Open();
  bool paused = false;
  try {
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      if (IsOpen() && !IsPaused()) {
        if (IsStarted()) PauseDevice();
        state_ |= kWaveStatePaused;
        paused = true;
      }
    }
    if (paused) TMMCustomSoundComponent::ChainPause();
  } catch (...) {
    FailAndClose();
    throw;
  }
  if (paused && OnPause) OnPause(this);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::Stop() {
  // The recording limit stops from inside the handling, which defers the stop to the window.
  SOLVANE_ASSERT_UI_THREAD_OR(OnOwnWorker());
  RunWaveStop(
      stopThread_, [this] { DoStop(); }, [this] { FailAndClose(); });
}

template <class B, class F, class E>
template <class Thread>
void TMMWaveDevice<B, F, E>::RouteCompletions(const char* device) {
  completions_.MakeWindow([this](plat::Message& m) { WndProc(m); });
  handle_ = 0;
  closeAfterStop_ = false;
  if (!completions_.template Route<Thread>(
          cbMode_, this, priority_, [this] { HandleCompletions(); }, handle_))
    Error(WaveDeviceError(device, LoadLibraryMessage(88)));
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::FinishClose(const std::string& failure) {
  TMMCustomSoundComponent::ChainClose();
  completions_.EndThread();
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    ReleaseOnClose();
    handle_ = 0;
    deviceOpen_ = false;
    closing_ = false;
    state_ = kWaveStateClosed;
  }
  if (!this->IsDestroying() && OnClose) OnClose(this);
  if (!failure.empty()) Error(failure);
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::DeviceCallback(uint64_t handle, plat::WaveMsg msg, WAVEHDR* hdr) {
  try {
    switch (msg) {
      case plat::WaveMsg::Open: deviceOpen_ = true; break;
      case plat::WaveMsg::Close: deviceOpen_ = false; break;
      case plat::WaveMsg::Data:
      case plat::WaveMsg::Done: BufferBack(handle, hdr); break;
    }
  } catch (...) {
    plat::HandleException(std::current_exception());
    completions_.Post(MM_WAVE_FAILED, handle);
  }
}

template <class B, class F, class E>
void TMMWaveDevice<B, F, E>::WndProc(plat::Message& m) {
  SOLVANE_ASSERT_UI_THREAD();
  const uint64_t h = handle_;
  if (h == 0 || m.WParam != h) return;
  try {
    if (m.Msg == dataMsg_) HandleCompletions();
    else if (m.Msg == stopMsg_) Stop();
    else if (m.Msg == MM_WAVE_FAILED) Close();
  } catch (...) {
    std::exception_ptr e = std::current_exception();
    Close();
    plat::HandleException(e);
  }
}

// The platform functions a wave input component calls. TMMWaveIn fills them with the system's
// wave-input functions; a test may put others in.
struct TWaveInFunctions : TWaveDeviceFunctions {
  std::function<plat::MMRESULT(plat::HWAVEIN, WAVEHDR*)> AddBuffer;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Start;
  std::function<plat::MMRESULT(plat::HWAVEIN)> Stop;
  std::function<plat::MMRESULT(plat::HWAVEIN, std::vector<plat::WaveGap>&)> GetGaps;
};

// Audio the input could not hold: missing from the recording after `at`, `length` long, both in
// TimeFormat units counted from the Start.
struct TMMInputGap {
  int64_t at = 0, length = 0;
};

class TMMCustomWaveIn : public TMMWaveDevice<TMMCustomWaveInComponent, TWaveInFunctions, EMMWaveInError> {
public:
  explicit TMMCustomWaveIn(TComponent* owner = nullptr);
  ~TMMCustomWaveIn() override;

  // ---- transport (UI thread) --------------------------------------------------------------------
  // Open, Start, Pause, Restart and Stop raise EMMWaveInError after OnError and leave the device
  // closed; Close reports through OnError only. Start and Pause open the device when needed.
  void Open() override;
  virtual void Restart();

  // The recorded position in TimeFormat units; never beyond a MaxRecordTime of 1 or more.
  int64_t GetPosition();
  int64_t Position() { return GetPosition(); }
  // Bytes handed down the chain since the last Start.
  int64_t RecordedBytes() const;
  // How long a stop waits for the chain below to write out what the input gave it (a take's queue
  // on a disk that does not answer), in milliseconds; below 0, as long as that takes. Past it the
  // device is stopped but the stop is held: OnStopHeld fires, a Close waits for the stop, and a
  // later Stop, once the chain has written everything out, ends it as any stop ends.
  int32_t StopWait() const { return stopWait_; }
  void SetStopWait(int32_t ms) { stopWait_ = ms; }
  bool StopHeld() const { return stopHeld_; }
  TNotifyEvent OnStopHeld;
  // The gaps of the recording since the last Start, as far as it has stopped (a Stop, a Pause, or
  // the end of a lost device).
  std::vector<TMMInputGap> Gaps() const;

  // ---- properties -------------------------------------------------------------------------------
  // Changing Mode, BitLength or SampleRate while open raises 28060, as for the device's own.
  TMMMode Mode() const { return mode_; }
  void SetMode(TMMMode m);  // mMono or mStereo
  TMMBits BitLength() const { return bits_; }
  void SetBitLength(TMMBits b);
  int32_t SampleRate() const { return rate_; }
  void SetSampleRate(int32_t rate);  // limited to 8000..100000
  void SetTimeFormat(TMMTimeFormats tf);
  // Length after which recording stops by itself, in TimeFormat units; 0 or less: no limit.
  int64_t MaxRecordTime() const { return maxRecordTime_; }
  void SetMaxRecordTime(int64_t value);

  // Closes the device first; a valid PCM format also sets Mode, BitLength and SampleRate.
  void SetWaveFormat(const WAVEFORMATEX* format) override;
  // Counts the bytes, cuts the buffer at the recording limit, passes it on, and stops at the limit.
  void BufferReady(PWaveHdr lpWaveHdr) override;
  bool PublishesLink(const std::string& property) const override { return property == "Output"; }

  std::string ClassName() const override { return "TMMCustomWaveIn"; }

protected:
  // Fills the table of platform functions; the base leaves it empty (no devices).
  virtual void InitDeviceTable() {}
  // Counts the devices with the table and selects device 0. A class that fills the table calls
  // it from its constructor.
  void InitDevice();

private:
  void StartDevice() override;
  void PauseDevice() override;
  void BufferBack(uint64_t handle, WAVEHDR* hdr) override;
  void HandleCompletions() override;
  void DoStop() override;
  void CloseDevice() override;
  void ReleaseOnClose() override;
  void PassOnStopped(PWaveHdr h);
  void QueueBuffer(int slot);
  void PostDeferredStop();
  void CheckFormat();
  // Raises the open's failure, as EMMWaveInNoServer where the sound server could not be reached.
  [[noreturn]] void OpenFailed(plat::MMRESULT r);
  void AllocateBuffers();
  void SetPCMFormat();
  void UpdateByteLimit();
  int64_t TrackedDevicePosition();
  void WaitForQueue();

  int bufIndex_ = 0;  // the slot that comes back next
  bool limitReached_ = false;
  int64_t recordedBytes_ = 0;
  int64_t maxRecordBytes_ = INT64_MAX;

  TMMMode mode_ = mMono;
  TMMBits bits_ = b8Bit;
  int32_t rate_ = 11025;
  int64_t maxRecordTime_ = -1;
  bool settingFormat_ = false;
  std::atomic<int32_t> stopWait_{-1};
  std::vector<plat::WaveGap> gaps_;  // the device's, taken before each reset
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
