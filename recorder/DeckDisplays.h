#pragma once
// Plain displays the deck uses until the display library's own controls take their place: a
// position slider, a stereo pair of level bars with their dB scale, and a needle meter. They
// offer the parts of those controls' interfaces that the deck uses.
#include <cstdint>

#include "engine/MMConect.h"
#include "platform/ui/controls.h"

// What a level display takes from a connector: the peak of one channel per block of about 20 ms.
class TDeckLevelFeed : public TMMDisplayFeed {
public:
  // chLeft, chRight, or chBoth for the louder of the two.
  TMMChannel Channel = chBoth;
  void SetWaveFormat(const WAVEFORMATEX* format) override;
  void FeedPCM(const void* block) override;
  int32_t BlockBytes() const override { return blockBytes_; }

protected:
  virtual void TakePeak(int32_t peak) = 0;

private:
  int channels_ = 1, bits_ = 16;
  int32_t blockBytes_ = 0;
};

// A horizontal track bar over a range of milliseconds.
class TDeckSlider : public plat::TCustomControl {
public:
  explicit TDeckSlider(plat::TComponent* owner);
  int32_t MinValue() const { return min_; }
  void SetMinValue(int32_t v) { SetRange(v, max_); }
  int32_t MaxValue() const { return max_; }
  void SetMaxValue(int32_t v) { SetRange(min_, v); }
  void SetRange(int32_t minValue, int32_t maxValue);
  int32_t Position() const { return pos_; }
  // Kept within the range; OnChange fires when it moves.
  void SetPosition(int32_t v);
  bool Dragging() const { return dragging_; }
  void SetEnabled(bool v) override;

  plat::TNotifyEvent OnChange;
  plat::TNotifyEvent OnTrack;     // while the thumb is dragged
  plat::TNotifyEvent OnTrackEnd;  // when it is let go
  std::string ClassName() const override { return "TDeckSlider"; }

protected:
  void Paint() override;
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;

private:
  plat::TRect Groove() const;
  int32_t ValueAt(int x) const;
  int32_t min_ = 0, max_ = 100, pos_ = 0;
  bool dragging_ = false;
};

// One channel's level as a horizontal bar in green, yellow and red segments, with a peak mark.
class TDeckLevel : public plat::TGraphicControl, public TDeckLevelFeed {
public:
  explicit TDeckLevel(plat::TComponent* owner);
  // Extra amplification in dB added to what is shown (0..25).
  int Gain() const { return gain_; }
  void SetGain(int db);
  // The level, 0 .. 32768 (full scale); shown after the gain.
  void SetLevel(int32_t peak);
  int32_t Level() const { return level_; }
  // Back to silence.
  void ResetData() override;
  void SetEnabled(bool v) override;
  // Full scale reached.
  plat::TNotifyEvent OnGainOverflow;
  std::string ClassName() const override { return "TDeckLevel"; }

protected:
  void Paint() override;
  void TakePeak(int32_t peak) override { SetLevel(peak); }

private:
  int gain_ = 0;
  int32_t level_ = 0, peak_ = 0;
};

// The dB marks beside the level bars.
class TDeckLevelScale : public plat::TGraphicControl {
public:
  explicit TDeckLevelScale(plat::TComponent* owner);
  std::string ClassName() const override { return "TDeckLevelScale"; }

protected:
  void Paint() override;
};

// A VU-style needle meter for one channel.
class TDeckMeter : public plat::TGraphicControl, public TDeckLevelFeed {
public:
  explicit TDeckMeter(plat::TComponent* owner);
  int Gain() const { return gain_; }
  void SetGain(int db);
  void SetLevel(int32_t peak);
  int32_t Level() const { return level_; }
  void ResetData() override;
  void SetEnabled(bool v) override;
  std::string ChannelName;  // written on the dial
  plat::TNotifyEvent OnGainOverflow;
  std::string ClassName() const override { return "TDeckMeter"; }

protected:
  void Paint() override;
  void TakePeak(int32_t peak) override { SetLevel(peak); }

private:
  int gain_ = 0;
  int32_t level_ = 0;
};

// Position along a bar of a level in dB (-60 .. 0 dB over 0 .. 1); below -60 dB is 0.
double LevelFraction(int32_t peak, int gainDb);
