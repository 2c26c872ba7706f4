#include "engine/MMRingBf.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "engine/MMTimer.h"
#include "platform/audio/wave_mapper.h"
#include "platform/messages/app_hooks.h"
#include "platform/system/clock.h"

namespace {

constexpr uint32_t kChunkLimit = 65536;
constexpr int64_t kThreadStartMs = 5000;

std::string RingError(int message) { return "RingBuffer:\n\r" + LoadLibraryMessage(message); }

// The disk work counts towards the engine's processing load.
struct BusyBracket {
  BusyBracket() { LoadMeterBeginBusy(); }
  ~BusyBracket() { LoadMeterEndBusy(); }
  BusyBracket(const BusyBracket&) = delete;
  BusyBracket& operator=(const BusyBracket&) = delete;
};

}  // namespace

TMMQueueThread::~TMMQueueThread() {
  Terminate();
  WaitFor();
}

TMMRingBuffer::TMMRingBuffer(TComponent* owner) : TMMDSPComponent(owner) {}

TMMRingBuffer::~TMMRingBuffer() {
  Destroying();
  ChainClose();
}

// ---- properties ----------------------------------------------------------------------------------

void TMMRingBuffer::SetBufferSize(int32_t n) {
  n = std::max<int32_t>(n, 32);
  if (n == StoredBufferSize()) return;
  if (Opened() || open_) throw EMMBufferError(LoadLibraryMessage(60));
  TMMDSPComponent::SetBufferSize(n);
  allocator_.FreeAll();
}

void TMMRingBuffer::SetNumBuffers(int32_t n) {
  if (n < 2 || n == numBuffers_) return;
  if (Opened() || open_) throw EMMBufferError(LoadLibraryMessage(60));
  numBuffers_ = n;
}

void TMMRingBuffer::SetQueueMode(TMMQueueMode mode) {
  if (mode == mode_) return;
  if (Opened() || open_) throw EMMBufferError(LoadLibraryMessage(60));
  mode_ = mode;
}

int32_t TMMRingBuffer::QueuedBuffers() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return count_;
}

int64_t TMMRingBuffer::QueuedBytes() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return total_;
}

bool TMMRingBuffer::WorkPending() const {
  std::lock_guard<std::mutex> s(signal_);
  return work_;
}

// ---- open and close ------------------------------------------------------------------------------

void TMMRingBuffer::ChainOpen() {
  TMMDSPComponent::ChainOpen();
  if (open_ || !slots_.empty()) return;
  try {
    AllocQueue();
    if (HasThread()) StartThread();
  } catch (...) {
    EndThread();
    FreeQueue();
    TMMDSPComponent::ChainClose();
    throw;
  }
  open_ = true;
  if (flushBytes_ > 0 && HasThread()) clock_.Add();
}

void TMMRingBuffer::AllocQueue() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  slotSize_ = uint32_t(std::max<int32_t>(RealBufferSize(), 1));
  fillChunk_ = flushChunk_ = std::max(slotSize_, kChunkLimit / slotSize_ * slotSize_);
  const int32_t n = numBuffers_;
  slots_.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    void* block = allocator_.AllocBuffer(amMovable, sizeof(Slot) + slotSize_);
    if (!block) throw EMMBufferError(RingError(64));
    auto* slot = new (block) Slot{static_cast<char*>(block) + sizeof(Slot), 0, 0, 0};
    slots_.push_back(slot);
  }
  if (mode_ != qmNone) {
    const uint32_t room = std::max(kChunkLimit, slotSize_);
    carry_ = AllocWaveHdr(allocator_, amMovable, room);
    if (!carry_) throw EMMBufferError(RingError(64));
  }
  loopFlag_ = loopCount_ = loopsLeft_ = loopMark_ = 0;
  const WAVEFORMATEX* f = GetWaveFormat();
  const int64_t rate = mode_ == qmWrite && f ? int64_t(f->nAvgBytesPerSec) : 0;
  flushBytes_ = rate > 0 ? std::max<int64_t>(1, rate * kFlushAfterMs / 1000) : 0;
  syncBytes_ = rate * kSyncAfterMs / 1000;
  burstBytes_ = rate * kBurstMs / 1000;
  arrivedSinceTick_ = 0;
  burstTicks_ = 0;
  unsynced_ = 0;
  waitedMs_ = unsyncedMs_ = 0;
  syncDue_ = draining_ = false;
  stopping_ = false;
  threadFailed_ = false;
  EmptyQueue();
}

void TMMRingBuffer::FreeQueue() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  for (Slot*& s : slots_) {
    void* p = s;
    allocator_.FreeBuffer(p);
  }
  slots_.clear();
  if (carry_) {
    void* p = carry_;
    allocator_.FreeBuffer(p);
    carry_ = nullptr;
  }
  count_ = 0;
  total_ = 0;
}

void TMMRingBuffer::StartThread() {
  {
    std::lock_guard<std::mutex> s(signal_);
    work_ = false;
    done_ = true;
    terminate_ = false;
    ready_ = false;
  }
  thread_ = std::make_unique<TMMQueueThread>(this);
  thread_->SetPriority(tpHigher);
  bool started = thread_->Resume();
  if (started) {
    std::unique_lock<std::mutex> s(signal_);
    started = signalCv_.wait_for(s, std::chrono::milliseconds(kThreadStartMs), [this] { return ready_; });
  }
  if (!started) throw EMMBufferError(RingError(88));
}

void TMMRingBuffer::EndThread() {
  if (!thread_) return;
  WaitPending();
  {
    std::lock_guard<std::mutex> s(signal_);
    terminate_ = true;
  }
  signalCv_.notify_all();
  thread_.reset();  // joins
}

void TMMRingBuffer::ChainClose() {
  if (thread_ && thread_->OnThisThread()) {
    // Asked from our own thread (a handler it called): the queue stops taking buffers now and
    // the thread is ended by the next close from outside, or by destruction.
    stopping_ = true;
    open_ = false;
    return;
  }
  if (open_ || thread_ || !slots_.empty()) {
    stopping_ = true;
    clock_.Remove();
    Drain();
    open_ = false;
    EndThread();
    FreeQueue();
  }
  TMMDSPComponent::ChainClose();
}

void TMMRingBuffer::ChainStart() {
  stopping_ = false;
  TMMDSPComponent::ChainStart();
}

void TMMRingBuffer::ChainStop() {
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    primed_ = false;
    loopFlag_ = 0;
  }
  stopping_ = true;
  Drain();
  TMMDSPComponent::ChainStop();
}

void TMMRingBuffer::ChainReset() {
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    primed_ = false;
    loopFlag_ = 0;
  }
  stopping_ = true;
  Drain();
  EmptyQueue();
  stopping_ = false;
}

void TMMRingBuffer::ClearQueue() {
  // A fill under way would queue what it pulls behind the clear, from wherever its source stood,
  // and every pull the next clear throws away moves the source on unheard: the thread ends its
  // work first, so a source moved after this call is read from its new place only.
  if (open_ && thread_ && !thread_->OnThisThread()) {
    const bool wasStopping = stopping_.exchange(true);
    WaitPending();
    EmptyQueue();
    stopping_ = wasStopping;
    return;
  }
  EmptyQueue();
}

void TMMRingBuffer::EmptyQueue() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  count_ = 0;
  total_ = 0;
  writeIdx_ = readIdx_ = lastRead_ = 0;
  hasLastRead_ = false;
  primed_ = false;
  pendingEnd_ = false;
  sourceEnded_ = false;
  waitedMs_ = 0;
  ++clearCount_;
}

// Everything the thread was asked to do is done, and a recording's rest is written out and made
// durable, on the thread as all its disk work is (here only when the thread is this one).
void TMMRingBuffer::Drain() {
  if (open_ && HasThread()) {
    WaitPending();
    if (mode_ == qmWrite) {
      if (thread_->OnThisThread()) {
        Flush();
        SyncOutput(true);
      } else {
        {
          std::lock_guard<std::recursive_mutex> l(lock_);
          draining_ = true;
          RequestWorkLocked();
        }
        WaitPending();
        draining_ = false;
      }
    }
  }
  EmptyQueue();
}

bool TMMRingBuffer::ChainWrittenOut(int64_t waitMs) {
  if (mode_ != qmWrite || !thread_ || thread_->OnThisThread()) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<int64_t>(waitMs, 0));
  for (;;) {
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      if (!open_ || threadFailed_) return true;
      if (count_ == 0 && unsynced_ == 0 && !WorkPending()) {
        draining_ = false;
        return true;
      }
      draining_ = true;
      RequestWorkLocked();
    }
    // Waited for without the queue's lock, which the thread takes for every slot it writes.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!WaitDone(std::max<int64_t>(left.count(), 0))) return false;
  }
}

// ---- the hand-over to the thread -----------------------------------------------------------------

bool TMMRingBuffer::RequestWorkLocked() {
  if (!thread_) return false;
  {
    std::lock_guard<std::mutex> s(signal_);
    if (work_) return false;
    done_ = false;
    work_ = true;
  }
  signalCv_.notify_all();
  return true;
}

void TMMRingBuffer::FinishWork() {
  // Under the queue lock, so no request can fall between "no work" and "done". A request that
  // came while the work was ending found it still pending and was swallowed: when the queue
  // again stands where a request is made, the work goes on instead of ending.
  std::lock_guard<std::recursive_mutex> l(lock_);
  const int32_t half = int32_t(slots_.size()) / 2;
  const bool again = open_ && !stopping_ && !threadFailed_ &&
                     ((mode_ == qmWrite && count_ > 0 && (count_ >= half || WriteDue())) ||
                      (mode_ == qmRead && count_ < half && !sourceEnded_));
  {
    std::lock_guard<std::mutex> s(signal_);
    work_ = again;
    done_ = !again;
  }
  signalCv_.notify_all();
}

bool TMMRingBuffer::WaitDone(int64_t timeoutMs) {
  std::unique_lock<std::mutex> s(signal_);
  auto finished = [this] { return done_ || threadFailed_; };
  if (timeoutMs < 0) {
    signalCv_.wait(s, finished);
    return true;
  }
  return signalCv_.wait_for(s, std::chrono::milliseconds(timeoutMs), finished);
}

void TMMRingBuffer::WaitPending() {
  if (!thread_ || thread_->OnThisThread()) return;
  WaitDone(-1);
}

void TMMRingBuffer::ThreadMain() {
  {
    std::lock_guard<std::mutex> s(signal_);
    ready_ = true;
  }
  signalCv_.notify_all();
  for (;;) {
    {
      std::unique_lock<std::mutex> s(signal_);
      signalCv_.wait(s, [this] { return terminate_ || work_; });
      if (terminate_) break;
    }
    std::exception_ptr failure;
    try {
      if (mode_ == qmRead) {
        Fill();
      } else {
        Flush();
        if (draining_) SyncOutput(true);
        else SyncUnlessBacklogged();
      }
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) {
      {
        std::lock_guard<std::recursive_mutex> l(lock_);
        open_ = false;  // the queue takes and gives nothing more; memory goes at ChainClose
        threadFailed_ = true;
      }
      // Handed over whole (moved, not shared) before anyone is told the work has ended.
      plat::HandleException(std::move(failure));
      FinishWork();
      return;
    }
    FinishWork();
  }
}

// ---- the queue -----------------------------------------------------------------------------------

void TMMRingBuffer::PutLocked(const char* data, uint32_t n, uintptr_t user, uint32_t flags) {
  Slot* s = slots_[size_t(writeIdx_)];
  std::memcpy(s->data, data, n);
  s->count = n;
  s->user = user;
  s->flags = flags;
  writeIdx_ = (writeIdx_ + 1) % int32_t(slots_.size());
  ++count_;
  total_ += n;
}

uint32_t TMMRingBuffer::Take(char* dest, uint32_t r, uintptr_t& user, uint32_t& flags) {
  std::unique_lock<std::recursive_mutex> l(lock_);
  if (count_ == 0 || slots_.empty()) return 0;
  Slot* s = slots_[size_t(readIdx_)];
  const uint32_t k = std::min(s->count, r);
  const bool usedUp = k == s->count;
  user = s->user;
  flags = usedUp ? s->flags : 0;
  const uint64_t clears = clearCount_;
  // The slot stays counted until its bytes are out, so no writer touches it meanwhile.
  l.unlock();
  std::memcpy(dest, s->data, k);
  l.lock();
  if (clearCount_ != clears) return k;  // emptied while we copied: nothing left to account
  if (usedUp) {
    lastRead_ = readIdx_;
    hasLastRead_ = true;
    readIdx_ = (readIdx_ + 1) % int32_t(slots_.size());
    --count_;
  } else {
    s->count -= k;
    std::memmove(s->data, s->data + k, s->count);
  }
  total_ -= k;
  l.unlock();
  // Only a writer waiting for room is told: the thread, waiting for work, would wake for nothing.
  bool waiting;
  {
    std::lock_guard<std::mutex> s(signal_);
    waiting = roomWaiters_ > 0;
  }
  if (waiting) signalCv_.notify_all();
  return k;
}

// PCM and IEEE float, plain or extensible, have a silence of their own; a coded format (ADPCM)
// has none that fits any number of bytes.
bool TMMRingBuffer::HasSilence() const {
  const WAVEFORMATEX* f = GetWaveFormat();
  WAVEFORMATEX plain;
  return !f || f->wFormatTag == WAVE_FORMAT_PCM || plat::wavecore::PlainFormat(f, plain);
}

void TMMRingBuffer::FillSilence(char* dest, uint32_t r) const {
  const WAVEFORMATEX* f = GetWaveFormat();
  std::memset(dest, f && f->wBitsPerSample == 8 ? 128 : 0, r);
}

uint32_t TMMRingBuffer::ReadQueue(char* dest, uint32_t r, uintptr_t& user, uint32_t& flags) {
  user = 0;
  flags = 0;
  if (!open_ || !dest || r == 0) return 0;
  std::unique_lock<std::recursive_mutex> l(lock_);
  if (!open_) return 0;
  const int32_t n = int32_t(slots_.size());
  if (mode_ == qmRead && enabled_) {
    bool requested = false;
    if (count_ < n / 2 && !sourceEnded_) requested = RequestWorkLocked();
    if (requested && !primed_) {
      // Wait for the first fill without the lock, or the thread could never insert.
      l.unlock();
      const bool filled = WaitDone(timeOut_);
      l.lock();
      if (!filled || !open_) return 0;
      if (count_ < 1) {
        if (pendingEnd_) flags = kEndOfData;
        return 0;
      }
      primed_ = true;
    }
  }
  if (mode_ == qmDuplex && !primed_) {
    if (count_ > n / 2) {
      primed_ = true;
    } else {
      const uint32_t k = std::min(r, carry_ ? carry_->dwBufferLength : 0);
      if (k) std::memcpy(dest, carry_->lpData, k);
      if (k < r) FillSilence(dest + k, r - k);
      return r;
    }
  }
  if (count_ == 0) {
    if (pendingEnd_) {
      flags = kEndOfData;
      return 0;
    }
    l.unlock();
    if (OnEmpty) OnEmpty(this);
    l.lock();
    if (HasSilence() && (!loopIfEmpty_ || !hasLastRead_)) {
      FillSilence(dest, r);
      return r;
    }
    if (!hasLastRead_) return 0;
    Slot* s = slots_[size_t(lastRead_)];
    const uint32_t k = std::min(s->count, r);
    std::memcpy(dest, s->data, k);
    user = s->user;
    flags = s->flags;
    return k;
  }
  l.unlock();
  return Take(dest, r, user, flags);
}

// ---- the device side -----------------------------------------------------------------------------

void TMMRingBuffer::BufferReady(PWaveHdr lpWaveHdr) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnDeviceCompletionWorker());
  if (mode_ == qmNone || mode_ == qmRead) {
    TMMDSPComponent::BufferReady(lpWaveHdr);
    return;
  }
  if (!open_ || !enabled_ || !lpWaveHdr) return;
  std::unique_lock<std::recursive_mutex> l(lock_);
  if (!open_) return;
  const int32_t n = int32_t(slots_.size());
  auto drop = [&] {
    l.unlock();
    ++dropped_;
    if (OnOverlow) OnOverlow(this);
  };
  if (count_ >= n && !waitIfFull_) return drop();
  if (!lpWaveHdr->lpData || lpWaveHdr->dwBytesRecorded == 0) return;
  const uint32_t m = std::min(lpWaveHdr->dwBytesRecorded, slotSize_);
  if (mode_ == qmWrite) {
    const bool due = count_ + 1 >= n / 2 || (flushBytes_ > 0 && total_ + m >= flushBytes_);
    if (due && !stopping_) RequestWorkLocked();
    while (waitIfFull_ && count_ >= n && open_ && !stopping_ && !threadFailed_) {
      RequestWorkLocked();
      l.unlock();
      {
        std::unique_lock<std::mutex> s(signal_);
        ++roomWaiters_;
        signalCv_.wait_for(s, std::chrono::milliseconds(1));
        --roomWaiters_;
      }
      l.lock();
    }
  }
  if (!open_) return;
  if (count_ >= n) return drop();  // nobody will make room
  PutLocked(lpWaveHdr->lpData, m, lpWaveHdr->dwUser, 0);
  arrivedSinceTick_ += m;
}

void TMMRingBuffer::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnDeviceCompletionWorker());
  if (mode_ == qmNone || mode_ == qmWrite) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    return;
  }
  if (!open_ || !lpWaveHdr) return;
  if (!enabled_ && QueuedBytes() == 0 && mode_ != qmDuplex) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (lpWaveHdr->LoopFlag != loopFlag_) {
      loopFlag_ = lpWaveHdr->LoopFlag;
      loopCount_ = lpWaveHdr->LoopCount;
      loopsLeft_ = lpWaveHdr->LoopsLeft;
    }
  }
  lpWaveHdr->dwBytesRecorded = lpWaveHdr->dwBufferLength;
  uintptr_t user = 0;
  uint32_t flags = 0;
  lpWaveHdr->dwBytesRecorded = ReadQueue(lpWaveHdr->lpData, lpWaveHdr->dwBytesRecorded, user, flags);
  lpWaveHdr->dwUser = user;
  lpWaveHdr->LoopMark = (flags & kLoopPoint) ? -1 : 0;
  MoreBuffers = mode_ == qmDuplex || !(flags & kEndOfData);
}

// ---- the thread's work ---------------------------------------------------------------------------

void TMMRingBuffer::Fill() {
  BusyBracket busy;
  auto room = [this]() -> int64_t {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!open_ || sourceEnded_) return 0;
    return int64_t(slotSize_) * (int64_t(slots_.size()) - count_);
  };
  int64_t free = room();
  if (free <= 0) return;
  if (OnFillQueue) OnFillQueue(this);
  while (free > 0 && !stopping_) {
    PWaveHdr c = carry_;
    c->dwBufferLength = uint32_t(std::min<int64_t>(free, fillChunk_));
    c->dwBytesRecorded = 0;
    c->dwUser = 0;
    {
      std::lock_guard<std::recursive_mutex> l(lock_);
      c->LoopFlag = loopFlag_;
      c->LoopCount = loopCount_;
      c->LoopsLeft = loopsLeft_;
      c->LoopMark = loopMark_;
    }
    bool more = false;
    TMMDSPComponent::BufferLoad(c, more);
    if (!StoreFill(c, more)) break;
    free = room();
    if (free > 0) plat::SleepMs(1);  // let the device in between two disk reads
  }
  if (OnFillQueueEnd) OnFillQueueEnd(this);
}

bool TMMRingBuffer::StoreFill(PWaveHdr c, bool more) {
  const uint32_t got = std::min(c->dwBytesRecorded, c->dwBufferLength);
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!open_) return false;
  if (got == 0) {
    // The end came with a pull that gave nothing: the reader learns it once the queue is empty.
    pendingEnd_ = true;
    sourceEnded_ = true;
    return false;
  }
  loopFlag_ = c->LoopFlag;
  loopCount_ = c->LoopCount;
  loopsLeft_ = c->LoopsLeft;
  loopMark_ = c->LoopMark;
  for (uint32_t off = 0; off < got && count_ < int32_t(slots_.size());) {
    const uint32_t m = std::min(slotSize_, got - off);
    uint32_t flags = 0;
    if (off + m == got) {
      if (!more) flags |= kEndOfData;
      if (loopMark_) flags |= kLoopPoint;
    }
    PutLocked(c->lpData + off, m, c->dwUser, flags);
    off += m;
  }
  loopMark_ = 0;
  if (!more) sourceEnded_ = true;
  return more;
}

void TMMRingBuffer::Flush() {
  std::lock_guard<std::recursive_mutex> one(flushLock_);
  BusyBracket busy;
  if (!open_ || QueuedBytes() == 0 || !carry_) return;
  const bool onThread = thread_ && thread_->OnThisThread();
  waitedMs_ = 0;
  if (OnFlushQueue) OnFlushQueue(this);
  for (;;) {
    const int64_t queued = QueuedBytes();
    if (queued <= 0) break;
    const uint32_t want = uint32_t(std::min<int64_t>(queued, flushChunk_));
    uint32_t got = 0;
    uintptr_t firstUser = 0;
    while (got < want) {
      uintptr_t user = 0;
      uint32_t flags = 0;
      const uint32_t k = Take(carry_->lpData + got, want - got, user, flags);
      if (k == 0) break;
      if (got == 0) firstUser = user;
      got += k;
    }
    if (got == 0) break;
    carry_->dwBytesRecorded = got;
    carry_->dwBufferLength = flushChunk_;
    carry_->dwUser = firstUser;
    TMMDSPComponent::BufferReady(carry_);
    unsynced_ += got;
    if (!onThread) continue;
    // Between two writes the thread lets the device in and makes the file durable when that is
    // due, but not while it works off a backlog: audio held up for seconds (a stopped program or
    // machine) is handed over in one burst far faster than a write a millisecond, and a pause or a
    // sync there drops what the file could have taken. A flush that never runs dry (a disk
    // catching up) still makes the file durable once that is overdue.
    SyncUnlessBacklogged();
    if (!Backlogged()) plat::SleepMs(1);
  }
  if (OnFlushQueueEnd) OnFlushQueueEnd(this);
}

bool TMMRingBuffer::Backlogged() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return count_ > int32_t(slots_.size()) / kBacklogShare || burstTicks_ > 0 ||
         (burstBytes_ > 0 && arrivedSinceTick_ > burstBytes_);
}

void TMMRingBuffer::SyncUnlessBacklogged() {
  if (!Backlogged() || unsyncedMs_ >= kSyncOverdueMs) SyncOutput(false);
}

bool TMMRingBuffer::WriteDue() const {
  return flushBytes_ > 0 && (total_ >= flushBytes_ || waitedMs_ >= kFlushAfterMs);
}

void TMMRingBuffer::SyncOutput(bool force) {
  if (unsynced_ == 0) return;
  if (!force && !syncDue_ && (syncBytes_ == 0 || unsynced_ < syncBytes_)) return;
  unsynced_ = 0;
  unsyncedMs_ = 0;
  syncDue_ = false;
  TMMDSPComponent::BufferSync();
}

void TMMRingBuffer::ClockTick() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!open_ || stopping_) return;
  const int32_t tick = int32_t(kSharedTimerPeriod);
  if (total_ > 0) waitedMs_ += tick;
  if (unsynced_ > 0) unsyncedMs_ += tick;
  if (unsyncedMs_ >= kSyncAfterMs) syncDue_ = true;
  if (burstBytes_ > 0 && arrivedSinceTick_ > burstBytes_) burstTicks_ = kBurstTicks;
  else if (burstTicks_ > 0) --burstTicks_;
  arrivedSinceTick_ = 0;
  // A sync a burst put off is asked for once the burst is over.
  if (burstTicks_ == 0 && syncBytes_ > 0 && unsynced_ >= syncBytes_) syncDue_ = true;
  if (WriteDue() || syncDue_) RequestWorkLocked();
}
