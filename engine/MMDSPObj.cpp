#include "engine/MMDSPObj.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

#include "engine/MMUtils.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"

plat::ThreadPriority ToPlatPriority(TThreadPriority p) {
  switch (p) {
    case tpIdle: return plat::ThreadPriority::Idle;
    case tpLowest: return plat::ThreadPriority::Lowest;
    case tpLower: return plat::ThreadPriority::BelowNormal;
    case tpNormal: return plat::ThreadPriority::Normal;
    case tpHigher: return plat::ThreadPriority::AboveNormal;
    case tpHighest: return plat::ThreadPriority::Highest;
    case tpTimeCritical: return plat::ThreadPriority::TimeCritical;
  }
  return plat::ThreadPriority::Normal;
}

PWaveHdr InitWaveHdr(void* block, uint32_t dataBytes) {
  auto* hdr = new (block) TMMWaveHdr();
  hdr->lpData = static_cast<char*>(block) + kWaveHdrSize;
  hdr->dwBufferLength = dataBytes;
  return hdr;
}

// ---- allocator -----------------------------------------------------------------------------------

TMMAllocator::~TMMAllocator() { FreeAll(); }

void* TMMAllocator::AllocBuffer(uint32_t flags, size_t size) {
  (void)flags;  // fixed and movable memory are the same thing here
  std::lock_guard<std::recursive_mutex> l(lock_);
  for (auto& b : blocks_)
    if (b.uses == 0 && b.size == size) {
      b.uses = 1;
      return b.address;
    }
  for (auto& b : blocks_)
    if (b.uses == 0 && b.size >= size) {
      b.uses = 1;
      return b.address;
    }
  void* p = std::calloc(1, std::max<size_t>(size, 1));
  if (!p) return nullptr;
  try {
    blocks_.push_back(Block{p, size, 1});
  } catch (const std::bad_alloc&) {
    std::free(p);
    return nullptr;
  }
  return p;
}

void TMMAllocator::FreeBuffer(void*& p) {
  if (!p) return;
  std::lock_guard<std::recursive_mutex> l(lock_);
  for (auto& b : blocks_)
    if (b.address == p) {
      if (b.uses > 0) --b.uses;
      break;
    }
  p = nullptr;
}

void TMMAllocator::FreeAll() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  while (!blocks_.empty()) {
    std::free(blocks_.back().address);
    blocks_.pop_back();
  }
}

int TMMAllocator::BlockCount() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return int(blocks_.size());
}

int TMMAllocator::UsedCount() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return int(std::count_if(blocks_.begin(), blocks_.end(), [](const Block& b) { return b.uses > 0; }));
}

PWaveHdr AllocWaveHdr(TMMAllocator& allocator, uint32_t flags, uint32_t dataBytes) {
  void* block = allocator.AllocBuffer(flags, kWaveHdrSize + size_t(dataBytes));
  return block ? InitWaveHdr(block, dataBytes) : nullptr;
}

// ---- the list of live chain components -----------------------------------------------------------

namespace {

struct ComponentList {
  std::recursive_mutex m;
  std::map<uint64_t, TMMDSPComponent*> live;  // by serial, so in creation order
  uint64_t next = 1;
};

ComponentList& ChainList() {
  static ComponentList* list = new ComponentList;  // posted calls may look it up at exit
  return *list;
}

std::vector<TMMDSPComponent*> LiveSnapshot() {
  auto& list = ChainList();
  std::lock_guard<std::recursive_mutex> l(list.m);
  std::vector<TMMDSPComponent*> v;
  v.reserve(list.live.size());
  for (auto& [serial, c] : list.live) v.push_back(c);
  return v;
}

const char* const kInput = "Input";
const char* const kOutput = "Output";

}  // namespace

bool TMMDSPComponent::Alive(uint64_t serial) {
  auto& list = ChainList();
  std::lock_guard<std::recursive_mutex> l(list.m);
  return list.live.count(serial) != 0;
}

int TMMDSPComponent::LiveCount() {
  auto& list = ChainList();
  std::lock_guard<std::recursive_mutex> l(list.m);
  return int(list.live.size());
}

// ---- TMMDSPComponent -----------------------------------------------------------------------------

TMMDSPComponent::TMMDSPComponent(TComponent* owner) : TMMCustomDSPComponent(owner) {
  auto& list = ChainList();
  std::lock_guard<std::recursive_mutex> l(list.m);
  serial_ = list.next++;
  list.live[serial_] = this;
}

TMMDSPComponent::~TMMDSPComponent() {
  Destroying();
  SetInput(nullptr);
  SetOutput(nullptr);
  SetWaveFormat(nullptr);
  auto& list = ChainList();
  std::lock_guard<std::recursive_mutex> l(list.m);
  list.live.erase(serial_);
}

bool TMMDSPComponent::Quiet() const { return IsLoading() || (ComponentState() & plat::csReading) || IsDestroying(); }

bool TMMDSPComponent::PublishesLink(const std::string& property) const {
  return property == kInput || property == kOutput;
}

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent* peer) const {
  if (!peer || peer == this) return false;
  if (!PublishesLink(kInput) || !peer->PublishesLink(kOutput)) return false;
  // Anything below us may not become our source: that would close a loop.
  if (TMMDSPComponent* out = Output()) return out->CanConnectInput(peer);
  return true;
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent* peer) const {
  if (!peer || peer == this) return false;
  if (!PublishesLink(kOutput) || !peer->PublishesLink(kInput)) return false;
  if (TMMDSPComponent* in = Input()) return in->CanConnectOutput(peer);
  return true;
}

void TMMDSPComponent::PeerRelinked(TMMDSPComponent* peer, const std::string& property) {
  if (!peer || peer == this) return;
  if (property == kInput) {
    if (Output() == peer && outputLinkName_ == kInput && peer->Input() == this) {
      output_ = nullptr;
      outputLinkName_.clear();
    }
  } else if (property == kOutput) {
    if (Input() == peer && inputLinkName_ == kOutput && peer->Output() == this) {
      input_ = nullptr;
      inputLinkName_.clear();
    }
  }
}

void TMMDSPComponent::NotifyRelink(TMMDSPComponent* peer, const std::string& property) {
  for (TMMDSPComponent* c : LiveSnapshot()) c->PeerRelinked(peer, property);
}

void TMMDSPComponent::SetInput(TMMDSPComponent* peer) {
  if (peer == Input()) return;
  if (peer && !CanConnectInput(peer)) return;
  ChainStop();
  if (Input()) {
    NotifyRelink(this, kInput);
    input_ = nullptr;
    inputLinkName_.clear();
    SetPWaveFormat(nullptr);
  }
  if (peer) {
    // Whatever the peer fed so far loses its source; it keeps its format.
    NotifyRelink(peer, kOutput);
    peer->output_ = this;
    peer->outputLinkName_ = kInput;
    input_ = peer;
    inputLinkName_ = kOutput;
  }
  UpdateFormat();
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* peer) {
  if (peer == Output()) return;
  if (peer && !CanConnectOutput(peer)) return;
  ChainStop();
  if (TMMDSPComponent* old = Output()) {
    NotifyRelink(this, kOutput);
    output_ = nullptr;
    outputLinkName_.clear();
    old->SetPWaveFormat(nullptr);
  }
  if (peer) {
    NotifyRelink(peer, kInput);
    peer->input_ = this;
    peer->inputLinkName_ = kOutput;
    output_ = peer;
    outputLinkName_ = kInput;
  }
  UpdateFormat();
}

void TMMDSPComponent::Notification(TComponent* c, TOperation op) {
  TMMCustomDSPComponent::Notification(c, op);
  if (op != plat::opRemove || !c) return;
  if (c == Input()) SetInput(nullptr);
  if (c == Output()) SetOutput(nullptr);
}

void TMMDSPComponent::SetWaveFormat(const WAVEFORMATEX* format) {
  if (format != format_) {
    if (started_) ChainStop();
    void* old = format_;
    format_ = nullptr;
    GlobalFreeMem(old);
    if (format) {
      // A PCM format has no extra bytes whatever its cbSize says; other formats carry cbSize
      // bytes right behind the fixed part.
      const bool pcm = format->wFormatTag == WAVE_FORMAT_PCM;
      const size_t extra = pcm ? 0 : format->cbSize;
      auto* copy = static_cast<WAVEFORMATEX*>(GlobalAllocMem(sizeof(WAVEFORMATEX) + extra));
      *copy = *format;
      if (pcm) copy->cbSize = 0;
      if (extra) std::memcpy(copy + 1, format + 1, extra);
      format_ = copy;
    }
  }
  if (!Quiet())
    if (TMMDSPComponent* out = Output()) out->SetPWaveFormat(format_);
}

void TMMDSPComponent::UpdateFormat() {
  if (Quiet()) return;
  if (TMMDSPComponent* in = Input()) SetPWaveFormat(in->GetWaveFormat());
  else if (TMMDSPComponent* out = Output()) out->SetPWaveFormat(format_);
}

void TMMDSPComponent::Loaded() {
  TMMCustomDSPComponent::Loaded();
  SetWaveFormat(format_);
}

int32_t TMMDSPComponent::GetBufferSize() const { return opened_ ? realBufferSize_ : bufferSize_; }

void TMMDSPComponent::SetBufferSize(int32_t n) {
  if (n == bufferSize_) return;
  if (started_) ChainStop();
  bufferSize_ = n;
}

void TMMDSPComponent::ChainOpen() {
  if (opened_) return;
  int32_t n = bufferSize_;
  if (format_) {
    // A format that claims a block of 0 bytes would divide by zero: count it as one byte.
    const int32_t align = std::max<int32_t>(format_->nBlockAlign, 1);
    n = std::max(n - n % align, align);
  }
  realBufferSize_ = n;
  opened_ = true;
  started_ = false;
  paused_ = false;
}

void TMMDSPComponent::ChainClose() { opened_ = false; }

void TMMDSPComponent::ChainStart() {
  if (opened_ && !started_) started_ = true;
}

void TMMDSPComponent::ChainPause() { paused_ = true; }

void TMMDSPComponent::ChainRestart() { paused_ = false; }

void TMMDSPComponent::ChainStop() {
  if (started_) {
    started_ = false;
    paused_ = false;
  }
}

void TMMDSPComponent::BufferReady(PWaveHdr lpWaveHdr) {
  if (OnBufferReady) OnBufferReady(this, lpWaveHdr);
  if (TMMDSPComponent* out = Output()) out->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  if (OnBufferLoad) OnBufferLoad(this, lpWaveHdr, MoreBuffers);
  if (TMMDSPComponent* in = Input()) in->BufferLoad(lpWaveHdr, MoreBuffers);
  if (OnBufferFilled && lpWaveHdr && lpWaveHdr->dwBytesRecorded > 0) OnBufferFilled(this, lpWaveHdr);
}

void TMMDSPComponent::BufferSync() {
  if (TMMDSPComponent* out = Output()) out->BufferSync();
}

bool TMMDSPComponent::ChainWrittenOut(int64_t) { return true; }

// ---- TMMCustomSoundComponent ---------------------------------------------------------------------

bool IsSoundComponent(const TMMDSPComponent* c) { return dynamic_cast<const TMMCustomSoundComponent*>(c) != nullptr; }

TMMDSPComponent* TMMCustomSoundComponent::WalkStart(bool* deviceAbove) const {
  if (deviceAbove) *deviceAbove = false;
  auto* self = const_cast<TMMCustomSoundComponent*>(this);
  TMMDSPComponent* p = self;
  while (TMMDSPComponent* in = p->Input()) {
    if (IsSoundComponent(in)) {
      // The components above belong to that device.
      if (deviceAbove) *deviceAbove = true;
      return self;
    }
    p = in;
  }
  return p;
}

TMMDSPComponent* TMMCustomSoundComponent::WalkPlain(const std::function<void(TMMDSPComponent*)>& op) const {
  for (TMMDSPComponent* c = WalkStart(); c; c = c->Output()) {
    if (c == this) continue;
    if (IsSoundComponent(c)) return c;
    op(c);
  }
  return nullptr;
}

TMMDSPComponent* TMMCustomSoundComponent::FirstDeviceBelow() const {
  for (TMMDSPComponent* c = Output(); c; c = c->Output())
    if (IsSoundComponent(c)) return c;
  return nullptr;
}

void TMMCustomSoundComponent::WalkDown(void (TMMDSPComponent::*op)()) {
  TMMDSPComponent* end = WalkPlain([op](TMMDSPComponent* c) { (c->*op)(); });
  if (end) (end->*op)();
}

void TMMCustomSoundComponent::WalkDeviceFirst(void (TMMDSPComponent::*op)()) {
  if (TMMDSPComponent* below = FirstDeviceBelow()) (below->*op)();
  WalkPlain([op](TMMDSPComponent* c) { (c->*op)(); });
}

bool TMMCustomSoundComponent::PlainWrittenOut(int64_t waitMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool all = true;
  WalkPlain([&](TMMDSPComponent* c) {
    if (!all) return;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    all = c->ChainWrittenOut(std::max<int64_t>(left.count(), 0));
  });
  return all;
}

void TMMCustomSoundComponent::ChainOpen() {
  WalkStart(&deviceUpstream_);
  const int32_t size = GetBufferSize();
  // The whole chain runs at this device's buffer size.
  TMMDSPComponent* end = WalkPlain([size](TMMDSPComponent* c) {
    c->SetBufferSize(size);
    c->ChainOpen();
  });
  if (end) {
    end->SetBufferSize(size);
    end->ChainOpen();
  }
  TMMDSPComponent::ChainOpen();
}

void TMMCustomSoundComponent::ChainClose() {
  WalkDeviceFirst(&TMMDSPComponent::ChainClose);
  TMMDSPComponent::ChainClose();
}

void TMMCustomSoundComponent::ChainStart() {
  WalkDown(&TMMDSPComponent::ChainStart);
  TMMDSPComponent::ChainStart();
}

void TMMCustomSoundComponent::ChainPause() {
  WalkDown(&TMMDSPComponent::ChainPause);
  TMMDSPComponent::ChainPause();
}

void TMMCustomSoundComponent::ChainRestart() {
  WalkDown(&TMMDSPComponent::ChainRestart);
  TMMDSPComponent::ChainRestart();
}

void TMMCustomSoundComponent::ChainStop() {
  WalkDeviceFirst(&TMMDSPComponent::ChainStop);
  TMMDSPComponent::ChainStop();
}

void TMMCustomSoundComponent::ChainReset() {
  WalkDown(&TMMDSPComponent::ChainReset);
  TMMDSPComponent::ChainReset();
}

void TMMCustomSoundComponent::ChainLoop() {
  WalkDown(&TMMDSPComponent::ChainLoop);
  TMMDSPComponent::ChainLoop();
}

// ---- threads -------------------------------------------------------------------------------------

struct TMMThreadEx::SyncCall {
  std::mutex m;
  std::condition_variable cv;
  bool begun = false;
  bool done = false;
  bool cancelled = false;
};

TMMThreadEx::~TMMThreadEx() {
  // Derived threads join in their own destructors, while Execute's object is still whole; this
  // only catches a thread that was never started or has ended.
  if (thread_.joinable()) {
    if (OnThisThread()) thread_.detach();
    else thread_.join();
  }
}

bool TMMThreadEx::Resume() {
  if (thread_.joinable()) return true;
  terminated_ = false;
  try {
    thread_ = std::thread([this] {
      ThreadBegins();
      ApplyPriority();
      std::exception_ptr failure;
      try {
        Execute();
      } catch (...) {
        failure = std::current_exception();
      }
      if (failure) plat::HandleException(std::move(failure));
      ThreadEnds();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TMMThreadEx::Terminate() {
  terminated_ = true;
  std::shared_ptr<SyncCall> call;
  {
    std::lock_guard<std::mutex> l(syncLock_);
    call = pendingSync_;
  }
  if (call) {
    {
      std::lock_guard<std::mutex> l(call->m);
      call->cancelled = true;
    }
    call->cv.notify_all();
  }
}

void TMMThreadEx::WaitFor() {
  if (thread_.joinable() && !OnThisThread()) thread_.join();
}

bool TMMThreadEx::OnThisThread() const { return thread_.get_id() == std::this_thread::get_id(); }

void TMMThreadEx::SetPriority(TThreadPriority p) {
  priority_ = p;
  priorityChanged_ = true;
}

void TMMThreadEx::ApplyPriority() {
  if (priorityChanged_.exchange(false) && priority_ != tpNormal)
    plat::SetCurrentThreadPriority(ToPlatPriority(priority_));
}

void TMMThreadEx::Synchronize(const std::function<void()>& fn) {
  if (!fn) return;
  if (plat::IsUiThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<SyncCall>();
  {
    std::lock_guard<std::mutex> l(syncLock_);
    pendingSync_ = call;
  }
  if (!terminated_) {
    plat::RunOnUiThread([call, fn] {
      {
        std::lock_guard<std::mutex> l(call->m);
        if (call->cancelled) return;
        call->begun = true;
      }
      try {
        fn();
      } catch (...) {
        plat::HandleException(std::current_exception());
      }
      {
        std::lock_guard<std::mutex> l(call->m);
        call->done = true;
      }
      call->cv.notify_all();
    });
    std::unique_lock<std::mutex> l(call->m);
    call->cv.wait(l, [&] { return call->done || call->cancelled; });
  }
  std::lock_guard<std::mutex> l(syncLock_);
  pendingSync_.reset();
}

namespace {
thread_local TMMDSPThread* tCurrentChainThread = nullptr;
std::atomic<int> gLiveChainThreads{0};
}  // namespace

TMMDSPThread* TMMDSPThread::Current() { return tCurrentChainThread; }

bool OnDeviceCompletionWorker() {
  const TMMDSPThread* t = tCurrentChainThread;
  return t && t->HandlesDeviceCompletions();
}

int TMMDSPThread::LiveCount() { return gLiveChainThreads; }

void TMMDSPThread::ThreadBegins() {
  tCurrentChainThread = this;
  ++gLiveChainThreads;
}

void TMMDSPThread::ThreadEnds() {
  --gLiveChainThreads;
  tCurrentChainThread = nullptr;
}

void SynchronizeChainThread(TMMDSPComponent* sender, const TNotifyEvent& handler) {
  if (!handler) return;
  if (!TMMDSPThread::Current() || plat::IsUiThread()) {
    handler(sender);
    return;
  }
  const uint64_t serial = sender ? sender->Serial() : 0;
  plat::RunOnUiThread([sender, serial, handler] {
    if (sender && !TMMDSPComponent::Alive(serial)) return;
    try {
      handler(sender);
    } catch (...) {
      plat::HandleException(std::current_exception());
    }
  });
}
