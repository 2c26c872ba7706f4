#pragma once
// The wave output device component: pulls every buffer from upstream (BufferLoad), hands it to the
// driver, and once it has played pushes it on downstream (BufferReady), which is how the connector
// behind it sees the audio. Ends playback by itself when the source runs dry.
//
// Threads as for the wave input: the driver's callback counts returned buffers and wakes the
// completion handling, which runs on the UI thread through the hidden window (or on the worker
// thread in cmThread mode) and does the rest: the played buffer goes downstream, the buffer is
// refilled and written again, loops are signalled, and the end of the data posts the stop.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/MMWavIn.h"

MM_EXCEPTION(EMMWaveOutError)

// An output device's operations. Another device's chain walk that reaches it drives it through
// them, as a device; nothing pushed from upstream reaches it.
class TMMCustomWaveOutComponent : public TMMCustomSoundComponent {
public:
  explicit TMMCustomWaveOutComponent(TComponent* owner = nullptr) : TMMCustomSoundComponent(owner) {}

  virtual int64_t GetPosition() = 0;
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void Reprime() = 0;
  virtual void Start() = 0;
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  virtual void Stop() = 0;

  void ChainOpen() override { Open(); }
  void ChainClose() override { Close(); }
  void ChainStart() override { Start(); }
  void ChainPause() override { Pause(); }
  void ChainRestart() override { Restart(); }
  void ChainStop() override { Stop(); }
  void BufferReady(PWaveHdr) override {}

  std::string ClassName() const override { return "TMMCustomWaveOutComponent"; }
};

struct TWaveOutFunctions : TWaveDeviceFunctions {
  std::function<plat::MMRESULT(plat::HWAVEOUT, WAVEHDR*)> Write;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Pause;
  std::function<plat::MMRESULT(plat::HWAVEOUT)> Restart;
};

class TMMWaveOutThread : public TMMWaveDeviceThread {
public:
  using TMMWaveDeviceThread::TMMWaveDeviceThread;
};

class TMMWaveOut : public TMMWaveDevice<TMMCustomWaveOutComponent, TWaveOutFunctions, EMMWaveOutError> {
public:
  explicit TMMWaveOut(TComponent* owner = nullptr);
  ~TMMWaveOut() override;

  // ---- transport (UI thread) --------------------------------------------------------------------
  // Open, Start, Pause, Restart, Reprime and Stop raise EMMWaveOutError after OnError and leave
  // the device closed; Close reports through OnError only. A Start whose source yields nothing
  // raises "Unable to start device".
  void Open() override;
  void Restart() override;
  // After the source has moved: drops what is queued and plays on from the source's new place,
  // the position counting from 0 again.
  void Reprime() override;

  // The played position in TimeFormat units since the start, the last re-prime or loop point.
  int64_t GetPosition() override;
  int64_t Position() { return GetPosition(); }
  // The position when the last Stop began; kept until Close.
  int64_t FinalPosition() const;

  // ---- properties -------------------------------------------------------------------------------
  void SetTimeFormat(TMMTimeFormats tf);
  bool Looping() const { return looping_; }
  void SetLooping(bool on);
  uint16_t LoopCount() const { return loopCount_; }
  void SetLoopCount(uint16_t n);
  bool ShowHourGlass() const { return showHourGlass_; }
  void SetShowHourGlass(bool on) { showHourGlass_ = on; }
  bool Mapped() const { return mapped_; }
  void SetMapped(bool on) { mapped_ = on; }

  // Closes the device first.
  void SetWaveFormat(const WAVEFORMATEX* format) override;
  // The fill: pulls one buffer from upstream with the loop words, and cuts the buffer to what
  // arrived.
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;

  TNotifyEvent OnLooping;
  // (OnBufferFilled, from the base, fires for each buffer just before it goes to the driver.)

  std::string ClassName() const override { return "TMMWaveOut"; }

private:
  void StartDevice() override;
  void PauseDevice() override;
  void BufferBack(uint64_t handle, WAVEHDR* hdr) override;
  void HandleCompletions() override;
  void DoStop() override;
  void CloseDevice() override;
  void Played(int slot);
  void EndOfQueue();
  // Bytes the source gave; ended tells whether it also said it has no more.
  uint32_t Fill(PWaveHdr h, bool* ended = nullptr);
  bool Write(int slot);
  int Refill();
  void ReleaseBuffers(bool report);
  int64_t TrackedDevicePosition();
  void CountFromHere();

  int numInUse_ = 0;
  int doneIndex_ = 0;  // the slot that finishes playing next
  bool moreBuffers_ = false;
  bool pausedByReset_ = false;  // a pause with a device upstream emptied the queue
  int64_t positionBase_ = 0;    // samples
  int64_t loopPosition_ = 0;    // samples, where the last pass began
  // Device samples at the last reset, and samples of the buffers played back since: together the
  // exact end of a buffer in the device's count.
  int64_t resetDevicePosition_ = 0;
  int64_t completedSamples_ = 0;
  int64_t finalPosition_ = 0;
  int32_t loopsLeft_ = 0;

  bool looping_ = false;
  uint16_t loopCount_ = 0;
  bool showHourGlass_ = true;
  bool mapped_ = false;
};
