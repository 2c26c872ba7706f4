#pragma once
// What the spectrum analyser computes and draws into its picture, without the GUI framework: the
// front end that the light, the spectrum analyser and the spectrogram share (samples of a block,
// pre-filter, window, transform, 16-bit bins), the per-bin smoothing, the column map of the
// frequency axis, the amplitude tables, the bars with their peak marks and the drawing of each
// kind. Qt-free.
//
// The peak marks are the only state another thread touches: the shared 25 ms timer's thread lets
// them fall while the UI thread raises them (each mark and its counter in one atomic word). The
// bar arrays themselves are replaced only while the timer client is suspended.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "displays/MMDIBCv.h"
#include "displays/MMFFT.h"
#include "displays/MMLevel.h"
#include "engine/MMObj.h"

MM_EXCEPTION(EMMSpectrumError)

enum TMMSpectrumGain { sgNone, sg3db, sg6db, sg9db, sg12db };
enum TMMSpectrumKind { skDots, skLines, skVLines, skBars, skPeaks, skScroll };

constexpr int kMaxFFTLength = 4096;
constexpr int kMaxFFTBins = kMaxFFTLength / 2;

// Clamped to lo..4096 and rounded down to a power of two.
int ClampFFTLength(int n, int lo = 8);
// log2 of a power of two.
int FFTOrderOf(int n);

// The layout of the audio a spectrum display is fed.
struct TMMFFTShape {
  bool bits16 = false;
  int channels = 1;
  TMMChannel channel = chBoth;
};

// One transform length with its FFT object and window table.
class TMMFFTStage {
public:
  TMMFFTStage();
  ~TMMFFTStage();
  TMMFFTStage(const TMMFFTStage&) = delete;
  TMMFFTStage& operator=(const TMMFFTStage&) = delete;

  // n: a power of two from 8 to 4096.
  void SetLength(int n);
  int Length() const { return length_; }
  void SetWindow(TMMFFTWindow w);
  TMMFFTWindow Window() const { return window_; }
  int32_t WindowWeight(int i) const { return table_[size_t(i)]; }

  // Transforms the Length() frames of a block into Length()/2 (re, im) pairs of 16-bit values:
  // a sample per frame (mono, the chosen channel, or the two channels averaged), a pre-filter of
  // diff differences (0, 1 or 2; the samples before the block equal its first), the window in
  // integer arithmetic, the FFT, each output divided by Length()/2 and truncated. Outputs beyond
  // the 16-bit range saturate. Returns how many samples stood at the top of the range: 255, 32767,
  // or avgTop for a 16-bit two-channel average.
  int Transform(const void* block, const TMMFFTShape& shape, int diff, int32_t avgTop, int16_t* bins) const;

private:
  PMMFFTObject fft_ = nullptr;
  int length_ = 0;
  TMMFFTWindow window_ = fwHamming;
  std::vector<int32_t> table_;
};

// The level bar's smoothing, one value per bin: a held value and a running sum per bin, a ring
// of up to 32 frames.
class TMMBinDecay {
public:
  // The factor and the ring length of TMMDecay for decay 1..16; a new object keeps 0.0001 and 1.
  void SetDecay(int decay);
  void Clear();
  // spectrumRule: a value at or above the held one replaces it and the held value is rounded
  // (the spectrum analyser); otherwise only a greater value replaces it and the held value is
  // truncated (the level bar's rule).
  void Apply(TMMDecayMode mode, int32_t* v, int count, bool spectrumRule);
  double Factor() const { return factor_; }
  int RingLength() const { return n_; }

private:
  void Size(int count);
  double factor_ = 0.0001;
  int n_ = 1;
  int fill_ = 0, index_ = 0;
  std::vector<double> held_;
  std::vector<int64_t> sum_;
  std::vector<std::vector<int32_t>> ring_;
};

// What the column map, the amplitude tables and the spot geometry are built from.
struct TMMSpectrumSetup {
  int width = 4, height = 4;  // W and H of the display
  int fftLength = 128;
  int sampleRate = 11025;
  bool logFreq = false, logAmp = false;
  int verticalScale = 100;
  int refFreq = 1000;
  TMMSpectrumGain gain = sgNone;
  int frequencyScale = 1;
  TMMSpectrumKind kind = skBars;
  int spotHeight = 1, spotSpace = 1;
  int point1 = 50, point2 = 85;
};

struct TMMSpectrumBar {
  int xFrom = 0, xTo = 0;
  int32_t height = 0;  // pixels
  int32_t value = 0;   // what is drawn: spots for bars and peak spots, pixels otherwise
  int bin = 0;         // the bin that gave the height
};

// The colours of a drawing, as colour words of the target.
struct TMMSpectrumLook {
  uint32_t bar[3] = {};
  uint32_t inactive[3] = {};
  uint32_t grid = 0;
  uint32_t background = 0;
  bool activeDoted = false, inactiveDoted = false;
  bool enabled = true;
  bool drawGrid = false;
  int space = 1;
  int numPeaks = 1;
};

using TMMSpectrumXScale = std::function<void(std::vector<int32_t>& first, std::vector<int32_t>& end)>;

class TMMSpectrumModel {
public:
  TMMSpectrumModel();

  // ---- building ----
  // The column map (F0 normalised first), then the amplitude tables. xScale, when given, fills
  // the first-bin and end-bin arrays instead.
  void BuildColumns(const TMMSpectrumSetup& s, const TMMSpectrumXScale& xScale = {});
  void BuildAmplitude(const TMMSpectrumSetup& s);
  void BuildSpots(const TMMSpectrumSetup& s);

  // ---- feeding ----
  // Bin values of the 16-bit (re, im) pairs of one transform.
  void ComputeBins(const int16_t* bins, int count, bool logAmp, TMMDecayMode mode);
  // Heights of the bars from the bin values; fires onGainOverflow once per bar at or above H.
  void ComputeBars(bool logAmp, TMMDecayMode mode, const std::function<void()>& onGainOverflow);
  // What each bar shows for its kind (spots, or pixels with pixelBars), and the peak marks raised
  // to it (bars, peak spots and lines, with numPeaks at least 1).
  void UpdateValues(TMMSpectrumKind kind, bool pixelBars, int numPeaks, int peakDelay);
  void ClearBars();
  void ClearBins();
  TMMBinDecay& Decay() { return decay_; }

  // ---- the shared timer's tick ----
  void PeakTick();
  void SetPeakSpeed(int v) { peakSpeed_.store(v); }
  void SetPeaksOn(bool v) { peaksOn_.store(v); }
  void SetFrozen(bool v) { frozen_.store(v); }
  bool Frozen() const { return frozen_.load(); }

  // ---- drawing ----
  // Grid, then the bars in the manner of kind. The background is already there.
  void Draw(TMMDIBTarget& t, TMMSpectrumKind kind, const TMMSpectrumLook& look) const;
  // Every bar at its full spot count in the inactive colours, on the background colour.
  void DrawInactive(TMMDIBTarget& t, const TMMSpectrumLook& look) const;
  // The waterfall of skScroll: the picture moves down two rows, the top two take background.
  static void ScrollDown(TMMDIBTarget& t, uint32_t background);

  // ---- state ----
  int Width() const { return w_; }
  int Height() const { return h_; }
  double F0() const { return f0_; }
  const std::vector<int32_t>& FirstBins() const { return first_; }
  const std::vector<int32_t>& EndBins() const { return end_; }
  const std::vector<int32_t>& Multipliers() const { return mult_; }
  int Shift() const { return shift_; }
  double PixelScale() const { return pixelScale_; }
  int32_t Correction(int bin) const { return corr_[size_t(bin)]; }
  int32_t BinValue(int bin) const { return values_[size_t(bin)]; }
  int32_t* BinValues() { return values_.data(); }
  const std::vector<TMMSpectrumBar>& Bars() const { return bars_; }
  int32_t Peak(int bar) const { return peaks_[size_t(bar)].Peak(); }
  int32_t Hold(int bar) const { return peaks_[size_t(bar)].Hold(); }
  int Spots() const { return spots_; }
  int SpotOffset() const { return spotOffset_; }
  int Threshold1() const { return t1_; }
  int Threshold2() const { return t2_; }
  // The strongest bar of the last ComputeBars: height, bin and column (-1 when none).
  int32_t StrongestHeight() const { return strongHeight_; }
  int StrongestBin() const { return strongBin_; }
  int StrongestColumn() const { return strongColumn_; }
  void ClearStrongest();
  // The frequency the strongest bar stands for.
  double StrongestFrequency(bool logFreq, int sampleRate, int fftLength) const;

  // Rows of the grid lines and columns of its vertical lines.
  static std::vector<int> GridRows(int h, bool logAmp);
  static std::vector<int> GridColumns(int w);

private:
  void DrawBarSpots(TMMDIBTarget& t, int xFrom, int xTo, int from, int to, const uint32_t* colors, bool dotted,
                    int space) const;
  uint32_t SpotColor(int k, const uint32_t* colors) const;

  int w_ = 4, h_ = 4, fftLength_ = 128, bins_ = 64;
  double f0_ = 1.0;
  std::vector<int32_t> first_, end_, mult_;
  int shift_ = 0;
  double pixelScale_ = 0.0;
  std::vector<int32_t> corr_;
  std::vector<int32_t> values_;
  TMMBinDecay decay_;
  std::vector<TMMSpectrumBar> bars_;
  std::unique_ptr<TMMPeakHold[]> peaks_;
  int spots_ = 1, spotOffset_ = 0, spotHeight_ = 1, spotSpace_ = 1;
  int t1_ = 0, t2_ = 0;
  int32_t strongHeight_ = 0;
  int strongBin_ = -1, strongColumn_ = -1;
  std::atomic<int> peakSpeed_{0};
  std::atomic<bool> peaksOn_{true};
  std::atomic<bool> frozen_{false};
};

// Text of the frequency scale and of the cursor readout.
double SpectrumColumnFrequency(int x, int w, bool logFreq, double f0, int sampleRate, int fftLength,
                               int frequencyScale);
