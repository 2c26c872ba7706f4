#pragma once
// The ring buffer between a device and the disk: a queue of slots with a thread of its own that
// flushes the queue to its Output (recording) or fills it from its Input (playback) in large
// blocks, so the device side only ever copies into or out of memory.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/MMDSPObj.h"
#include "engine/MMTimer.h"

enum TMMQueueMode { qmNone, qmRead, qmWrite, qmDuplex };

MM_EXCEPTION(EMMBufferError)

class TMMQueueThread;

class TMMRingBuffer : public TMMDSPComponent {
public:
  // A recording's queue (qmWrite with a format) is written out as soon as it holds this much audio
  // or has held audio this long, so a process that dies loses little of the take, and what was
  // written is made durable on the disk after this much audio or time, and when the queue stops.
  static constexpr int32_t kFlushAfterMs = 200;
  static constexpr int32_t kSyncAfterMs = 4000;
  // A queue more than this share full (one slot in four) holds a backlog: its thread writes it
  // out without pausing between writes and leaves a due sync until the backlog is worked off, or
  // until the file has gone unsynced this long while the program ran (a disk that never catches
  // up). A burst of seconds of audio fills a queue within milliseconds; a quarter leaves room
  // for what comes during one pause or sync once the backlog is written.
  static constexpr int32_t kBacklogShare = 4;
  static constexpr int32_t kSyncOverdueMs = 2 * kSyncAfterMs;
  // Input that brings more than this much audio within one tick of the shared timer is such a
  // backlog being handed over too, however much of it the queue holds at the moment: a sync or a
  // pause in the middle of it fills the queue faster than any write empties it. It counts as
  // one until kBurstTicks ticks have passed without it.
  static constexpr int32_t kBurstMs = 1000;
  static constexpr int32_t kBurstTicks = 2;

  explicit TMMRingBuffer(TComponent* owner = nullptr);
  ~TMMRingBuffer() override;

  // Slot size in bytes, at least 32. Changing it, NumBuffers or QueueMode while open raises.
  void SetBufferSize(int32_t n) override;
  int32_t NumBuffers() const { return numBuffers_; }
  void SetNumBuffers(int32_t n);  // values below 2 are ignored
  TMMQueueMode QueueMode() const { return mode_; }
  void SetQueueMode(TMMQueueMode mode);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { enabled_ = on; }
  // The write side waits for room instead of dropping a buffer.
  bool WaitIfFull() const { return waitIfFull_; }
  void SetWaitIfFull(bool on) { waitIfFull_ = on; }
  // An empty read side repeats the last slot instead of serving silence.
  bool LoopIfEmpty() const { return loopIfEmpty_; }
  void SetLoopIfEmpty(bool on) { loopIfEmpty_ = on; }
  // Milliseconds the first read waits for the first fill.
  int32_t TimeOut() const { return timeOut_; }
  void SetTimeOut(int32_t ms) { timeOut_ = ms; }

  TNotifyEvent OnOverlow;  // a pushed buffer was lost to a full queue (device's thread)
  TNotifyEvent OnEmpty;    // a read found the queue empty (device's thread)
  TNotifyEvent OnFillQueue, OnFillQueueEnd, OnFlushQueue, OnFlushQueueEnd;  // queue thread

  void ChainOpen() override;
  void ChainClose() override;
  void ChainStart() override;
  void ChainStop() override;
  void ChainReset() override;
  void BufferReady(PWaveHdr lpWaveHdr) override;
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;
  // A recording's queue asks its thread to write out and sync everything queued, and waits at most
  // waitMs for that; a queue whose thread failed has nothing more it could write.
  bool ChainWrittenOut(int64_t waitMs) override;

  // Empties the queue once the thread has ended the work it was doing; a source or file moved
  // after this call is read or written from its new place only.
  void ClearQueue();
  int32_t QueuedBuffers() const;
  int64_t QueuedBytes() const;
  // Buffers lost to a full queue since creation.
  uint64_t DroppedBuffers() const { return dropped_; }
  // Whether the queue thread has work it has not finished.
  bool WorkPending() const;
  // Whether the queue thread ended by an exception (the queue is then closed).
  bool ThreadFailed() const { return threadFailed_; }
  bool QueueOpen() const { return open_; }

  std::string ClassName() const override { return "TMMRingBuffer"; }

private:
  friend class TMMQueueThread;
  struct Slot {
    char* data;
    uint32_t count;
    uintptr_t user;
    uint32_t flags;
  };
  static constexpr uint32_t kEndOfData = 1;
  static constexpr uint32_t kLoopPoint = 2;

  bool HasThread() const { return mode_ == qmRead || mode_ == qmWrite; }
  void AllocQueue();
  void FreeQueue();
  void StartThread();
  void EndThread();
  void ThreadMain();
  void Fill();
  // Queues what one pull brought; false when filling ends here.
  bool StoreFill(PWaveHdr carry, bool more);
  void Flush();
  // Has the Output make what it was given durable, when that is due (always with force).
  void SyncOutput(bool force);
  // The shared timer's tick: a queue that waited or a file left unsynced too long gets its turn.
  void ClockTick();
  bool WriteDue() const;  // caller holds lock_
  // The queue holds a backlog (above), or one is being handed over.
  bool Backlogged() const;
  // Makes the file durable when that is due, unless a backlog is being written and it is not overdue.
  void SyncUnlessBacklogged();
  void Drain();
  void EmptyQueue();
  // Asks the thread for a fill or flush unless one is pending; caller holds lock_.
  bool RequestWorkLocked();
  void FinishWork();
  // Waits until the thread has no work left (at most timeoutMs when >= 0); false on time-out.
  bool WaitDone(int64_t timeoutMs);
  void WaitPending();
  void PutLocked(const char* data, uint32_t n, uintptr_t user, uint32_t flags);
  // Takes up to r bytes of the slot at the read index; 0 when the queue is empty. End and loop
  // flags come with the bytes that use a slot up.
  uint32_t Take(char* dest, uint32_t r, uintptr_t& user, uint32_t& flags);
  // The read side: priming, silence and repetition on an empty queue, then Take.
  uint32_t ReadQueue(char* dest, uint32_t r, uintptr_t& user, uint32_t& flags);
  bool HasSilence() const;
  void FillSilence(char* dest, uint32_t r) const;

  std::atomic<int32_t> numBuffers_{20};
  std::atomic<TMMQueueMode> mode_{qmNone};
  std::atomic<bool> enabled_{true};
  std::atomic<bool> waitIfFull_{false};
  std::atomic<bool> loopIfEmpty_{false};
  std::atomic<int32_t> timeOut_{10000};
  std::atomic<uint64_t> dropped_{0};

  // The queue, under lock_.
  mutable std::recursive_mutex lock_;
  std::vector<Slot*> slots_;
  uint32_t slotSize_ = 0;
  uint32_t fillChunk_ = 0;
  uint32_t flushChunk_ = 0;
  int32_t count_ = 0;
  int64_t total_ = 0;
  int32_t writeIdx_ = 0;
  int32_t readIdx_ = 0;
  int32_t lastRead_ = 0;
  bool hasLastRead_ = false;
  bool primed_ = false;
  bool pendingEnd_ = false;   // the source has no more data: readers get the end once empty
  bool sourceEnded_ = false;  // no fill until the queue is cleared
  uint64_t clearCount_ = 0;
  int32_t loopFlag_ = 0, loopCount_ = 0, loopsLeft_ = 0, loopMark_ = 0;
  PWaveHdr carry_ = nullptr;
  // A recording's time limits in bytes of its format (0: none), under lock_.
  int64_t flushBytes_ = 0;
  int64_t syncBytes_ = 0;
  int64_t burstBytes_ = 0;
  int64_t arrivedSinceTick_ = 0;  // bytes the input brought since the last tick
  int32_t burstTicks_ = 0;        // ticks until a burst seen counts as over

  std::atomic<int64_t> unsynced_{0};    // bytes written out since the last sync
  std::atomic<int32_t> waitedMs_{0};    // audio has been queued this long since the last flush
  std::atomic<int32_t> unsyncedMs_{0};  // written bytes have been unsynced this long
  std::atomic<bool> syncDue_{false};
  std::atomic<bool> draining_{false};  // the thread's work ends with a sync, whatever is due

  std::atomic<bool> open_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> threadFailed_{false};

  // Hand-over to the thread, under signal_ (taken after lock_, never before it).
  mutable std::mutex signal_;
  std::condition_variable signalCv_;
  bool work_ = false;
  bool done_ = true;
  bool terminate_ = false;
  bool ready_ = false;
  int roomWaiters_ = 0;  // writers waiting for a slot to come free

  // One flush at a time reaches the Output: the thread's, or a stop's on the caller's thread.
  std::recursive_mutex flushLock_;
  std::unique_ptr<TMMQueueThread> thread_;
  TMMAllocator allocator_;
  // Registered while a recording's queue is open; last, so it goes before anything it touches.
  TMMOwnedTimerClient clock_{[this] { ClockTick(); }};
};

class TMMQueueThread : public TMMDSPThread {
public:
  explicit TMMQueueThread(TMMRingBuffer* owner) : TMMDSPThread(owner), ring_(owner) {}
  ~TMMQueueThread() override;

protected:
  void Execute() override { ring_->ThreadMain(); }

private:
  TMMRingBuffer* ring_;
};
