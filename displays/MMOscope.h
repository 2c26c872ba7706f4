#pragma once
// What the oscilloscope computes and draws into its picture without the GUI framework: the feed
// step, the points of a block (or its extremes in scroll mode), the smoothing, the mapping of a
// point to a row with its overflow tests, the trace of each kind with the highlight effects, the
// grid and the selection with its mouse handling. Qt-free.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "displays/MMDIBCv.h"
#include "engine/MMObj.h"

MM_EXCEPTION(EMMOscopeError)

enum TMMOscopeKind { okDots, okConLines, okVertLines, okMirLines, okSpikes };
enum TMMOscopeEffect { efNone, efPeak, efSplit };

struct TMMScopeShape {
  bool bits16 = false;
  int channels = 1;
  TMMChannel channel = chBoth;
  int Frame() const { return (bits16 ? 2 : 1) * channels; }
};

// Bytes of one display block: fftLength frames in scroll mode, else width points at the zoom.
int32_t ScopeFeedStep(const TMMScopeShape& s, bool scroll, int fftLength, int width, int zoom);

// The points of a block: width points, frame i x zoom for zoom > 0, each frame repeated |zoom| + 1
// times for zoom < 0. 8-bit samples count (s - 128) x 256; chBoth averages the two channels.
// frames: how many frames the block holds; a point past them repeats the last.
void ScopePoints(const void* block, const TMMScopeShape& s, int frames, int width, int zoom, int16_t* points);
// The lowest and highest point of a block of frames.
void ScopeExtremes(const void* block, const TMMScopeShape& s, int frames, int16_t& lo, int16_t& hi);
// Each point becomes (the previous raw point + 3 x the point) / 4, the one before the first 0.
void ScopeLowPass(int16_t* points, int count);

// Where a point lands: the row value y (0 at the bottom) for the kind's span and offset at gain
// g = Gain + 8, with the overflow tests.
struct TMMScopeMap {
  int height = 4;
  int gain = 8;
  TMMOscopeKind kind = okDots;
  int32_t Span() const { return kind == okSpikes ? 32767 : 65535; }
  int32_t Offset() const { return kind == okSpikes ? 0 : 32767; }
  int32_t RowValue(int32_t p) const;
};

struct TMMScopeLook {
  uint32_t foreground = 0, effect = 0, disabled = 0, grid = 0, background = 0;
  uint32_t selection = 0, selectionDot = 0, locator = 0;
  uint32_t bar = 0, barTick = 0;
  TMMOscopeEffect effectMode = efNone;
  int steps = 1;
  bool enabled = true, midLine = false, drawGrid = false;
  int gridDivisions = 10;
  int selStart = -1, selEnd = -1, locatorX = -1;
};

// The effect band of a height: rows values outside lower..upper are picked out.
void ScopeEffectBand(TMMOscopeEffect e, int height, int& lower, int& upper);
// Grid divisions: 10, less 2 while h / divisions < 10 pixels, not below 2.
int ScopeGridDivisions(int h);
// Time divisions: 32, halved while w / divisions < 10 pixels, not below 1.
int ScopeTimeDivisions(int w);

class TMMScopeTrace {
public:
  // Counts of the overflow tests of the last Draw.
  int pcmOverflows = 0, gainOverflows = 0;

  // The normal picture: selection band, mid line and grid, the trace, the selection outline and
  // the locator. The background is already there.
  void Draw(TMMDIBTarget& t, const int16_t* points, int count, const TMMScopeMap& map, const TMMScopeLook& look);
  // One column of the scroll mode from a block's extremes, cleared to the background first.
  void DrawColumn(TMMDIBTarget& t, int x, int16_t lo, int16_t hi, const TMMScopeMap& map, const TMMScopeLook& look);
  // The sweep bar ahead of column x: width columns of bar colour crossed by tick rows.
  static void DrawBar(TMMDIBTarget& t, int x, int width, const TMMScopeLook& look, int gridDivisions);

private:
  int32_t Row(int32_t p, const TMMScopeMap& map, int32_t& y);
};

// A selection of columns: start and end clamped to -1..width, swapped when reversed, both -1
// when empty. True when it changed.
bool SetScopeSelection(int& start, int& end, int newStart, int newEnd, int width);

// The right button's work on a selection.
class TMMSelectionDrag {
public:
  enum TMode { sdNone, sdLeft, sdRight, sdMove, sdNew };
  // A press at column x: which edge or the whole selection it takes, or a new one; the selection
  // as it stands afterwards.
  TMode Press(int x, int& start, int& end, int width, const std::function<void(int, int)>& selecting);
  // Moving to column x.
  void Move(int x, int& start, int& end, int width, const std::function<void(int, int)>& selecting);
  TMode Release();
  TMode Mode() const { return mode_; }
  // The cursor shape over column x: sdLeft/sdRight at an edge, sdMove inside, sdNone elsewhere.
  static TMode HitTest(int x, int start, int end);

private:
  TMode mode_ = sdNone;
  int anchor_ = 0, grabStart_ = 0, grabEnd_ = 0;
};

// Where the next column goes: a sweep from column -barWidth that wraps round at the width, or in
// scroll mode, once the width is full, the last column of a picture that moves left.
class TMMSweep {
public:
  void Restart(int barWidth) {
    column_ = -std::max(barWidth, 0);
    written_ = 0;
  }
  int Column() const { return column_; }
  int Written() const { return written_; }
  bool Full(int width) const { return written_ >= width; }
  // The column a new block is written at; shift is set when the picture must first move left.
  int Place(int width, bool scroll, bool& shift) const;
  // After the block: the sweep moves on.
  void Advance(int width, bool scroll);

private:
  int column_ = 0;
  int written_ = 0;
};

// Moves a rectangle of the picture one pixel left; its last column keeps its pixels.
void ShiftLeft(TMMDIBTarget& t, const TDIBRect& r);

// The readout's texts.
std::string ScopeLevelText(int y, int height, TMMOscopeKind kind);
std::string ScopeTimeText(int column, int width, double blockMs);

// The pixels a label of a scale takes along the scale: start up to, not including, end.
struct TScaleLabelSpan {
  int start = 0, end = 0;
};
// A label of size pixels centred on at, moved inside lo..hi where it would stick out.
TScaleLabelSpan CentredLabelSpan(int at, int size, int lo, int hi);
// Which labels of a scale are drawn, in the order given along it: both end labels (the last
// only where it clears the first), an inner one only where it stays gap pixels clear of every
// label kept.
std::vector<bool> KeepScaleLabels(const std::vector<TScaleLabelSpan>& labels, int gap);
// Moves the labels of a scale apart, keeping their order along it, so that each stays gap pixels
// clear of the next inside lo..hi, each moved only as far as that takes. False, with the labels
// as they were, where they cannot all fit.
bool SpreadScaleLabels(std::vector<TScaleLabelSpan>& labels, int gap, int lo, int hi);
// The start of the place of size pixels nearest hi inside lo..hi that stays gap pixels clear of
// every label; -1 where there is none.
int FreeScaleSpan(const std::vector<TScaleLabelSpan>& labels, int size, int gap, int lo, int hi);
