#pragma once
// The part of a wave device that every backend shares: the queue of buffers, their flags and order,
// positions, the driver thread that owns the backend's stream, and the delivery of notices. A
// backend supplies a WaveDriver that moves audio between the queue and its sound source or sink.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>

#include "platform/audio/wave_device.h"
#include "platform/audio/wave_mapper.h"
#include "platform/system/threads.h"

namespace plat::wavecore {

class WaveDevice;

// One open stream of a backend. Every call arrives on the device's driver thread.
class WaveDriver {
public:
  virtual ~WaveDriver() = default;
  // Moves what audio it can and returns; waits (WaveDevice::WaitWake) when there is nothing to do,
  // so that commands and new buffers are taken up at once.
  virtual void Pump(WaveDevice& dev) = 0;
  virtual void StartInput(WaveDevice& dev) {}
  // Hands over, with PutInput, what has arrived before capture stops.
  virtual void StopInput(WaveDevice& dev) {}
  virtual void PauseOutput(WaveDevice& dev) {}
  virtual void RestartOutput(WaveDevice& dev) {}
  // Discards what is in flight (a reset).
  virtual void Drop(WaveDevice& dev) {}
  // Releases the stream; the last call.
  virtual void Close(WaveDevice& dev) {}
  // Notes for an output's log, made under the device's lock: Written on the thread that wrote the
  // buffer, WasReset on the driver thread.
  virtual void Written(uint64_t bytes, uint64_t playedBytes) {}
  virtual void WasReset() {}
  // Whether a buffer queued behind others needs the driver woken; asked under the device's lock on
  // the queuing thread. A buffer queued when none was always wakes it.
  virtual bool WakeForQueuedBuffer() const { return true; }
};

struct WaveDeviceOptions {
  bool openNotice = true;
  bool closeNotice = true;
  uint32_t positionBase = 0;
  ThreadPriority priority = ThreadPriority::Normal;
};

class WaveDevice : public std::enable_shared_from_this<WaveDevice> {
public:
  // format is the device's; an output that converts (converter) queues the caller's buffers and
  // hands the driver their conversions, counting positions in the device's frames.
  WaveDevice(uint64_t handle, bool input, int32_t deviceId, const WAVEFORMATEX& format, WaveCallback callback,
             std::unique_ptr<WaveDriver> driver, WaveDeviceOptions options,
             std::unique_ptr<WaveConverter> converter = nullptr);
  ~WaveDevice();
  WaveDevice(const WaveDevice&) = delete;
  WaveDevice& operator=(const WaveDevice&) = delete;

  // Starts the driver thread; returns once the open notice has been delivered.
  void Launch();

  uint64_t Handle() const { return handle_; }
  bool IsInput() const { return input_; }
  int32_t DeviceId() const { return deviceId_; }
  const WAVEFORMATEX& Format() const { return format_; }

  // The calls of the contract (wave_device.h).
  MMRESULT Prepare(WAVEHDR* hdr);
  MMRESULT Unprepare(WAVEHDR* hdr);
  MMRESULT Add(WAVEHDR* hdr);
  MMRESULT Start();
  MMRESULT Stop();
  MMRESULT Reset();
  MMRESULT Pause();
  MMRESULT Restart();
  // Ends the driver thread, which releases the stream. A driver held up in its stream for longer
  // than kCloseWait is left to release it by itself: Close returns, with the close notice given,
  // and no notice comes after it.
  MMRESULT Close();
  static constexpr std::chrono::milliseconds kCloseWait{1000};
  MMRESULT Position(MMTIME& time);
  // See WaveInGetStall and WaveInGetGaps.
  uint32_t StallMs() const { return stallMs_.load(std::memory_order_relaxed); }
  std::vector<WaveGap> Gaps() const;

  // Runs fn on the driver thread (at once when called there) and returns its result after the
  // notices it caused have been delivered. MMSYSERR_INVALHANDLE once the device is closed.
  MMRESULT Call(const std::function<MMRESULT()>& fn);

  // ---- for drivers, on the driver thread -------------------------------------------------------
  // Delivers the notices gathered so far, then waits until woken (a command, a new buffer),
  // timeoutMs passes (negative: no limit) or one of fds becomes ready (poll events as given).
  void WaitWake(int timeoutMs, ::pollfd* fds = nullptr, int nfds = 0);
  void Wake();
  bool Running() const;  // input started, or output not paused
  // Output: copies up to maxBytes of queued audio after what was already written, in whole
  // frames, without marking it written.
  size_t PeekOutput(uint8_t* dst, size_t maxBytes);
  // Output: `bytes` more were handed to the sink, and `delayBytes` of all handed are not yet played.
  // Buffers that are now fully played come back.
  void CommitOutput(size_t bytes, uint64_t delayBytes);
  // Output: queued bytes not yet written (including a partial frame at the end).
  uint64_t PendingOutput() const;
  // Output: drops a trailing partial frame that can never be written, once all else has played.
  void SkipPartialTail();
  // Output: rewinds the written mark to what has been played (a pause without hardware support).
  void RewindToPlayed();
  // Input: room left in the queued buffers.
  uint64_t InputSpace() const;
  // Bytes still to record or play before the buffer at the head of the queue comes back; 0 when
  // none is queued or the head is due back now.
  uint64_t BytesToNextReturn() const;
  // Input: stores recorded bytes in the queued buffers, returning full ones; returns how many were
  // taken (the rest found no buffer).
  size_t PutInput(const uint8_t* src, size_t bytes);
  // The stream has moved no audio for this long although it is still there, as the stall rule
  // counts it (0: audio moves). Starting, stopping, pausing or resetting the device clears it.
  void NoteStall(uint32_t ms) { stallMs_.store(ms, std::memory_order_relaxed); }
  // Input: `frames` of the source's audio could not be held and are missing from the recording
  // at what it holds now.
  void NoteGap(uint64_t frames);
  // Delivers the notices gathered so far (done by the loop after every step; drivers call it
  // before they block for long).
  void Flush();
  // The stream is gone for good (a card unplugged, a sound server that went away): every queued
  // buffer comes back now (an input's with what it holds), and the device takes no more audio.
  // Stopping, resetting, positions and Close still work, so the owner can close it. The owner's
  // calls that need the stream fail with reason.
  void Lost(MMRESULT reason = MMSYSERR_NODRIVER);

private:
  struct Queued {
    WAVEHDR* hdr;
    uint64_t start;  // stream offset of its first byte
    uint32_t len;
    const uint8_t* data;  // the buffer's bytes, or their conversion
  };
  struct Command {
    std::function<MMRESULT()> fn;
    MMRESULT result = MMSYSERR_NOERROR;
    bool done = false;
  };
  struct Notice {
    WaveMsg msg;
    WAVEHDR* hdr;
  };

  void ThreadMain();
  void RunCommands();
  void Notify(WaveMsg msg, WAVEHDR* hdr);  // under m_
  void ReturnLocked(Queued q, uint32_t bytesRecorded);
  void CompletePlayedLocked();
  // Every queued buffer, the front one with what it holds (input).
  void ReturnAllLocked();
  MMRESULT CheckHeaderLocked(WAVEHDR* hdr) const;
  bool OnDriverThread() const { return std::this_thread::get_id() == threadId_.load(); }

  const uint64_t handle_;
  const bool input_;
  const int32_t deviceId_;
  const WAVEFORMATEX format_;
  const uint32_t blockAlign_;
  const WaveCallback callback_;
  std::unique_ptr<WaveDriver> driver_;
  const WaveDeviceOptions options_;
  const std::unique_ptr<WaveConverter> converter_;
  // A converting output's conversion of each buffer it was given; an entry is rewritten only while
  // its buffer is not queued.
  std::map<const WAVEHDR*, std::vector<uint8_t>> converted_;
  int wakeFd_ = -1;

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<Queued> queue_;
  std::vector<Notice> notices_;
  std::vector<Command*> commands_;
  uint64_t queuedEnd_ = 0;  // stream offset after the last queued byte
  uint64_t written_ = 0;    // output: handed to the sink
  uint64_t played_ = 0;     // output: played
  uint64_t fill_ = 0;       // input: bytes in the front buffer
  uint64_t recorded_ = 0;   // input: bytes recorded since the last reset
  bool started_ = false;    // input
  bool paused_ = false;     // output
  bool closed_ = false;     // no more calls are taken
  bool lost_ = false;       // see Lost()
  bool exit_ = false;       // the driver thread ends after this round
  bool launched_ = false;
  bool finished_ = false;                   // the driver thread has released the stream
  std::shared_ptr<WaveDevice> keepAlive_;   // an abandoned device's, held by its own thread
  std::mutex callbackMutex_;                // held while notices are delivered
  bool abandoned_ = false;                  // under callbackMutex_: closed without its thread
  MMRESULT lostReason_ = MMSYSERR_NODRIVER;
  std::vector<WaveGap> gaps_;  // input, since the last reset
  std::atomic<uint32_t> stallMs_{0};
  std::thread thread_;
  std::atomic<std::thread::id> threadId_{};
};

}  // namespace plat::wavecore
