#include "displays/MMGauge.h"

#include <cmath>
#include <numbers>

int GaugePercent(int32_t progress, int32_t minValue, int32_t maxValue) {
  const int64_t range = int64_t(maxValue) - minValue;
  if (range == 0) return 0;
  return int((int64_t(progress) - minValue) * 100 / range);
}

int GaugeLength(int length, int pct) { return int(int64_t(length) * pct / 100); }

TMMPoint GaugePiePoint(int w, int h, int pct) {
  const double a = (pct / 50.0 + 0.5) * std::numbers::pi;
  return {int(std::nearbyint((1 - std::cos(a)) * (w / 2))), int(std::nearbyint((1 - std::sin(a)) * (h / 2)))};
}

TMMPoint GaugeNeedlePoint(int w, int h, int pct) {
  const double b = pct / 100.0 * std::numbers::pi;
  return {int(std::nearbyint((1 - std::cos(b)) * (w / 2))), int(std::nearbyint((1 - std::sin(b)) * (h - 1)))};
}

std::string GaugeText(const std::string& caption, int pct) {
  if (caption.empty()) return std::to_string(pct) + "%";
  return caption + " " + std::to_string(pct) + "%";
}
