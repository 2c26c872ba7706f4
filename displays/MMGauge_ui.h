#pragma once
// The gauge: a progress value as a whole percent, drawn as a bar, a pie, a needle or text only,
// with an optional percent text.
#include <memory>
#include <string>

#include "displays/MMGauge.h"
#include "engine/MMObjUI.h"

class TMMCustomGauge : public TMMGraphicControl {
public:
  explicit TMMCustomGauge(TComponent* owner);

  TMMGaugeKind Kind() const { return kind_; }
  void SetKind(TMMGaugeKind k) { Set(kind_, k); }
  bool ShowText() const { return showText_; }
  void SetShowText(bool v) { Set(showText_, v); }
  TColor ForeColor() const { return foreColor_; }
  void SetForeColor(TColor c) { Set(foreColor_, c); }
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor c) { Set(backColor_, c); }
  int32_t MinValue() const { return minValue_; }
  void SetMinValue(int32_t v);  // -2147483647 .. MaxValue
  int32_t MaxValue() const { return maxValue_; }
  void SetMaxValue(int32_t v);  // MinValue .. 2147483647
  int32_t Progress() const { return progress_; }
  // Clamped to the range; repaints only when the percent changes.
  void SetProgress(int32_t v);
  bool BWText() const { return bwText_; }
  void SetBWText(bool v) { Set(bwText_, v); }
  int PercentDone() const { return GaugePercent(progress_, minValue_, maxValue_); }

  std::string ClassName() const override { return "TMMCustomGauge"; }

protected:
  void Paint() override;
  void TextChanged() override { Invalidate(); }

private:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Invalidate();
  }
  void DrawGauge(TCanvas& c, int w, int h, int pct);
  void DrawGaugeText(plat::TBitmap& picture, int w, int h, int pct);

  TMMGaugeKind kind_ = gkHorizontalBar;
  bool showText_ = true;
  TColor foreColor_ = plat::clActiveCaption, backColor_ = plat::clWhite;
  int32_t minValue_ = 0, maxValue_ = 100, progress_ = 0;
  bool bwText_ = false;
};

class TMMGauge : public TMMCustomGauge {
public:
  explicit TMMGauge(TComponent* owner) : TMMCustomGauge(owner) {}
  std::string ClassName() const override { return "TMMGauge"; }
};
