#include "engine/MMWavIn.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"
#include "engine/MMUtils.h"
#include "platform/messages/app_hooks.h"

namespace {

std::string Msg(int n) { return LoadLibraryMessage(n); }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Marks the calling thread as the one running Stop for as long as it lives.
class StopScope {
public:
  explicit StopScope(std::atomic<std::thread::id>& owner) : owner_(owner) { owner_ = std::this_thread::get_id(); }
  ~StopScope() { owner_ = std::thread::id(); }

private:
  std::atomic<std::thread::id>& owner_;
};

}  // namespace

// ---- shared pieces -------------------------------------------------------------------------------

std::string WaveDeviceError(const std::string& operation, const std::string& text) {
  return operation + ":\n\r" + text;
}

std::string WaveDeviceReason(const std::string& message) {
  const size_t at = message.find(":\n\r");
  if (at == std::string::npos || at == 0 || message.find_first_of(" \r\n") < at) return message;
  return message.substr(at + 3);
}

std::string WaveDeviceErrorText(const std::string& operation, plat::MMRESULT code,
                                const std::function<plat::MMRESULT(plat::MMRESULT, std::string&)>& getText) {
  std::string text;
  if (!getText || getText(code, text) != plat::MMSYSERR_NOERROR || text.empty()) text = Msg(86);
  if (text.size() > 255) text.resize(255);
  return WaveDeviceError(operation, text);
}

int64_t TMMPositionWrap::Track(uint32_t raw) {
  if (raw < Last && Last - raw >= 65535) {
    Offset += int64_t(Last | 0xFFFFFu) + 1;
    ++Count;
  }
  Last = raw;
  return int64_t(raw) + Offset;
}

TMMDeviceId SelectWaveDevice(TMMDeviceId id, uint32_t numDevs,
                             const std::function<plat::MMRESULT(int32_t, plat::WaveCaps&)>& getDevCaps,
                             const std::string& noDevice, std::string& productName) {
  const bool valid = id >= -1 && id < int64_t(numDevs);
  productName = noDevice;
  if (numDevs > 0 && valid && getDevCaps) {
    plat::WaveCaps caps;
    if (getDevCaps(id, caps) == plat::MMSYSERR_NOERROR) productName = caps.ProductName;
  }
  return valid ? id : InvalidId;
}

bool WaveCallbackModeAllowed(TMMCBMode mode, const char* caption) {
  if (mode != cmCallback || IsWin95) return true;
  plat::ShowMessageBox(
      "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under "
      "Windows 95",
      caption);
  return false;
}

uint32_t DeviceSamples(const plat::MMTIME& t, const WAVEFORMATEX* f) {
  if (t.wType != plat::MMTimeType::Bytes || !f) return t.value;
  return t.value / std::max<uint32_t>(1, f->nBlockAlign);
}

void ReclaimWaveHdr(WAVEHDR& hdr) {
  for (int n = 0; n < 65000 && (plat::LoadWaveHdrFlags(hdr) & plat::WHDR_INQUEUE); ++n) std::this_thread::yield();
  plat::StoreWaveHdrFlags(hdr, plat::LoadWaveHdrFlags(hdr) | plat::WHDR_DONE);
}

void RunWaveStop(std::atomic<std::thread::id>& stopThread, const std::function<void()>& stop,
                 const std::function<void()>& failed) {
  if (stopThread.load() == std::this_thread::get_id()) return;
  StopScope scope(stopThread);
  try {
    stop();
  } catch (...) {
    failed();
    throw;
  }
}

int64_t SamplesToTimeUnits(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t samples) {
  if (!f) return 0;
  switch (unit) {
    case tfMillisecond: return SamplesToMilliseconds64(f, samples);
    case tfByte: return SamplesToBytes64(f, samples);
    case tfSample: return samples;
  }
  return samples;
}

int64_t TimeUnitsToBytes(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t value) {
  if (!f) return 0;
  int64_t bytes = value;
  if (unit == tfSample) bytes = SamplesToBytes64(f, value);
  if (unit == tfMillisecond) bytes = SamplesToBytes64(f, MillisecondsToSamples64(f, value));
  const int64_t align = std::max<int64_t>(1, f->nBlockAlign);
  return bytes - bytes % align;
}

int64_t BytesToTimeUnits(const WAVEFORMATEX* f, TMMTimeFormats unit, int64_t bytes) {
  if (!f) return 0;
  switch (unit) {
    case tfMillisecond: return SamplesToMilliseconds64(f, BytesToSamples64(f, bytes));
    case tfByte: return bytes;
    case tfSample: return BytesToSamples64(f, bytes);
  }
  return bytes;
}

// ---- completion thread ---------------------------------------------------------------------------

TMMWaveDeviceThread::TMMWaveDeviceThread(TMMDSPComponent* owner, std::function<void()> handler,
                                         std::function<void()> failed)
    : TMMDSPThread(owner), handler_(std::move(handler)), onFailure_(std::move(failed)) {}

TMMWaveDeviceThread::~TMMWaveDeviceThread() { End(); }

bool TMMWaveDeviceThread::Begin(TThreadPriority priority, int timeoutMs) {
  SetPriority(priority);
  if (!Resume()) return false;
  std::unique_lock<std::mutex> l(m_);
  return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return ready_; });
}

void TMMWaveDeviceThread::Wake() {
  {
    std::lock_guard<std::mutex> l(m_);
    pending_ = true;
  }
  cv_.notify_all();
}

void TMMWaveDeviceThread::Discard() {
  std::lock_guard<std::mutex> l(m_);
  pending_ = false;
}

void TMMWaveDeviceThread::End() {
  {
    std::lock_guard<std::mutex> l(m_);
    quit_ = true;
  }
  cv_.notify_all();
  Terminate();
  WaitFor();
}

void TMMWaveDeviceThread::Execute() {
  {
    std::lock_guard<std::mutex> l(m_);
    ready_ = true;
  }
  cv_.notify_all();
  for (;;) {
    {
      std::unique_lock<std::mutex> l(m_);
      cv_.wait(l, [&] { return pending_ || quit_; });
      if (quit_) return;
      pending_ = false;
    }
    try {
      handler_();
    } catch (...) {
      failed_ = true;
      plat::HandleException(std::current_exception());
      if (onFailure_) onFailure_();
      return;
    }
  }
}

// ---- where completions go ------------------------------------------------------------------------

void TMMWaveCompletions::MakeWindow(std::function<void(plat::Message&)> wndProc) {
  if (window_) return;
  window_ = std::make_unique<plat::HiddenWindow>();
  window_->OnMessage = std::move(wndProc);
  postHandle_ = window_->Handle();
}

void TMMWaveCompletions::EndThread() {
  wakeThread_ = nullptr;
  if (thread_) {
    thread_->End();
    thread_.reset();
  }
}

void TMMWaveCompletions::Notify(uint32_t msg, uint64_t handle, WAVEHDR* hdr) {
  if (liveMode_ == cmThread) {
    if (TMMWaveDeviceThread* t = wakeThread_.load()) t->Wake();
  } else {
    plat::PostMessageTo(postHandle_, msg, handle, intptr_t(hdr));
  }
}

void TMMWaveCompletions::Post(uint32_t msg, uint64_t handle) { plat::PostMessageTo(postHandle_, msg, handle); }

void TMMWaveCompletions::Discard(uint32_t msg) {
  if (liveMode_ == cmThread) {
    if (thread_) thread_->Discard();
  } else {
    RemovePending(msg);
  }
}

void TMMWaveCompletions::RemovePending(uint32_t msg) {
  if (window_) window_->RemovePending(msg);
}

// ---- the wave input ------------------------------------------------------------------------------

TMMCustomWaveIn::TMMCustomWaveIn(TComponent* owner)
    : TMMWaveDevice(owner, 160, "TMMWaveIn", MM_WIM_DATA, MM_WAVEIN_STOP) {
  deviceId_ = InvalidId;
  SetPCMFormat();
}

TMMCustomWaveIn::~TMMCustomWaveIn() { ShutDown(); }

void TMMCustomWaveIn::InitDevice() {
  InitDeviceTable();
  numDevs_ = fn_.GetNumDevs ? fn_.GetNumDevs() : 0;
  deviceId_ = 0;
  SetDeviceID(0);
}

// ---- properties ----------------------------------------------------------------------------------

void TMMCustomWaveIn::SetMode(TMMMode m) {
  if ((m != mMono && m != mStereo) || m == mode_) return;
  RefuseWhileOpen();
  mode_ = m;
  if (!settingFormat_) SetPCMFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits b) {
  if ((b != b8Bit && b != b16Bit) || b == bits_) return;
  RefuseWhileOpen();
  bits_ = b;
  if (!settingFormat_) SetPCMFormat();
}

void TMMCustomWaveIn::SetSampleRate(int32_t rate) {
  rate = std::clamp<int32_t>(rate, 8000, 100000);
  if (rate == rate_) return;
  RefuseWhileOpen();
  rate_ = rate;
  if (!settingFormat_) SetPCMFormat();
}

void TMMCustomWaveIn::SetPCMFormat() {
  WAVEFORMATEX f;
  MakePCMFormat(f, bits_ == b16Bit ? 16 : 8, mode_ == mStereo ? 2 : 1, rate_);
  TMMCustomSoundComponent::SetWaveFormat(&f);
  UpdateByteLimit();
}

void TMMCustomWaveIn::SetWaveFormat(const WAVEFORMATEX* format) {
  Close();
  if (format && IsValidPCMFormat(format)) {
    const WAVEFORMATEX f = *format;  // the setters may not free it, but keep our own copy
    settingFormat_ = true;
    try {
      SetSampleRate(int32_t(f.nSamplesPerSec));
      SetBitLength(TMMBits(f.wBitsPerSample / 8 - 1));
      SetMode(TMMMode(f.nChannels - 1));
    } catch (...) {
      settingFormat_ = false;
      throw;
    }
    settingFormat_ = false;
  }
  TMMCustomSoundComponent::SetWaveFormat(format);
  UpdateByteLimit();
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats tf) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (tf == timeFormat_) return;
  timeFormat_ = tf;
  if (maxRecordTime_ >= 0 && GetWaveFormat()) maxRecordTime_ = BytesToTimeUnits(GetWaveFormat(), tf, maxRecordBytes_);
}

void TMMCustomWaveIn::SetMaxRecordTime(int64_t value) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  maxRecordTime_ = value;
  UpdateByteLimit();
}

void TMMCustomWaveIn::UpdateByteLimit() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  const WAVEFORMATEX* f = GetWaveFormat();
  maxRecordBytes_ = (maxRecordTime_ < 0 || !f) ? INT64_MAX : TimeUnitsToBytes(f, timeFormat_, maxRecordTime_);
}

int64_t TMMCustomWaveIn::RecordedBytes() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return recordedBytes_;
}

std::vector<TMMInputGap> TMMCustomWaveIn::Gaps() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  std::vector<TMMInputGap> out;
  const WAVEFORMATEX* f = GetWaveFormat();
  for (const plat::WaveGap& g : gaps_)
    out.push_back({SamplesToTimeUnits(f, timeFormat_, int64_t(g.at)),
                   SamplesToTimeUnits(f, timeFormat_, int64_t(g.at + g.samples)) -
                       SamplesToTimeUnits(f, timeFormat_, int64_t(g.at))});
  return out;
}

// ---- position ------------------------------------------------------------------------------------

int64_t TMMCustomWaveIn::TrackedDevicePosition() {
  plat::MMTIME t;
  t.wType = plat::MMTimeType::Samples;
  if (!fn_.GetPosition || fn_.GetPosition(handle_, t) != plat::MMSYSERR_NOERROR)
    return int64_t(wrap_.Last) + wrap_.Offset;
  return wrap_.Track(DeviceSamples(t, GetWaveFormat()));
}

int64_t TMMCustomWaveIn::GetPosition() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  const WAVEFORMATEX* f = GetWaveFormat();
  if (!IsOpen() || !f || closeAfterStop_) return 0;
  int64_t pos = SamplesToTimeUnits(f, timeFormat_, TrackedDevicePosition());
  if (maxRecordTime_ >= 1) pos = std::min(pos, maxRecordTime_);
  return pos;
}

// ---- open and close ------------------------------------------------------------------------------

void TMMCustomWaveIn::OpenFailed(plat::MMRESULT r) {
  const std::string text = WaveDeviceErrorText("WaveInOpen", r, fn_.GetErrorText);
  if (r != plat::WAVERR_NOSERVER) Error(text);
  FireError();
  throw EMMWaveInNoServer(text);
}

void TMMCustomWaveIn::CheckFormat() {
  const WAVEFORMATEX* f = GetWaveFormat();
  const plat::MMRESULT q = deviceId_ >= -1 && deviceId_ < int64_t(numDevs_)
                               ? fn_.Open(nullptr, deviceId_, f, {}, plat::WAVE_FORMAT_QUERY)
                               : plat::MMSYSERR_BADDEVICEID;
  // A device that cannot be had at all (its sound server cannot be reached) says why.
  if (q == plat::WAVERR_NOSERVER) OpenFailed(q);
  bool ok = q == plat::MMSYSERR_NOERROR;
  if (ok && f->wFormatTag == WAVE_FORMAT_PCM) {
    plat::WaveCaps caps;
    ok = fn_.GetDevCaps(deviceId_, caps) == plat::MMSYSERR_NOERROR;
    const uint32_t bit = plat::StandardFormatBit(f->nSamplesPerSec, f->nChannels, f->wBitsPerSample);
    if (ok && bit) ok = (caps.Formats & bit) != 0;
  }
  if (!ok) Error(WaveDeviceError("WaveInOpen", "The actual device can't record this format"));
}

void TMMCustomWaveIn::AllocateBuffers() {
  const int32_t size = GetBufferSize();
  for (int i = 0; i < numBuffers_; ++i) {
    if (buffers_[size_t(i)]) continue;
    buffers_[size_t(i)] = AllocWaveHdr(allocator_, amFixed, uint32_t(size));
    if (!buffers_[size_t(i)]) Error(Msg(64));
  }
  for (int i = 0; i < numBuffers_; ++i) Check(fn_.PrepareHeader(handle_, buffers_[size_t(i)]), "WaveInPrepareHeader");
}

void TMMCustomWaveIn::ReleaseOnClose() {
  for (size_t i = 0; i < buffers_.size(); ++i) {
    if (buffers_[i]) {
      void* p = buffers_[i];
      allocator_.FreeBuffer(p);
      buffers_[i] = nullptr;
    }
    atDriver_[i] = 0;
  }
}

void TMMCustomWaveIn::Open() {
  SOLVANE_ASSERT_UI_THREAD();
  if (numDevs_ == 0) Error(Msg(160));
  if (deviceId_ == InvalidId) Error(Msg(61));
  if (!GetWaveFormat()) Error(Msg(89));
  if (IsOpen()) Close();
  if (IsOpen() || closing_) return;
  stopping_ = false;
  resetting_ = false;
  stopPosted_ = false;
  closing_ = false;
  try {
    CheckFormat();
    RouteCompletions<TMMWaveInThread>("WaveIn");
    plat::HWAVEIN h = 0;
    plat::MMRESULT r = fn_.Open(&h, deviceId_, GetWaveFormat(), DriverCallback(), 0);
    if (r != plat::MMSYSERR_NOERROR) OpenFailed(r);
    handle_ = h;
    TMMCustomSoundComponent::ChainOpen();
    for (int i = 0; i < 100 && !deviceOpen_; ++i) SleepMs(10);
    if (!deviceOpen_) Error(WaveDeviceError("WaveInOpen", Msg(162)));
    AllocateBuffers();
    state_ = kWaveStateOpen;
  } catch (...) {
    FailAndClose(kWaveStateOpen);
    throw;
  }
  if (OnOpen) OnOpen(this);
}

void TMMCustomWaveIn::CloseDevice() {
  closeAfterStop_ = false;
  std::string failure;
  if (const plat::HWAVEIN h = handle_) {
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      stopping_ = true;
      resetting_ = true;
      fn_.Stop(h);
      fn_.Reset(h);
      for (int i = 0; i < kMaxWaveBuffers; ++i) {
        PWaveHdr hdr = buffers_[size_t(i)];
        if (!hdr) continue;
        ReclaimWaveHdr(*hdr);
        plat::MMRESULT r = fn_.UnprepareHeader(h, hdr);
        if (r != plat::MMSYSERR_NOERROR && failure.empty())
          failure = WaveDeviceErrorText("WaveInUnprepareHeader", r, fn_.GetErrorText);
      }
    }
    Check(fn_.Close(h), "WaveInClose");
    for (int i = 0; i < 100 && deviceOpen_; ++i) SleepMs(10);
    // The device is closed even when its notice never came: finish the close, then report.
    if (deviceOpen_ && failure.empty()) failure = WaveDeviceError("WaveInClose", Msg(163));
    std::lock_guard<std::recursive_mutex> l(lock_);
    wrap_.Clear();
  }
  FinishClose(failure);
}

// ---- transport -----------------------------------------------------------------------------------

void TMMCustomWaveIn::QueueBuffer(int slot) {
  PWaveHdr h = buffers_[size_t(slot)];
  plat::StoreWaveHdrFlags(*h, (plat::LoadWaveHdrFlags(*h) & ~plat::WHDR_DONE) | plat::WHDR_PREPARED);
  atDriver_[size_t(slot)] = 1;
  inQueue_.fetch_add(1);  // before the driver can hand it back
  plat::MMRESULT r = fn_.AddBuffer(handle_, h);
  if (r != plat::MMSYSERR_NOERROR) {
    atDriver_[size_t(slot)] = 0;
    inQueue_.fetch_sub(1);
    Error(WaveDeviceErrorText("WaveInAddBuffer", r, fn_.GetErrorText));
  }
}

void TMMCustomWaveIn::StartDevice() {
  bufIndex_ = 0;
  recordedBytes_ = 0;
  gaps_.clear();
  limitReached_ = false;
  reentry_ = 0;
  stopping_ = false;
  resetting_ = false;
  stopDeferred_ = false;
  stopPosted_ = false;
  inQueue_ = 0;
  wrap_.Clear();
  UpdateByteLimit();
  for (int i = 0; i < numBuffers_; ++i) QueueBuffer(i);
  state_ |= kWaveStateStarted;
  if (!IsPaused()) Check(fn_.Start(handle_), "WaveInStart");
  TMMCustomSoundComponent::ChainStart();
}

void TMMCustomWaveIn::PauseDevice() {
  // Stopping the device hands the partly filled buffer back, so nothing recorded is held.
  Check(fn_.Stop(handle_), "WaveInPause");
}

void TMMCustomWaveIn::Restart() {
  SOLVANE_ASSERT_UI_THREAD();
  bool restarted = false;
  try {
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      if (IsStarted() && IsPaused()) {
        Check(fn_.Start(handle_), "WaveInRestart");
        state_ &= uint8_t(~kWaveStatePaused);
        restarted = true;
      }
    }
    if (restarted) TMMCustomSoundComponent::ChainRestart();
  } catch (...) {
    FailAndClose();
    throw;
  }
  if (restarted && OnRestart) OnRestart(this);
}

void TMMCustomWaveIn::WaitForQueue() {
  for (int i = 0; i < 100 && inQueue_ > 0; ++i) SleepMs(10);
}

void TMMCustomWaveIn::DoStop() {
  bool inside;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!(state_ & (kWaveStateStarted | kWaveStatePaused))) return;
    if (!stopHeld_) {
      stopping_ = true;
      Check(fn_.Stop(handle_), "WaveInStop");
      wrap_.Clear();
      if (fn_.GetGaps) fn_.GetGaps(handle_, gaps_);
      resetting_ = true;
      Check(fn_.Reset(handle_), "WaveInReset");
    }
    inside = reentry_ > 0;
  }
  if (!inside) WaitForQueue();
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (reentry_ > 0) {
      // Called from the completion handling: finished from the window once it has unwound.
      stopDeferred_ = true;
      return;
    }
    // What came back before the stop goes down the chain before the chain stops.
    HandleCompletions();
  }
  // Everything recorded is in the chain now. A chain that cannot write it out in time (a disk that
  // does not answer) leaves the stop held rather than its caller waiting without end; a component
  // being destroyed must end its stop, and waits as it takes.
  const int32_t wait = stopWait_;
  if (wait >= 0 && !IsDestroying() && !PlainWrittenOut(wait)) {
    if (!stopHeld_.exchange(true) && OnStopHeld) OnStopHeld(this);
    return;
  }
  stopHeld_ = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    state_ &= uint8_t(~(kWaveStateStarted | kWaveStatePaused));
    bufIndex_ = 0;
    inQueue_ = 0;
    stopDeferred_ = false;
    std::fill(atDriver_.begin(), atDriver_.end(), uint8_t(0));
  }
  if (meterStarted_) {
    meterStarted_ = false;
    LoadMeterStop();
  }
  TMMCustomSoundComponent::ChainStop();
  if (!IsDestroying() && OnStop) OnStop(this);
  if (closeAfterStop_) Close();
}

// ---- completions ---------------------------------------------------------------------------------

void TMMCustomWaveIn::BufferBack(uint64_t handle, WAVEHDR* hdr) {
  inQueue_.fetch_sub(1);
  if (stopping_ || resetting_) return;  // Stop takes what comes back itself
  completions_.Notify(MM_WIM_DATA, handle, hdr);
}

void TMMCustomWaveIn::HandleCompletions() {
  SOLVANE_ASSERT_UI_THREAD_OR(OnOwnWorker());
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!IsStarted()) return;
  // Buffers come back in the order they were queued, so the one due next is always bufIndex_;
  // whoever runs first (a posted notice, the worker, or Stop) takes every one that is back.
  for (;;) {
    const int slot = bufIndex_;
    PWaveHdr h = buffers_[size_t(slot)];
    if (!h || !atDriver_[size_t(slot)] || !plat::WaveHdrDone(*h)) break;
    atDriver_[size_t(slot)] = 0;
    if (stopping_ || resetting_) {
      PassOnStopped(h);
      continue;
    }
    ++reentry_;
    try {
      BufferReady(h);
      if (!stopDeferred_) {
        plat::MMTIME t;
        t.wType = plat::MMTimeType::Samples;
        if (fn_.GetPosition(handle_, t) == plat::MMSYSERR_NOERROR && t.value != 0)
          wrap_.Track(DeviceSamples(t, GetWaveFormat()));
        QueueBuffer(slot);
      }
    } catch (...) {
      --reentry_;
      FireError();
      PostDeferredStop();
      throw;
    }
    --reentry_;
  }
  PostDeferredStop();
}

void TMMCustomWaveIn::PassOnStopped(PWaveHdr h) {
  if (h->dwBytesRecorded > 0 && !limitReached_) BufferReady(h);
  else bufIndex_ = (bufIndex_ + 1) % numBuffers_;
}

void TMMCustomWaveIn::PostDeferredStop() {
  if (reentry_ != 0 || !stopDeferred_ || stopPosted_) return;
  stopPosted_ = true;
  stopping_ = true;
  completions_.Post(MM_WAVEIN_STOP, handle_);
}

void TMMCustomWaveIn::BufferReady(PWaveHdr lpWaveHdr) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnOwnWorker());
  LoadMeterBeginBusy();
  struct Busy {
    ~Busy() { LoadMeterEndBusy(); }
  } busy;
  bool reached = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    recordedBytes_ += lpWaveHdr->dwBytesRecorded;
    if (maxRecordTime_ > 0 && recordedBytes_ >= maxRecordBytes_) {
      const int64_t excess = recordedBytes_ - maxRecordBytes_;
      lpWaveHdr->dwBytesRecorded -= uint32_t(std::min<int64_t>(excess, lpWaveHdr->dwBytesRecorded));
      recordedBytes_ = maxRecordBytes_;
      limitReached_ = reached = true;
    }
    bufIndex_ = (bufIndex_ + 1) % numBuffers_;
  }
  TMMCustomSoundComponent::BufferReady(lpWaveHdr);
  if (reached && !stopping_) Stop();
}

// ---- the system's wave input ---------------------------------------------------------------------

TMMWaveIn::TMMWaveIn(TComponent* owner) : TMMCustomWaveIn(owner) { InitDevice(); }

void TMMWaveIn::InitDeviceTable() {
  TWaveInFunctions& t = DeviceTable();
  t.GetNumDevs = plat::WaveInGetNumDevs;
  t.GetDevCaps = plat::WaveInGetDevCaps;
  t.GetErrorText = plat::WaveInGetErrorText;
  t.Open = plat::WaveInOpen;
  t.Close = plat::WaveInClose;
  t.PrepareHeader = plat::WaveInPrepareHeader;
  t.UnprepareHeader = plat::WaveInUnprepareHeader;
  t.AddBuffer = plat::WaveInAddBuffer;
  t.Start = plat::WaveInStart;
  t.Stop = plat::WaveInStop;
  t.Reset = plat::WaveInReset;
  t.GetPosition = plat::WaveInGetPosition;
  t.GetID = plat::WaveInGetID;
  t.GetStall = plat::WaveInGetStall;
  t.GetGaps = plat::WaveInGetGaps;
}

const std::vector<TMMDeviceName>& WaveInDeviceList() {
  static const std::vector<TMMDeviceName> list = [] {
    std::vector<TMMDeviceName> v;
    const uint32_t n = plat::WaveInGetNumDevs();
    for (uint32_t i = 0; i < n; ++i) {
      plat::WaveCaps caps;
      if (plat::WaveInGetDevCaps(int32_t(i), caps) == plat::MMSYSERR_NOERROR)
        v.push_back({TMMDeviceId(i), caps.ProductName});
    }
    return v;
  }();
  return list;
}
