#pragma once
// The connector: a chain tap that copies the audio passing through it and hands it, block by
// block, to the displays assigned to it (level bars, needle meters, oscilloscopes, lights,
// spectrum analysers, spectrograms), either at once or paced from a timer on the UI thread,
// and, with Synchronize, each block only when its play time has come.
//
// Displays know nothing of the chain: they implement TMMDisplayFeed. The pacing timer is a
// TMMFeedTimer that the GUI installs (a precise Qt timer); tests install one they drive by hand.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/MMDSPObj.h"
#include "engine/MMObj.h"
#include "platform/messages/messages.h"

struct TMMACMConverter;
struct TMMTimerClient;

MM_EXCEPTION(EMMConnectorError)

// ---- what a connector expects of a display -------------------------------------------------------
// All calls come on the UI thread (or, for a connector with RealTime off, on the thread that
// delivers the chain's buffers). FeedPCM is called with the connector's lock held: it may compute
// and paint, but must not add, remove, enable or disable shared-timer clients.
class TMMDisplayFeed {
public:
  virtual ~TMMDisplayFeed() = default;
  // The stream's format: always PCM of 8 or 16 bits and 1 or 2 channels. Called when the display
  // is assigned, when the connector's format changes and when the chain starts. A display that
  // cannot take it raises its own error and keeps its old format.
  virtual void SetWaveFormat(const WAVEFORMATEX* format) = 0;
  // One block of BlockBytes() bytes of interleaved samples (8-bit unsigned or 16-bit signed) in
  // the format last given. The pointer is valid only during the call.
  virtual void FeedPCM(const void* block) = 0;
  // Forget the values and history and repaint: the connector was disabled or its chain stopped.
  virtual void ResetData() = 0;
  // Bytes of one block in the current format; read before every feed. 0: feed nothing.
  virtual int32_t BlockBytes() const = 0;
  // How far the feed moves on after a block: the block itself, unless the display shows
  // overlapping blocks (a scrolling oscilloscope, an accelerated spectrogram).
  virtual int32_t AdvanceBytes() const { return BlockBytes(); }
  // The channel an oscilloscope's trigger search looks at.
  virtual TMMChannel TriggerChannel() const { return chBoth; }
};
// A display that is also a TComponent is watched: when it is destroyed, its slots are cleared.

// ---- the pacing timer ----------------------------------------------------------------------------
// A timer whose ticks run on the UI thread, with the microsecond clock it runs by. Start and
// Stop are called on the UI thread only; NowMicroseconds from any thread.
//
// The paced feed wakes when its next block is due and stops while no block waits: each tick hands
// over every block that has come due, and asks for the next one.
class TMMFeedTimer {
public:
  virtual ~TMMFeedTimer() = default;
  virtual int64_t NowMicroseconds() = 0;
  // Calls tick every intervalUs (or once, when not periodic), replacing any earlier Start. An
  // implementation may round the interval up to its own resolution.
  virtual void Start(int64_t intervalUs, bool periodic, std::function<void()> tick) = 0;
  virtual void Stop() = 0;
  // The first time at or after us at which what the displays draw then would reach the screen.
  // The feed waits for it: blocks handed over sooner could not be seen any sooner.
  virtual int64_t NextFrameAt(int64_t us) { return us; }
  // The time between two frames of the screen; 0 when there are none to keep pace with. The feed
  // steps at most once in that time, whether or not the last step changed what the screen shows.
  virtual int64_t FrameMicroseconds() { return 0; }
};

// Installs the timer every connector is paced by (nullptr: the built-in one, which runs on the
// multimedia timer and posts each tick to the UI thread). The caller keeps it alive until it is
// replaced. Install it before any connector runs.
void SetConnectorFeedTimer(TMMFeedTimer* timer);
TMMFeedTimer* ConnectorFeedTimer();

// ---- the connector -------------------------------------------------------------------------------
// Scoped: the control kit has a tile mode named tmNone too.
enum class TMMTriggerMode { tmNone, tmUpFlank, tmDownFlank };
enum TMMDisplayKind { dkLevel, dkMeter, dkOscope, dkLight, dkSpectrum, dkSpectrogram };
constexpr int kDisplayKinds = 6;
constexpr int kMaxDisplaySlots = 4;
// Slots per kind, in kind order.
constexpr std::array<int, kDisplayKinds> kDisplaySlots{2, 2, 2, 2, 4, 2};

// Messages of the connectors' shared hidden window.
constexpr uint32_t kConnectorEnter = plat::WM_APP + 20;
constexpr uint32_t kConnectorFeedOnce = plat::WM_APP + 21;

class TMMConnector : public TMMDSPComponent {
public:
  explicit TMMConnector(TComponent* owner = nullptr);
  ~TMMConnector() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool AutoConvert() const { return autoConvert_; }
  void SetAutoConvert(bool v) { autoConvert_ = v; }
  bool AutoTrigger() const { return autoTrigger_; }
  void SetAutoTrigger(bool v);
  bool Synchronize() const { return synchronize_; }
  void SetSynchronize(bool v);
  // 1..5000; lower values leave the application more time between feeding steps.
  int32_t Speed() const { return speed_; }
  void SetSpeed(int32_t v);
  TMMTriggerMode TriggerMode() const { return triggerMode_; }
  void SetTriggerMode(TMMTriggerMode v) { triggerMode_ = v; }
  int32_t TriggerLevel() const { return triggerLevel_; }
  void SetTriggerLevel(int32_t v) { triggerLevel_ = v; }
  bool RefreshOnStop() const { return refreshOnStop_; }
  void SetRefreshOnStop(bool v) { refreshOnStop_ = v; }
  // Feed paced from the UI thread (true) or at once in the buffer call (false). Refused while open.
  bool RealTime() const { return realTime_; }
  void SetRealTime(bool v);
  // One switch for all connectors. Feeding never holds the event loop here, so the application's
  // idle processing runs between steps whatever it says; it is kept for stored settings.
  static bool EnterIdle();
  static void SetEnterIdle(bool v);

  // The display slots. Placing the connector itself, or the display already held by the other
  // slot of a pair (not among the four spectrum slots), is refused without a word.
  TMMDisplayFeed* Display(TMMDisplayKind kind, int slot) const;
  void SetDisplay(TMMDisplayKind kind, int slot, TMMDisplayFeed* display);
  TMMDisplayFeed* Level1() const { return Display(dkLevel, 0); }
  TMMDisplayFeed* Level2() const { return Display(dkLevel, 1); }
  TMMDisplayFeed* Meter1() const { return Display(dkMeter, 0); }
  TMMDisplayFeed* Meter2() const { return Display(dkMeter, 1); }
  TMMDisplayFeed* Oscope1() const { return Display(dkOscope, 0); }
  TMMDisplayFeed* Oscope2() const { return Display(dkOscope, 1); }
  TMMDisplayFeed* Light1() const { return Display(dkLight, 0); }
  TMMDisplayFeed* Light2() const { return Display(dkLight, 1); }
  TMMDisplayFeed* Spectrum(int n) const { return Display(dkSpectrum, n - 1); }  // 1..4
  TMMDisplayFeed* Spectrogram1() const { return Display(dkSpectrogram, 0); }
  TMMDisplayFeed* Spectrogram2() const { return Display(dkSpectrogram, 1); }
  void SetLevel1(TMMDisplayFeed* d) { SetDisplay(dkLevel, 0, d); }
  void SetLevel2(TMMDisplayFeed* d) { SetDisplay(dkLevel, 1, d); }
  void SetMeter1(TMMDisplayFeed* d) { SetDisplay(dkMeter, 0, d); }
  void SetMeter2(TMMDisplayFeed* d) { SetDisplay(dkMeter, 1, d); }
  void SetOscope1(TMMDisplayFeed* d) { SetDisplay(dkOscope, 0, d); }
  void SetOscope2(TMMDisplayFeed* d) { SetDisplay(dkOscope, 1, d); }
  void SetLight1(TMMDisplayFeed* d) { SetDisplay(dkLight, 0, d); }
  void SetLight2(TMMDisplayFeed* d) { SetDisplay(dkLight, 1, d); }
  void SetSpectrum(int n, TMMDisplayFeed* d) { SetDisplay(dkSpectrum, n - 1, d); }
  void SetSpectrogram1(TMMDisplayFeed* d) { SetDisplay(dkSpectrogram, 0, d); }
  void SetSpectrogram2(TMMDisplayFeed* d) { SetDisplay(dkSpectrogram, 1, d); }

  // Fired after each feeding pass, outside the connector's lock.
  TNotifyEvent OnTrigger;

  // With AutoTrigger off: one feeding pass, at once on the UI thread, posted from elsewhere (at
  // most one in flight).
  void Trigger();

  // Running: started with a format the displays can be fed. Queued: in the paced feed.
  bool Running() const { return running_; }
  bool Queued() const { return queued_; }
  // The PCM format the displays get while running; false when not running.
  bool DisplayFormat(WAVEFORMATEX& format) const;
  int64_t BlocksFed(TMMDisplayKind kind) const;

  void SetWaveFormat(const WAVEFORMATEX* format) override;
  void ChainStart() override;
  void ChainPause() override;
  void ChainRestart() override;
  void ChainStop() override;
  void ChainReset() override;
  void BufferReady(PWaveHdr lpWaveHdr) override;
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;

  std::string ClassName() const override { return "TMMConnector"; }

  // One step of the paced feed: every queued, automatically fed connector hands over the blocks
  // that have come due, a feeding pass at a time. The feed timer calls it on the UI thread.
  static void Step();
  // When the paced feed next has a block to hand over, on the feed timer's clock; INT64_MAX when
  // it has none.
  int64_t NextDue() const;

protected:
  void Notification(TComponent* c, TOperation op) override;
  void SetDesigning(bool designing) override;

private:
  struct Kind {
    std::array<TMMDisplayFeed*, kMaxDisplaySlots> displays{};
    std::array<TComponent*, kMaxDisplaySlots> watched{};
    bool pending = false;
    int32_t offset = 0;
    // Spectrograms move on each by itself.
    std::array<int32_t, kMaxDisplaySlots> slotOffset{};
    std::array<bool, kMaxDisplaySlots> slotDone{};
    int64_t blocks = 0;
    bool Assigned() const;
  };
  static void WindowMessage(uint32_t msg, uint64_t serial);

  bool DisplayableFormat(WAVEFORMATEX& out) const;
  void GiveFormat(const WAVEFORMATEX* format);
  void ResetDisplays();
  std::vector<TMMDisplayFeed*> AssignedDisplays() const;
  void Take(const char* data, int32_t bytes);
  void MarkPendingLocked();
  void FillSilenceLocked(bool wholeBuffer);
  // One feeding pass under the lock: false when feeding is off; fed tells whether any block was
  // handed over.
  bool FeedLocked(bool& fed);
  // One pass, then OnTrigger; true when a block was handed over.
  bool FeedAndNotify();
  int64_t NextDueLocked() const;
  // The block size of a kind (its largest display's) and the display that sets it.
  static int32_t KindBlock(const Kind& k, TMMDisplayFeed*& chosen);
  int64_t DueAtLocked(int32_t offset) const;
  bool FeedKindLocked(Kind& k, TMMDisplayKind kind, int64_t elapsedUs);
  bool FeedSpectrogramsLocked(Kind& k, int64_t elapsedUs);
  bool DueLocked(int32_t offset, int64_t elapsedUs) const;
  void PostEnter();
  void Enter();
  void Leave();
  void FeedOnceMessage();
  void JoinList();
  void LeaveList();
  static void PauseTick(TMMTimerClient* client, void* data);
  void RemovePauseClient();
  void Watch(TMMDisplayFeed* d, TComponent*& slotWatch);
  void Unwatch(TComponent* c);

  mutable std::recursive_mutex lock_;
  std::atomic<bool> enabled_{true};
  std::atomic<bool> autoConvert_{true};
  std::atomic<bool> autoTrigger_{true};
  std::atomic<bool> synchronize_{true};
  std::atomic<int32_t> speed_{5000};
  std::atomic<TMMTriggerMode> triggerMode_{TMMTriggerMode::tmNone};
  std::atomic<int32_t> triggerLevel_{0};
  std::atomic<bool> refreshOnStop_{true};
  std::atomic<bool> realTime_{true};

  std::atomic<bool> running_{false};
  std::atomic<bool> queued_{false};
  bool counted_ = false;  // in the shared count of automatically fed connectors (UI thread)
  std::atomic<bool> paused_{false};
  bool listed_ = false;
  WAVEFORMATEX displayFormat_{};
  TMMACMConverter* converter_ = nullptr;
  std::vector<uint8_t> displayBuffer_;
  uint8_t* feedData_ = nullptr;  // the display buffer or the conversion's output
  int32_t feedCapacity_ = 0;
  int32_t dataBytes_ = 0;
  uint8_t silence_ = 0;
  int64_t arrivalUs_ = 0;
  std::array<Kind, kDisplayKinds> kinds_;
  TMMTimerClient* pauseClient_ = nullptr;  // UI thread
  std::atomic<int> inFlight_{0};
};
