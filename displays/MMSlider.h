#pragma once
// The slider's arithmetic without a window: the logarithmic mapping between the value the program
// sets and the stored (linear) position, the key steps, the pointer-to-position rules and where
// groove, thumb and scale rows lie. Qt-free; the control is in MMSlider_ui.h.
//
// Ranges are cart lengths in milliseconds, so every product of a position and a length in pixels
// is taken in 64 bits.
#include <cstdint>
#include <vector>

#include "displays/MMDIBCv.h"
#include "displays/MMScale.h"

enum TMMOrientation { orVertical, orHorizontal };
enum TMMFocusAction { faNone, faFocusThumb, faFocusRect, faFocusColor, faAll };
enum TMMThumbStyle { tsRect, tsOwnerDraw };
enum TMMGrooveStyle { gsRect, gsOwnerDraw };

// The value/position mapping. R = max - min, S = -sensitivity.
struct TMMSliderMapping {
  int32_t minValue = 0, maxValue = 10;
  bool logarithmic = false;
  int sensitivity = -24;
  int64_t Range() const { return int64_t(maxValue) - minValue; }
  int32_t Clamp(int64_t v) const;
  // A value to a stored position. A logarithmic slider takes a value of 0 or below as 0.
  int32_t ToStored(int32_t value) const;
  // A stored position to the value it stands for.
  int32_t ToValue(int32_t stored) const;
};

enum TMMSliderKey { skNone, skPageUp, skPageDown, skEnd, skHome, skLeft, skRight, skUp, skDown };
// The stored position a key asks for; false for a key the slider does not handle.
bool SliderKeyTarget(TMMSliderKey key, int32_t p, const TMMSliderMapping& m, int lineSize, int pageSize,
                     bool horizontal, int32_t& target);

struct TMMSliderLayout {
  int width = 200, height = 40;
  int bevelExtent = 0;
  bool horizontal = true;
  int picFirst = 0, picLast = 0;  // lengths along the slider of the end pictures (left/top, right/bottom)
  int thumbWidth = 11, thumbHeight = 23;
  int grooveSize = 3;
  int grooveBevel = 1;  // the groove bevel's extent
  bool scaleVisible = false;
  TMMScalePos scalePos = spBelowOrRight;
  int scaleDistance = 10;
  int scaleHeight = 8;
};

struct TMMSliderParts {
  TDIBRect inner;              // the control less its bevel
  TDIBRect picFirst, picLast;  // the end areas
  TDIBRect track;              // the inner rectangle less the end pictures
  TDIBRect groove;             // drawn: the track inset by half a thumb at each end, its bevel included
  int travel = 0;              // U: the track's length less the thumb's
  std::vector<std::pair<TDIBRect, bool>> rows;  // scale rows and whether each lies on the first side
};
TMMSliderParts SliderParts(const TMMSliderLayout& l);
// The thumb at stored position p.
TDIBRect SliderThumb(const TMMSliderLayout& l, const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t p);
// The pixels from the track's start (bottom for a vertical slider) to the thumb.
int SliderThumbOffset(const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t p);
// The stored position under the pointer; false when the slider has no travel.
bool SliderPointToPosition(const TMMSliderLayout& l, const TMMSliderParts& parts, const TMMSliderMapping& m, int x,
                           int y, int32_t& position);
// The stored position after dragging delta pixels (towards the maximum) from start; false without
// travel.
bool SliderDragPosition(const TMMSliderParts& parts, const TMMSliderMapping& m, int32_t start, int delta,
                        int32_t& position);
