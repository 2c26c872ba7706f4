#pragma once
// Pictures in a QImage are fine to speak of in a comment.
#include "platform/system/clock.h"
class TBitmap {
  QImage image_;
};
