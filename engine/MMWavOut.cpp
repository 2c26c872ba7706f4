#include "engine/MMWavOut.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"
#include "engine/MMUtils.h"
#include "platform/messages/app_hooks.h"

namespace {

std::string Msg(int n) { return LoadLibraryMessage(n); }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TMMWaveOut::TMMWaveOut(TComponent* owner) : TMMWaveDevice(owner, 161, "TMMWaveOut", MM_WOM_DONE, MM_WAVEOUT_STOP) {
  fn_.GetNumDevs = plat::WaveOutGetNumDevs;
  fn_.GetDevCaps = plat::WaveOutGetDevCaps;
  fn_.GetErrorText = plat::WaveOutGetErrorText;
  fn_.Open = plat::WaveOutOpen;
  fn_.Close = plat::WaveOutClose;
  fn_.PrepareHeader = plat::WaveOutPrepareHeader;
  fn_.UnprepareHeader = plat::WaveOutUnprepareHeader;
  fn_.Write = plat::WaveOutWrite;
  fn_.Pause = plat::WaveOutPause;
  fn_.Restart = plat::WaveOutRestart;
  fn_.Reset = plat::WaveOutReset;
  fn_.GetPosition = plat::WaveOutGetPosition;
  fn_.GetID = plat::WaveOutGetID;
  fn_.GetStall = plat::WaveOutGetStall;
  numDevs_ = fn_.GetNumDevs();
  SetDeviceID(0);
}

TMMWaveOut::~TMMWaveOut() { ShutDown(); }

// ---- properties ----------------------------------------------------------------------------------

void TMMWaveOut::SetTimeFormat(TMMTimeFormats tf) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  timeFormat_ = tf;
}

void TMMWaveOut::SetLooping(bool on) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  looping_ = on;
  loopsLeft_ = loopCount_;
}

void TMMWaveOut::SetLoopCount(uint16_t n) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  loopCount_ = n;
  loopsLeft_ = n;
}

void TMMWaveOut::SetWaveFormat(const WAVEFORMATEX* format) {
  Close();
  TMMCustomWaveOutComponent::SetWaveFormat(format);
}

// ---- position ------------------------------------------------------------------------------------

int64_t TMMWaveOut::TrackedDevicePosition() {
  plat::MMTIME t;
  t.wType = plat::MMTimeType::Samples;
  Check(fn_.GetPosition(handle_, t), "WaveOutGetPosition");
  return wrap_.Track(DeviceSamples(t, GetWaveFormat()));
}

void TMMWaveOut::CountFromHere() {
  resetDevicePosition_ = TrackedDevicePosition();
  completedSamples_ = 0;
}

int64_t TMMWaveOut::GetPosition() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  const WAVEFORMATEX* f = GetWaveFormat();
  if (!IsOpen() || !f || closeAfterStop_) return 0;
  const int64_t samples = positionBase_ + TrackedDevicePosition() - loopPosition_;
  return SamplesToTimeUnits(f, timeFormat_, samples);
}

int64_t TMMWaveOut::FinalPosition() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return finalPosition_;
}

// ---- open and close ------------------------------------------------------------------------------

void TMMWaveOut::Open() {
  SOLVANE_ASSERT_UI_THREAD();
  if (numDevs_ == 0) Error(Msg(161));
  if (deviceId_ == InvalidId) Error(Msg(61));
  if (!GetWaveFormat()) Error(WaveDeviceError("WaveOutOpen", Msg(89)));
  if (IsOpen()) Close();
  if (IsOpen() || closing_) return;
  closing_ = false;
  resetting_ = false;
  stopping_ = false;
  stopPosted_ = false;
  try {
    // A device that refuses the format says so; one that cannot be had at all (a sound server
    // that cannot be reached) says why.
    if (plat::MMRESULT q = fn_.Open(nullptr, deviceId_, GetWaveFormat(), {}, plat::WAVE_FORMAT_QUERY);
        q != plat::MMSYSERR_NOERROR)
      Error(q == plat::WAVERR_NOSERVER ? WaveDeviceErrorText("WaveOutOpen", q, fn_.GetErrorText)
                                       : WaveDeviceError("WaveOutOpen", Msg(70)));
    TMMCustomSoundComponent::ChainOpen();
    RouteCompletions<TMMWaveOutThread>("WaveOut");
    const uint32_t flags = (mapped_ && deviceId_ >= 0) ? plat::WAVE_MAPPED : 0;
    plat::HWAVEOUT h = 0;
    plat::MMRESULT r = fn_.Open(&h, deviceId_, GetWaveFormat(), DriverCallback(), flags);
    if (r != plat::MMSYSERR_NOERROR) Error(WaveDeviceErrorText("WaveOutOpen", r, fn_.GetErrorText));
    handle_ = h;
    for (int i = 0; i < 500 && !deviceOpen_; ++i) SleepMs(10);
    if (!deviceOpen_) Error(WaveDeviceError("WaveOutOpen", Msg(162)));
    state_ = kWaveStateOpen;
  } catch (...) {
    FailAndClose(kWaveStateOpen);
    throw;
  }
  if (OnOpen) OnOpen(this);
}

void TMMWaveOut::ReleaseBuffers(bool report) {
  const plat::HWAVEOUT h = handle_;
  for (size_t i = 0; i < buffers_.size(); ++i) {
    atDriver_[i] = 0;
    PWaveHdr hdr = buffers_[i];
    if (!hdr) continue;
    ReclaimWaveHdr(*hdr);
    if (h) {
      plat::MMRESULT r = fn_.UnprepareHeader(h, hdr);
      // A buffer the driver still holds must not go back to the allocator.
      if (r != plat::MMSYSERR_NOERROR) {
        if (report) Check(r, "WaveOutUnprepareHeader");
        continue;
      }
    }
    void* p = hdr;
    allocator_.FreeBuffer(p);
    buffers_[i] = nullptr;
  }
  numInUse_ = 0;
  doneIndex_ = 0;
}

void TMMWaveOut::CloseDevice() {
  closeAfterStop_ = false;
  std::string failure;
  if (const plat::HWAVEOUT h = handle_) {
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      stopping_ = true;
      resetting_ = true;
      fn_.Reset(h);
      ReleaseBuffers(false);
    }
    Check(fn_.Close(h), "WaveOutClose");
    for (int i = 0; i < 500 && deviceOpen_; ++i) SleepMs(10);
    // Closed even when its notice never came: finish the close, then report.
    if (deviceOpen_) failure = WaveDeviceError("WaveOutClose", Msg(163));
    std::lock_guard<std::recursive_mutex> l(lock_);
    finalPosition_ = 0;
    wrap_.Clear();
  }
  FinishClose(failure);
}

// ---- filling and writing -------------------------------------------------------------------------

void TMMWaveOut::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnOwnWorker());
  LoadMeterBeginBusy();
  struct Busy {
    ~Busy() { LoadMeterEndBusy(); }
  } busy;
  const uint32_t capacity = uint32_t(GetBufferSize());
  lpWaveHdr->dwBufferLength = capacity;
  lpWaveHdr->dwBytesRecorded = 0;
  lpWaveHdr->LoopFlag = looping_ ? -1 : 0;
  lpWaveHdr->LoopMark = 0;
  if (looping_) {
    lpWaveHdr->LoopCount = loopCount_;
    lpWaveHdr->LoopsLeft = loopsLeft_;
  }
  // The base's pull, without its OnBufferFilled: that fires once, as the buffer is written.
  if (OnBufferLoad) OnBufferLoad(this, lpWaveHdr, MoreBuffers);
  if (TMMDSPComponent* in = Input()) in->BufferLoad(lpWaveHdr, MoreBuffers);
  // A source must not claim more than the buffer holds: the driver would read past it.
  lpWaveHdr->dwBytesRecorded = std::min(lpWaveHdr->dwBytesRecorded, capacity);
  lpWaveHdr->dwBufferLength = lpWaveHdr->dwBytesRecorded;
  if (looping_) loopsLeft_ = lpWaveHdr->LoopsLeft;
}

uint32_t TMMWaveOut::Fill(PWaveHdr h, bool* ended) {
  moreBuffers_ = false;
  BufferLoad(h, moreBuffers_);
  const uint32_t n = h->dwBytesRecorded;
  if (ended) *ended = !moreBuffers_;
  if (n < 1) moreBuffers_ = false;
  return n;
}

bool TMMWaveOut::Write(int slot) {
  PWaveHdr h = buffers_[size_t(slot)];
  if (OnBufferFilled) OnBufferFilled(this, h);
  if (stopping_) return false;
  plat::StoreWaveHdrFlags(*h, (plat::LoadWaveHdrFlags(*h) & ~plat::WHDR_DONE) | plat::WHDR_PREPARED);
  h->SavedBytes = h->dwBytesRecorded;
  atDriver_[size_t(slot)] = 1;
  inQueue_.fetch_add(1);  // before the driver can hand it back
  plat::MMRESULT r = fn_.Write(handle_, h);
  h->dwBytesRecorded = h->SavedBytes;
  if (r != plat::MMSYSERR_NOERROR) {
    atDriver_[size_t(slot)] = 0;
    inQueue_.fetch_sub(1);
    Error(WaveDeviceErrorText("WaveOutWrite", r, fn_.GetErrorText));
  }
  return true;
}

// Fills and writes the buffers already made, from slot 0, while the source has data.
int TMMWaveOut::Refill() {
  int written = 0;
  for (int i = 0; i < numBuffers_ && moreBuffers_; ++i) {
    if (!buffers_[size_t(i)]) break;
    if (Fill(buffers_[size_t(i)]) == 0) break;
    if (!Write(i)) break;
    ++written;
  }
  return written;
}

// ---- transport -----------------------------------------------------------------------------------

void TMMWaveOut::StartDevice() {
  // Filling many large buffers holds the UI up for a moment.
  std::optional<plat::BusyCursor> busy;
  if (showHourGlass_ && int64_t(BufferSize()) * numBuffers_ > 100000) busy.emplace();
  positionBase_ = 0;
  wrap_.Clear();
  loopPosition_ = 0;
  stopping_ = false;
  resetting_ = false;
  stopDeferred_ = false;
  stopPosted_ = false;
  pausedByReset_ = false;
  reentry_ = 0;
  doneIndex_ = 0;
  inQueue_ = 0;
  loopsLeft_ = loopCount_;
  // Nothing plays while the buffers are written.
  Check(fn_.Pause(handle_), "WaveOutPause");
  CountFromHere();
  TMMCustomSoundComponent::ChainStart();
  moreBuffers_ = true;
  const int32_t size = GetBufferSize();
  int written = 0;
  for (int i = 0; i < numBuffers_ && moreBuffers_; ++i) {
    if (!buffers_[size_t(i)]) {
      buffers_[size_t(i)] = AllocWaveHdr(allocator_, amFixed, uint32_t(size));
      if (!buffers_[size_t(i)]) Error(Msg(64));
    }
    if (!(plat::LoadWaveHdrFlags(*buffers_[size_t(i)]) & plat::WHDR_PREPARED))
      Check(fn_.PrepareHeader(handle_, buffers_[size_t(i)]), "WaveOutPrepareHeader");
    if (Fill(buffers_[size_t(i)]) == 0) break;
    if (Write(i)) ++written;
  }
  numInUse_ = written;
  state_ |= kWaveStateStarted;
  if (written == 0) {
    TMMCustomSoundComponent::ChainStop();
    Error(WaveDeviceError("WaveOutStart", Msg(80)));
  }
  if (!IsPaused()) Check(fn_.Restart(handle_), "WaveOutRestart");
}

void TMMWaveOut::PauseDevice() {
  Check(fn_.Pause(handle_), "WaveOutPause");
  if (!DeviceUpstream()) return;
  // A live source upstream: what is queued goes, and the count goes on from here.
  positionBase_ += TrackedDevicePosition();
  resetting_ = true;
  Check(fn_.Reset(handle_), "WaveOutReset");
  wrap_.Clear();
  CountFromHere();
  doneIndex_ = 0;
  inQueue_ = 0;
  std::fill(atDriver_.begin(), atDriver_.end(), uint8_t(0));
  pausedByReset_ = true;
}

void TMMWaveOut::Restart() {
  SOLVANE_ASSERT_UI_THREAD();
  bool restarted = false, empty = false;
  try {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (IsStarted() && IsPaused()) {
      resetting_ = false;
      TMMCustomSoundComponent::ChainRestart();
      if (pausedByReset_) {
        // The pause emptied the driver's queue: fill it again, or nothing would ever play.
        pausedByReset_ = false;
        moreBuffers_ = true;
        numInUse_ = Refill();
        empty = numInUse_ == 0;
      }
      Check(fn_.Restart(handle_), "WaveOutRestart");
      state_ &= uint8_t(~kWaveStatePaused);
      restarted = true;
    }
  } catch (...) {
    FailAndClose();
    throw;
  }
  if (restarted && OnRestart) OnRestart(this);
  if (empty) Stop();
}

void TMMWaveOut::Reprime() {
  bool empty = false;
  try {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!(state_ & (kWaveStateStarted | kWaveStatePaused)) || resetting_) return;
    const plat::HWAVEOUT h = handle_;
    resetting_ = true;
    Check(fn_.Pause(h), "WaveOutPause");
    completions_.Discard(MM_WOM_DONE);
    Check(fn_.Reset(h), "WaveOutReset");
    for (int i = 0; i < 100 && inQueue_ > 0; ++i) SleepMs(10);
    // The reset is over: an empty queue gave no callback to clear the flag, so clear it here.
    resetting_ = false;
    if (stopPosted_ && !stopDeferred_) {
      // The source ran dry and the stop is still on its way; the source has moved, so play on.
      completions_.RemovePending(MM_WAVEOUT_STOP);
      stopPosted_ = false;
      stopping_ = false;
    }
    Check(fn_.Restart(h), "WaveOutRestart");
    Check(fn_.Pause(h), "WaveOutPause");
    doneIndex_ = 0;
    inQueue_ = 0;
    positionBase_ = 0;
    wrap_.Clear();
    CountFromHere();
    loopPosition_ = 0;
    pausedByReset_ = false;
    std::fill(atDriver_.begin(), atDriver_.end(), uint8_t(0));
    TMMCustomSoundComponent::ChainReset();
    moreBuffers_ = true;
    numInUse_ = Refill();
    if (!IsPaused()) Check(fn_.Restart(h), "WaveOutRestart");
    empty = numInUse_ == 0;
  } catch (...) {
    FailAndClose();
    throw;
  }
  if (empty) Stop();
}

void TMMWaveOut::DoStop() {
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!(state_ & (kWaveStateStarted | kWaveStatePaused))) return;
    stopping_ = true;
    resetting_ = true;
    // A deferred stop took it when it began; the device has been reset since.
    if (!stopDeferred_) finalPosition_ = GetPosition();
    wrap_.Clear();
    const plat::MMRESULT r = fn_.Reset(handle_);
    if (r > 0) Check(r, "WaveOutReset");
    if (reentry_ > 0) {
      stopDeferred_ = true;
      return;
    }
    state_ &= uint8_t(~(kWaveStateStarted | kWaveStatePaused));
  }
  if (meterStarted_) {
    meterStarted_ = false;
    LoadMeterStop();
  }
  for (int i = 0; i < 500 && inQueue_ > 0; ++i) SleepMs(10);
  TMMCustomSoundComponent::ChainStop();
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    ReleaseBuffers(true);
    inQueue_ = 0;
    stopDeferred_ = false;
  }
  if (!IsDestroying() && OnStop) OnStop(this);
  if (closeAfterStop_) Close();
}

// ---- completions ---------------------------------------------------------------------------------

void TMMWaveOut::BufferBack(uint64_t handle, WAVEHDR* hdr) {
  const int left = inQueue_.fetch_sub(1) - 1;
  if (resetting_) {
    if (left <= 0) resetting_ = false;
    return;
  }
  if (stopping_) return;
  completions_.Notify(MM_WOM_DONE, handle, hdr);
}

void TMMWaveOut::HandleCompletions() {
  SOLVANE_ASSERT_UI_THREAD_OR(OnOwnWorker());
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!IsStarted() || stopping_ || resetting_) return;
  ++reentry_;
  try {
    // Buffers finish in the order they were written; whoever runs first takes every one that is
    // back, so a late notice finds nothing left to do.
    while (numInUse_ > 0 && !stopping_ && !resetting_) {
      const int slot = doneIndex_;
      PWaveHdr h = buffers_[size_t(slot)];
      if (!h || !atDriver_[size_t(slot)] || !plat::WaveHdrDone(*h)) break;
      atDriver_[size_t(slot)] = 0;
      Played(slot);
    }
  } catch (...) {
    --reentry_;
    FireError();
    try {
      EndOfQueue();
    } catch (...) {}
    throw;
  }
  --reentry_;
  EndOfQueue();
}

void TMMWaveOut::Played(int slot) {
  PWaveHdr h = buffers_[size_t(slot)];
  doneIndex_ = (doneIndex_ + 1) % numInUse_;
  h->dwBytesRecorded = h->SavedBytes;
  if (const WAVEFORMATEX* f = GetWaveFormat())
    completedSamples_ += h->dwBytesRecorded / std::max<uint32_t>(1, f->nBlockAlign);
  PWaveHdr next = buffers_[size_t(doneIndex_)];
  h->NextHdr = next;
  if (next) next->dwBytesRecorded = next->SavedBytes;
  TMMDSPComponent::BufferReady(h);
  TrackedDevicePosition();
  // A loop point is signalled when it has played, also when the source has already said that the
  // last pass is queued: a short source queues all its passes at once.
  if (looping_ && h->LoopMark && !stopDeferred_) {
    // The pass ended where this buffer ended, however far the device has played since.
    loopPosition_ = positionBase_ + resetDevicePosition_ + completedSamples_;
    h->LoopMark = 0;
    TMMCustomSoundComponent::ChainLoop();
    if (OnLooping) OnLooping(this);
  }
  if (!moreBuffers_ || stopDeferred_) return;
  for (int i = 0; i < 65000 && !plat::WaveHdrDone(*h); ++i) SleepMs(2);
  bool ended = false;
  const uint32_t n = Fill(h, &ended);
  // A source may say that it has ended by giving nothing: playback then ends once what is queued
  // has played, as it does when the end comes with the last bytes.
  if (n == 0) {
    if (!ended && !stopDeferred_) Error(Msg(81));
    return;
  }
  if (!stopDeferred_) Write(slot);
}

void TMMWaveOut::EndOfQueue() {
  if (reentry_ != 0 || !IsStarted()) return;
  if (!stopDeferred_ && inQueue_ > 0) return;
  if (stopPosted_) return;
  // The queue ran dry, or a stop waits: stop from the window once.
  stopPosted_ = true;
  stopping_ = true;
  Check(fn_.Pause(handle_), "WaveOutPause");
  completions_.Post(MM_WAVEOUT_STOP, handle_);
}
