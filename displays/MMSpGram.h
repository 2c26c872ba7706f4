#pragma once
// What the spectrogram computes without the GUI framework: the level of each bin, the map from
// pixel rows to bins, one pixel column of palette indices per block (plain or embossed), the eight
// palettes and the sweep that places the columns. Qt-free.
#include <cstdint>
#include <vector>

#include "displays/MMDIBCv.h"
#include "displays/MMOscope.h"
#include "displays/MMSpectr.h"
#include "engine/MMObj.h"

MM_EXCEPTION(EMMSpectrogramError)

enum TMMSpectrogramGain { sgrNone, sgr6db, sgr12db };
enum TMMSpectrogramPalette { spHSV, spThreshold, spBlackWhite, spWhiteBlack, spBone, spCopper, spCool, spHot };

// The palette range of the picture: the entries between the static colours.
constexpr int kSpgFirstIndex = 10, kSpgLastIndex = 245;
constexpr int kSpgEmbossedZero = 118;

// The 256 entries of a palette: black outside 10..245.
TLogPalette SpectrogramPalette(TMMSpectrogramPalette type);

struct TMMSpectrogramSetup {
  int height = 4;  // rows
  int fftLength = 128;
  int sampleRate = 11025;
  int frequencyScale = 1;
  int frequencyBase = 0;
};

class TMMSpectrogramModel {
public:
  TMMSpectrogramModel();

  // The rows' first and end bins; the base frequency is clamped here.
  void BuildRows(const TMMSpectrogramSetup& s);
  // Bin levels of the (re, im) pairs of one transform.
  void ComputeLevels(const int16_t* bins, int count, bool logAmp, double amplitudeScale, int sensitivity);
  // The palette indices of one column, row 0 at the bottom; embossed columns show the change from
  // the previous column.
  const std::vector<uint8_t>& ComputeColumn(bool embossed);
  // Forgets the previous column of the embossed picture.
  void ClearHistory();

  int Rows() const { return h_; }
  double BaseFrequency() const { return f0_; }
  const std::vector<int32_t>& FirstBins() const { return first_; }
  const std::vector<int32_t>& EndBins() const { return end_; }
  int32_t Level(int bin) const { return levels_[size_t(bin)]; }
  const std::vector<uint8_t>& Column() const { return column_; }
  // The frequency of row r (0 at the bottom) as the readout shows it.
  double RowFrequency(int r, int sampleRate, int frequencyScale) const;

private:
  int h_ = 4, bins_ = 64;
  double f0_ = 0.0;
  std::vector<int32_t> first_, end_;
  std::vector<int32_t> levels_;
  std::vector<int32_t> previous_;  // per row: the level of the last column
  std::vector<uint8_t> column_;
};
