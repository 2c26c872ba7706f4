#include "platform/audio/wave_core.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/messages/app_hooks.h"

namespace plat::wavecore {

namespace {

uint32_t Flags(const WAVEHDR& hdr) { return LoadWaveHdrFlags(hdr); }

}  // namespace

WaveDevice::WaveDevice(uint64_t handle, bool input, int32_t deviceId, const WAVEFORMATEX& format, WaveCallback callback,
                       std::unique_ptr<WaveDriver> driver, WaveDeviceOptions options,
                       std::unique_ptr<WaveConverter> converter)
    : handle_(handle),
      input_(input),
      deviceId_(deviceId),
      format_(format),
      blockAlign_(std::max<uint32_t>(1, format.nBlockAlign)),
      callback_(std::move(callback)),
      driver_(std::move(driver)),
      options_(options),
      converter_(std::move(converter)) {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

WaveDevice::~WaveDevice() {
  if (thread_.joinable()) {
    // Never closed (a failed launch or a device dropped at exit): end the thread all the same.
    {
      std::lock_guard<std::mutex> l(m_);
      closed_ = true;
      exit_ = true;
    }
    Wake();
    if (OnDriverThread()) thread_.detach();
    else thread_.join();
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void WaveDevice::Launch() {
  thread_ = std::thread([this] { ThreadMain(); });
  std::unique_lock<std::mutex> l(m_);
  cv_.wait(l, [&] { return launched_; });
}

void WaveDevice::ThreadMain() {
  threadId_.store(std::this_thread::get_id());
  SetCurrentThreadName(input_ ? "wavein" : "waveout");
  if (options_.priority != ThreadPriority::Normal) SetCurrentThreadPriority(options_.priority);
  if (options_.openNotice) {
    std::lock_guard<std::mutex> l(m_);
    Notify(WaveMsg::Open, nullptr);
  }
  Flush();
  {
    std::lock_guard<std::mutex> l(m_);
    launched_ = true;
  }
  cv_.notify_all();
  for (;;) {
    RunCommands();
    {
      std::lock_guard<std::mutex> l(m_);
      if (exit_) break;
    }
    driver_->Pump(*this);
    Flush();
  }
  driver_->Close(*this);
  if (options_.closeNotice) {
    std::lock_guard<std::mutex> l(m_);
    Notify(WaveMsg::Close, nullptr);
  }
  Flush();
  std::shared_ptr<WaveDevice> self;  // an abandoned device ends with its thread, below
  {
    // Commands that came too late find the device closed.
    std::lock_guard<std::mutex> l(m_);
    for (Command* c : commands_) {
      c->result = MMSYSERR_INVALHANDLE;
      c->done = true;
    }
    commands_.clear();
    finished_ = true;
    self = std::move(keepAlive_);
  }
  cv_.notify_all();
}

void WaveDevice::RunCommands() {
  std::vector<Command*> cmds;
  {
    std::lock_guard<std::mutex> l(m_);
    cmds.swap(commands_);
  }
  if (cmds.empty()) return;
  for (Command* c : cmds) c->result = c->fn();
  Flush();  // a reset's buffers are back before the reset returns
  {
    std::lock_guard<std::mutex> l(m_);
    for (Command* c : cmds) c->done = true;
  }
  cv_.notify_all();
}

MMRESULT WaveDevice::Call(const std::function<MMRESULT()>& fn) {
  if (OnDriverThread()) return fn();
  Command c;
  c.fn = fn;
  std::unique_lock<std::mutex> l(m_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  commands_.push_back(&c);
  l.unlock();
  Wake();
  l.lock();
  cv_.wait(l, [&] { return c.done; });
  return c.result;
}

void WaveDevice::Notify(WaveMsg msg, WAVEHDR* hdr) { notices_.push_back({msg, hdr}); }

void WaveDevice::Flush() {
  std::vector<Notice> n;
  {
    std::lock_guard<std::mutex> l(m_);
    n.swap(notices_);
  }
  std::lock_guard<std::mutex> delivering(callbackMutex_);
  if (abandoned_) return;  // the owner has closed the device and heard the last of it
  for (const Notice& x : n) {
    try {
      callback_(handle_, x.msg, x.hdr);
    } catch (...) {
      HandleException(std::current_exception());  // must not end the driver thread
    }
  }
}

void WaveDevice::Wake() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void WaveDevice::WaitWake(int timeoutMs, ::pollfd* fds, int nfds) {
  Flush();  // nothing waits behind a sleeping driver
  std::vector<::pollfd> all(size_t(nfds) + 1);
  all[0] = {wakeFd_, POLLIN, 0};
  for (int i = 0; i < nfds; ++i) all[size_t(i) + 1] = fds[i];
  int r = ::poll(all.data(), nfds_t(all.size()), timeoutMs);
  if (r > 0 && (all[0].revents & POLLIN)) {
    uint64_t v;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &v, sizeof v);
  }
  for (int i = 0; i < nfds; ++i) fds[i].revents = r > 0 ? all[size_t(i) + 1].revents : 0;
}

bool WaveDevice::Running() const {
  std::lock_guard<std::mutex> l(m_);
  return input_ ? started_ : !paused_;
}

// ---- buffers ------------------------------------------------------------------------------------

MMRESULT WaveDevice::Prepare(WAVEHDR* hdr) {
  if (!hdr || (!hdr->lpData && hdr->dwBufferLength)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(m_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  uint32_t f = Flags(*hdr);
  if (!(f & WHDR_PREPARED)) StoreWaveHdrFlags(*hdr, f | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Unprepare(WAVEHDR* hdr) {
  if (!hdr) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(m_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  uint32_t f = Flags(*hdr);
  if (f & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (f & WHDR_PREPARED) StoreWaveHdrFlags(*hdr, f & ~WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::CheckHeaderLocked(WAVEHDR* hdr) const {
  if (!hdr || (!hdr->lpData && hdr->dwBufferLength)) return MMSYSERR_INVALPARAM;
  if (input_ && hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  uint32_t f = Flags(*hdr);
  if (!(f & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (f & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Add(WAVEHDR* hdr) {
  const uint8_t* data = hdr ? reinterpret_cast<const uint8_t*>(hdr->lpData) : nullptr;
  uint32_t len = hdr ? hdr->dwBufferLength : 0;
  if (converter_) {
    std::vector<uint8_t>* out;
    {
      std::lock_guard<std::mutex> l(m_);
      if (closed_) return MMSYSERR_INVALHANDLE;
      if (MMRESULT r = CheckHeaderLocked(hdr); r != MMSYSERR_NOERROR) return r;
      out = &converted_[hdr];
    }
    // Outside the lock: the driver goes on playing what is queued meanwhile.
    if (!converter_->Convert(data, len, *out)) return MMSYSERR_ERROR;
    data = out->data();
    len = uint32_t(out->size());
  }
  bool wake;
  {
    std::lock_guard<std::mutex> l(m_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    MMRESULT r = CheckHeaderLocked(hdr);
    if (r != MMSYSERR_NOERROR) return r;
    if (lost_) return lostReason_;
    wake = queue_.empty() || driver_->WakeForQueuedBuffer();
    if (input_) hdr->dwBytesRecorded = 0;
    StoreWaveHdrFlags(*hdr, (Flags(*hdr) & ~WHDR_DONE) | WHDR_INQUEUE);
    queue_.push_back({hdr, queuedEnd_, len, data});
    queuedEnd_ += len;
    if (!input_) driver_->Written(len, played_);
  }
  if (wake) Wake();
  return MMSYSERR_NOERROR;
}

void WaveDevice::ReturnLocked(Queued q, uint32_t bytesRecorded) {
  if (input_) q.hdr->dwBytesRecorded = bytesRecorded;
  StoreWaveHdrFlags(*q.hdr, (Flags(*q.hdr) & ~WHDR_INQUEUE) | WHDR_DONE);
  Notify(input_ ? WaveMsg::Data : WaveMsg::Done, q.hdr);
}

void WaveDevice::ReturnAllLocked() {
  bool first = true;
  while (!queue_.empty()) {
    Queued q = queue_.front();
    queue_.pop_front();
    ReturnLocked(q, first ? uint32_t(fill_) : 0);
    first = false;
  }
}

void WaveDevice::CompletePlayedLocked() {
  while (!queue_.empty() && queue_.front().start + queue_.front().len <= played_) {
    Queued q = queue_.front();
    queue_.pop_front();
    ReturnLocked(q, 0);
  }
}

// ---- transport ----------------------------------------------------------------------------------

MMRESULT WaveDevice::Start() {
  return Call([this] {
    {
      std::lock_guard<std::mutex> l(m_);
      if (lost_) return lostReason_;
      if (started_) return MMSYSERR_NOERROR;
      started_ = true;
    }
    NoteStall(0);
    driver_->StartInput(*this);
    std::lock_guard<std::mutex> l(m_);
    return lost_ ? lostReason_ : MMSYSERR_NOERROR;
  });
}

MMRESULT WaveDevice::Stop() {
  return Call([this] {
    bool wasStarted;
    {
      std::lock_guard<std::mutex> l(m_);
      wasStarted = started_;
    }
    if (wasStarted) driver_->StopInput(*this);
    NoteStall(0);
    std::lock_guard<std::mutex> l(m_);
    started_ = false;
    if (fill_ > 0 && !queue_.empty()) {
      Queued q = queue_.front();
      queue_.pop_front();
      ReturnLocked(q, uint32_t(fill_));
      fill_ = 0;
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT WaveDevice::Reset() {
  return Call([this] {
    driver_->Drop(*this);
    NoteStall(0);
    std::lock_guard<std::mutex> l(m_);
    gaps_.clear();
    ReturnAllLocked();
    started_ = false;
    fill_ = recorded_ = 0;
    queuedEnd_ = written_ = played_ = 0;
    if (!input_) driver_->WasReset();
    return MMSYSERR_NOERROR;
  });
}

MMRESULT WaveDevice::Pause() {
  return Call([this] {
    {
      std::lock_guard<std::mutex> l(m_);
      // Also the owner's pause at the end of what it queued: every buffer came back at once, unplayed.
      if (lost_) return lostReason_;
      if (paused_) return MMSYSERR_NOERROR;
      paused_ = true;
    }
    driver_->PauseOutput(*this);
    NoteStall(0);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT WaveDevice::Restart() {
  return Call([this] {
    {
      std::lock_guard<std::mutex> l(m_);
      if (lost_) return lostReason_;
      if (!paused_) return MMSYSERR_NOERROR;
      paused_ = false;
    }
    NoteStall(0);
    driver_->RestartOutput(*this);
    std::lock_guard<std::mutex> l(m_);
    return lost_ ? lostReason_ : MMSYSERR_NOERROR;
  });
}

MMRESULT WaveDevice::Close() {
  if (OnDriverThread()) return MMSYSERR_HANDLEBUSY;
  {
    std::lock_guard<std::mutex> l(m_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    closed_ = true;
    exit_ = true;
  }
  Wake();
  if (!thread_.joinable()) return MMSYSERR_NOERROR;
  {
    std::unique_lock<std::mutex> l(m_);
    if (!cv_.wait_for(l, kCloseWait, [&] { return finished_; })) {
      // The driver is held up in its stream (a sound server that stands still answers nothing,
      // and closing a stream waits for it): the thread closes the stream by itself whenever the
      // server answers, and the owner, who may not wait for a server, hears no more of it.
      keepAlive_ = shared_from_this();
      std::lock_guard<std::mutex> delivering(callbackMutex_);
      abandoned_ = true;
      l.unlock();
      thread_.detach();
      if (options_.closeNotice) callback_(handle_, WaveMsg::Close, nullptr);
      return MMSYSERR_NOERROR;
    }
  }
  thread_.join();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveDevice::Position(MMTIME& time) {
  std::lock_guard<std::mutex> l(m_);
  if (closed_) return MMSYSERR_INVALHANDLE;
  uint64_t bytes = input_ ? recorded_ : played_;
  uint64_t base = options_.positionBase;
  // The device's bytes are not the caller's when converting: frames are the same.
  if (time.wType == MMTimeType::Bytes && !converter_) {
    time.value = uint32_t(base * blockAlign_ + bytes);
  } else {
    time.wType = MMTimeType::Samples;
    time.value = uint32_t(base + bytes / blockAlign_);
  }
  return MMSYSERR_NOERROR;
}

// ---- for drivers --------------------------------------------------------------------------------

size_t WaveDevice::PeekOutput(uint8_t* dst, size_t maxBytes) {
  std::lock_guard<std::mutex> l(m_);
  uint64_t avail = queuedEnd_ - written_;
  size_t n = size_t(std::min<uint64_t>(avail, maxBytes));
  n -= n % blockAlign_;
  size_t copied = 0;
  for (const Queued& q : queue_) {
    if (copied == n) break;
    uint64_t pos = written_ + copied;
    if (q.start + q.len <= pos) continue;
    uint64_t off = pos - q.start;
    size_t take = size_t(std::min<uint64_t>(q.len - off, n - copied));
    std::memcpy(dst + copied, q.data + off, take);
    copied += take;
  }
  return copied;
}

void WaveDevice::CommitOutput(size_t bytes, uint64_t delayBytes) {
  std::lock_guard<std::mutex> l(m_);
  written_ = std::min(written_ + bytes, queuedEnd_);
  uint64_t p = written_ > delayBytes ? written_ - delayBytes : 0;
  if (p > played_) played_ = p;
  CompletePlayedLocked();
}

uint64_t WaveDevice::PendingOutput() const {
  std::lock_guard<std::mutex> l(m_);
  return queuedEnd_ - written_;
}

void WaveDevice::SkipPartialTail() {
  std::lock_guard<std::mutex> l(m_);
  if (queuedEnd_ - written_ < blockAlign_ && written_ == played_) {
    written_ = played_ = queuedEnd_;
    CompletePlayedLocked();
  }
}

void WaveDevice::RewindToPlayed() {
  std::lock_guard<std::mutex> l(m_);
  written_ = played_;
}

void WaveDevice::Lost(MMRESULT reason) {
  NoteStall(0);
  std::lock_guard<std::mutex> l(m_);
  if (lost_) return;
  lost_ = true;
  lostReason_ = reason;
  ReturnAllLocked();
  fill_ = 0;
  if (!input_) queuedEnd_ = written_ = played_;
}

std::vector<WaveGap> WaveDevice::Gaps() const {
  std::lock_guard<std::mutex> l(m_);
  return gaps_;
}

void WaveDevice::NoteGap(uint64_t frames) {
  if (frames == 0) return;
  std::lock_guard<std::mutex> l(m_);
  const uint64_t at = recorded_ / blockAlign_;
  // Audio lost piece by piece while nothing was recorded is one gap.
  if (!gaps_.empty() && gaps_.back().at == at) gaps_.back().samples += frames;
  else gaps_.push_back({at, frames});
}

uint64_t WaveDevice::InputSpace() const {
  std::lock_guard<std::mutex> l(m_);
  uint64_t room = 0;
  for (const Queued& q : queue_) room += q.len;
  return room - fill_;
}

uint64_t WaveDevice::BytesToNextReturn() const {
  std::lock_guard<std::mutex> l(m_);
  if (queue_.empty()) return 0;
  const Queued& q = queue_.front();
  if (input_) return q.len - fill_;
  const uint64_t end = q.start + q.len;
  return end > played_ ? end - played_ : 0;
}

size_t WaveDevice::PutInput(const uint8_t* src, size_t bytes) {
  std::lock_guard<std::mutex> l(m_);
  size_t taken = 0;
  while (taken < bytes && !queue_.empty()) {
    Queued& q = queue_.front();
    size_t take = size_t(std::min<uint64_t>(q.len - fill_, bytes - taken));
    std::memcpy(q.hdr->lpData + fill_, src + taken, take);
    fill_ += take;
    taken += take;
    if (fill_ == q.len) {
      Queued full = q;
      queue_.pop_front();
      ReturnLocked(full, full.len);
      fill_ = 0;
    }
  }
  recorded_ += taken;
  return taken;
}

}  // namespace plat::wavecore
