#pragma once
// The spine of every audio chain: the linked component base, the device base that drives the
// plain components of its chain, the buffer record that travels along a chain, the block
// allocator of devices and ring buffers, and the chain's worker-thread base.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/MMObj.h"
#include "platform/audio/wave_types.h"
#include "platform/system/threads.h"

using plat::WAVE_FORMAT_PCM;
using plat::WAVEFORMATEX;
using plat::WAVEHDR;
using PWaveFormatEx = WAVEFORMATEX*;

// Where a component handles its completions or ticks: posted to its hidden window (the UI
// thread), at once in the driver's or timer's callback, or on a worker thread of its own.
enum TMMCBMode { cmWindow, cmCallback, cmThread };

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
plat::ThreadPriority ToPlatPriority(TThreadPriority p);

// ---- the buffer record ---------------------------------------------------------------------------
// One block: the platform header, the engine's seven words, then the audio data (lpData points
// just past the header).
struct TMMWaveHdr : WAVEHDR {
  uintptr_t Reserved = 0;
  uint32_t SavedBytes = 0;        // dwBytesRecorded, kept while the driver holds the buffer
  TMMWaveHdr* NextHdr = nullptr;  // the buffer that plays after this one
  int32_t LoopFlag = 0;           // -1 while the output plays in a loop
  int32_t LoopCount = 0;          // the output's loop count
  int32_t LoopsLeft = 0;          // passes left, carried back to the output after each load
  int32_t LoopMark = 0;           // -1 on the buffer that carries the loop point
};
using PWaveHdr = TMMWaveHdr*;
constexpr size_t kWaveHdrSize = sizeof(TMMWaveHdr);

// Makes a header at the start of block (header and data words zero, the data left as it is) with
// lpData just past it and dwBufferLength = dataBytes. The block holds kWaveHdrSize + dataBytes.
PWaveHdr InitWaveHdr(void* block, uint32_t dataBytes);

using TMMBufferEvent = std::function<void(TObject* Sender, PWaveHdr lpWaveHdr)>;
using TMMBufferLoadEvent = std::function<void(TObject* Sender, PWaveHdr lpWaveHdr, bool& MoreBuffers)>;

// ---- the block allocator -------------------------------------------------------------------------
// Kinds of memory a caller asks for; on this platform both are fixed and zero-filled.
constexpr uint32_t amFixed = 0;
constexpr uint32_t amMovable = 1;

// Hands out zero-filled blocks and keeps every block for reuse, so a chain that is stopped and
// started again allocates nothing new. Thread-safe.
class TMMAllocator : public TObject {
public:
  TMMAllocator() = default;
  ~TMMAllocator() override;
  TMMAllocator(const TMMAllocator&) = delete;
  TMMAllocator& operator=(const TMMAllocator&) = delete;

  // A free block of exactly size bytes, else the first free block that is large enough (in
  // allocation order), else a new zero-filled block. nullptr when memory runs out. A reused
  // block is not cleared again.
  void* AllocBuffer(uint32_t flags, size_t size);
  // Gives a block back for reuse and sets p to nullptr; an address not from here is ignored.
  void FreeBuffer(void*& p);
  // Returns every block to the system, last to first.
  void FreeAll();

  int BlockCount() const;
  int UsedCount() const;
  std::string ClassName() const override { return "TMMAllocator"; }

private:
  struct Block {
    void* address;
    size_t size;
    int uses;
  };
  mutable std::recursive_mutex lock_;
  std::vector<Block> blocks_;
};

// A block of allocator with a header made by InitWaveHdr and dataBytes behind it; nullptr when
// memory runs out.
PWaveHdr AllocWaveHdr(TMMAllocator& allocator, uint32_t flags, uint32_t dataBytes);

// ---- components ----------------------------------------------------------------------------------
class TMMCustomDSPComponent : public TMMNonVisualComponent {
public:
  explicit TMMCustomDSPComponent(TComponent* owner = nullptr) : TMMNonVisualComponent(owner) {}
  std::string ClassName() const override { return "TMMCustomDSPComponent"; }
};

// A link of an audio chain. Input and Output are always mutual (A.Output == B exactly when
// B.Input == A). Buffers are pushed down with BufferReady and pulled up with BufferLoad.
class TMMDSPComponent : public TMMCustomDSPComponent {
public:
  explicit TMMDSPComponent(TComponent* owner = nullptr);
  ~TMMDSPComponent() override;

  TMMDSPComponent* Input() const { return GetInput(); }
  TMMDSPComponent* Output() const { return GetOutput(); }
  // Setting a link stops this component first; a link that would close a cycle, or to a
  // component that has no such link property, is ignored without a word.
  virtual void SetInput(TMMDSPComponent* peer);
  virtual TMMDSPComponent* GetInput() const { return input_.load(); }
  virtual void SetOutput(TMMDSPComponent* peer);
  virtual TMMDSPComponent* GetOutput() const { return output_.load(); }

  // The component's own copy of the stream format (nullptr when it has none). Setting it spreads
  // it down the chain.
  virtual void SetWaveFormat(const WAVEFORMATEX* format);
  virtual PWaveFormatEx GetWaveFormat() const { return format_; }
  virtual void SetPWaveFormat(const WAVEFORMATEX* format) { SetWaveFormat(format); }

  // BufferSize as set; while open, the size in force (RealBufferSize).
  int32_t BufferSize() const { return GetBufferSize(); }
  virtual int32_t GetBufferSize() const;
  virtual void SetBufferSize(int32_t n);
  int32_t RealBufferSize() const { return realBufferSize_; }

  bool Opened() const { return opened_; }
  bool Started() const { return started_; }
  bool Paused() const { return paused_; }

  virtual void ChainOpen();
  virtual void ChainClose();
  virtual void ChainStart();
  virtual void ChainPause();
  virtual void ChainRestart();
  virtual void ChainStop();
  virtual void ChainReset() {}
  virtual void ChainLoop() {}

  // Push: OnBufferReady, then the Output's BufferReady.
  virtual void BufferReady(PWaveHdr lpWaveHdr);
  // Pull: OnBufferLoad, the Input's BufferLoad, then OnBufferFilled when bytes arrived.
  virtual void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers);
  // Asks the end of a recording chain to make what it has written durable on its medium (a wave
  // file syncs its file to the disk); passed on down the chain.
  virtual void BufferSync();
  // Whether everything this component was given has gone on down the chain and been made durable,
  // waiting at most waitMs (0: only looks) for a thread of its own to get it there. A component
  // without such a thread has nothing held.
  virtual bool ChainWrittenOut(int64_t waitMs);

  virtual bool CanConnectInput(TMMDSPComponent* peer) const;
  virtual bool CanConnectOutput(TMMDSPComponent* peer) const;
  // Whether the class publishes the link property "Input" or "Output".
  virtual bool PublishesLink(const std::string& property) const;

  // Sent to every live chain component when peer is about to re-point its property.
  virtual void PeerRelinked(TMMDSPComponent* peer, const std::string& property);

  const std::string& InputLinkName() const { return inputLinkName_; }
  const std::string& OutputLinkName() const { return outputLinkName_; }

  TMMBufferEvent OnBufferReady;
  TMMBufferLoadEvent OnBufferLoad;
  TMMBufferEvent OnBufferFilled;

  // A number of this component's own, never reused while the process lives.
  uint64_t Serial() const { return serial_; }
  // Whether the component with this serial number is still alive.
  static bool Alive(uint64_t serial);
  static int LiveCount();

  std::string ClassName() const override { return "TMMDSPComponent"; }

protected:
  virtual void UpdateFormat();
  void Loaded() override;
  void Notification(TComponent* c, TOperation op) override;
  bool Quiet() const;  // loading, reading or being destroyed: formats do not spread
  void SetOpenedFlag(bool v) { opened_ = v; }
  void SetStartedFlag(bool v) { started_ = v; }
  void SetPausedFlag(bool v) { paused_ = v; }
  void SetRealBufferSize(int32_t n) { realBufferSize_ = n; }
  int32_t StoredBufferSize() const { return bufferSize_; }

private:
  static void NotifyRelink(TMMDSPComponent* peer, const std::string& property);
  void Unlink(TMMDSPComponent* peer);

  std::atomic<TMMDSPComponent*> input_{nullptr};
  std::atomic<TMMDSPComponent*> output_{nullptr};
  PWaveFormatEx format_ = nullptr;
  std::atomic<int32_t> bufferSize_{2048};
  std::atomic<int32_t> realBufferSize_{2048};
  std::atomic<bool> opened_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> paused_{false};
  std::string inputLinkName_;
  std::string outputLinkName_;
  uint64_t serial_;
};

// A component that owns a sound device and drives the plain components of its chain. Open,
// start, pause, restart and reset walk from the head of the chain down and handle the device met
// at the end last; close and stop first reach the device below, then the plain components from
// the head down; last the device sets its own flags.
class TMMCustomSoundComponent : public TMMDSPComponent {
public:
  explicit TMMCustomSoundComponent(TComponent* owner = nullptr) : TMMDSPComponent(owner) {}

  void ChainOpen() override;
  void ChainClose() override;
  void ChainStart() override;
  void ChainPause() override;
  void ChainRestart() override;
  void ChainStop() override;
  void ChainReset() override;
  void ChainLoop() override;

  // Set by the open walk when another device lies upstream of this one.
  bool DeviceUpstream() const { return deviceUpstream_; }

  int32_t NumBuffers() const { return GetNumBuffers(); }
  TMMDeviceId DeviceID() const { return GetDeviceID(); }
  std::string ProductName() const { return GetProductName(); }
  TMMCBMode CallBackMode() const { return GetCallBackMode(); }
  virtual void SetNumBuffers(int32_t n) = 0;
  virtual int32_t GetNumBuffers() const = 0;
  virtual void SetDeviceID(TMMDeviceId id) = 0;
  virtual TMMDeviceId GetDeviceID() const = 0;
  virtual void SetProductName(const std::string& name) = 0;
  virtual std::string GetProductName() const = 0;
  virtual void SetCallBackMode(TMMCBMode mode) = 0;
  virtual TMMCBMode GetCallBackMode() const = 0;

  std::string ClassName() const override { return "TMMCustomSoundComponent"; }

protected:
  // Where the walk starts: the head of the chain, or this device when another device lies above.
  TMMDSPComponent* WalkStart(bool* deviceAbove = nullptr) const;
  // Applies op to every plain component from the start down; returns the device that ends the
  // walk, or nullptr at the end of the chain.
  TMMDSPComponent* WalkPlain(const std::function<void(TMMDSPComponent*)>& op) const;
  TMMDSPComponent* FirstDeviceBelow() const;
  // Walks for start, pause, restart, reset and loop: the plain components, then the end device.
  void WalkDown(void (TMMDSPComponent::*op)());
  // Walks for close and stop: the device below first, then the plain components.
  void WalkDeviceFirst(void (TMMDSPComponent::*op)());
  // Whether the plain components from the start down have written out what they hold, all of
  // them within waitMs in all.
  bool PlainWrittenOut(int64_t waitMs) const;

private:
  bool deviceUpstream_ = false;
};

bool IsSoundComponent(const TMMDSPComponent* c);

// ---- threads -------------------------------------------------------------------------------------
// A worker thread that is created idle and started with Resume; it runs Execute once. The owner
// joins it (WaitFor or the destructor); Terminate asks Execute to end.
class TMMThreadEx {
public:
  TMMThreadEx() = default;
  virtual ~TMMThreadEx();
  TMMThreadEx(const TMMThreadEx&) = delete;
  TMMThreadEx& operator=(const TMMThreadEx&) = delete;

  // Starts the thread at Priority. False when the system refuses a thread.
  bool Resume();
  // Asks Execute to end and releases a Synchronize that is waiting.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Joins the thread (at once when it never ran or has been joined). Never from the thread itself.
  void WaitFor();
  bool OnThisThread() const;

  TThreadPriority Priority() const { return priority_; }
  // Taken over by the thread at its next ApplyPriority.
  void SetPriority(TThreadPriority p);

  // Runs fn on the UI thread and waits for it, unless Terminate comes first (then fn is dropped
  // if it has not begun). At once when called on the UI thread. An exception of fn goes to the
  // application's exception handler.
  void Synchronize(const std::function<void()>& fn);

protected:
  virtual void Execute() = 0;
  // Called on the thread around Execute.
  virtual void ThreadBegins() {}
  virtual void ThreadEnds() {}
  void ApplyPriority();

private:
  struct SyncCall;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<TThreadPriority> priority_{tpNormal};
  std::atomic<bool> priorityChanged_{true};
  std::mutex syncLock_;
  std::shared_ptr<SyncCall> pendingSync_;
};

// A chain worker thread: it holds its owner component and, while it runs, code on it counts as
// chain-thread code for SynchronizeChainThread.
class TMMDSPThread : public TMMThreadEx {
public:
  explicit TMMDSPThread(TMMDSPComponent* owner) : owner_(owner) {}
  TMMDSPComponent* Owner() const { return owner_; }
  // The chain thread the caller runs on, or nullptr.
  static TMMDSPThread* Current();
  // Chain threads running now.
  static int LiveCount();
  // A device's completion worker (cmThread): the chain's buffer calls from the device come on it
  // instead of the UI thread.
  virtual bool HandlesDeviceCompletions() const { return false; }

protected:
  void ThreadBegins() override;
  void ThreadEnds() override;

private:
  TMMDSPComponent* owner_;
};

// Fires handler(sender) on the UI thread. Called anywhere but on a chain thread it runs at once;
// called on a chain thread it is posted and the caller goes on at once, because the UI thread may
// at that moment be waiting for this very chain thread (a stop that drains a ring buffer while a
// full disk closes its file). A posted call is dropped when the sender is gone by then. Nothing
// happens without a handler.
void SynchronizeChainThread(TMMDSPComponent* sender, const TNotifyEvent& handler);

// Whether the caller is a device's completion worker, where a device in cmThread mode hands its
// buffers down the chain.
bool OnDeviceCompletionWorker();
