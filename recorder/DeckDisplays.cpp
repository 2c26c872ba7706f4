#include "recorder/DeckDisplays.h"

#include <algorithm>
#include <cmath>
#include <string>

using namespace plat;

namespace {
constexpr int kThumbWidth = 11;
constexpr double kFloorDb = -60.0;

void Call(const TNotifyEvent& e, TObject* sender) {
  if (e) e(sender);
}
}  // namespace

double LevelFraction(int32_t peak, int gainDb) {
  if (peak <= 0) return 0.0;
  double db = 20.0 * std::log10(double(peak) / 32768.0) + gainDb;
  if (db <= kFloorDb) return 0.0;
  return std::min(1.0, (db - kFloorDb) / -kFloorDb);
}

// ---- the feed ---------------------------------------------------------------------------------

void TDeckLevelFeed::SetWaveFormat(const WAVEFORMATEX* format) {
  if (!format || format->nChannels < 1 || format->nChannels > 2 ||
      (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) || format->nSamplesPerSec == 0)
    return;
  channels_ = format->nChannels;
  bits_ = format->wBitsPerSample;
  int32_t align = channels_ * bits_ / 8;
  blockBytes_ = std::max<int32_t>(1, int32_t(format->nSamplesPerSec / 50)) * align;
}

void TDeckLevelFeed::FeedPCM(const void* block) {
  if (blockBytes_ <= 0) return;
  int32_t frames = blockBytes_ / (channels_ * bits_ / 8);
  int32_t peak = 0;
  for (int32_t f = 0; f < frames; ++f)
    for (int ch = 0; ch < channels_; ++ch) {
      if (channels_ == 2 && Channel != chBoth && ch != (Channel == chLeft ? 0 : 1)) continue;
      int32_t v;
      if (bits_ == 8) {
        v = (int32_t(static_cast<const uint8_t*>(block)[f * channels_ + ch]) - 128) * 256;
      } else {
        const uint8_t* p = static_cast<const uint8_t*>(block) + 2 * (f * channels_ + ch);
        v = int16_t(uint16_t(p[0] | (p[1] << 8)));
      }
      peak = std::max(peak, v < 0 ? -v : v);
    }
  TakePeak(peak);
}

// ---- slider -------------------------------------------------------------------------------------

TDeckSlider::TDeckSlider(TComponent* owner) : TCustomControl(owner) {
  SetColor(clBtnFace);
  SetParentColor(false);
}

void TDeckSlider::SetRange(int32_t minValue, int32_t maxValue) {
  if (maxValue < minValue) maxValue = minValue;
  if (minValue == min_ && maxValue == max_) return;
  min_ = minValue;
  max_ = maxValue;
  Invalidate();
  if (pos_ < min_ || pos_ > max_)
    SetPosition(std::clamp(pos_, min_, max_));
}

void TDeckSlider::SetPosition(int32_t v) {
  v = std::clamp(v, min_, max_);
  if (v == pos_) return;
  pos_ = v;
  Invalidate();
  Call(OnChange, this);
}

void TDeckSlider::SetEnabled(bool v) {
  if (!v) dragging_ = false;
  TCustomControl::SetEnabled(v);
  Invalidate();
}

TRect TDeckSlider::Groove() const {
  int mid = Height() / 2;
  return Rect(kThumbWidth / 2 + 2, mid - 3, Width() - kThumbWidth / 2 - 2, mid + 3);
}

int32_t TDeckSlider::ValueAt(int x) const {
  TRect g = Groove();
  int span = std::max(1, g.Width());
  double f = std::clamp(double(x - g.Left) / span, 0.0, 1.0);
  return min_ + int32_t(std::llround(f * double(int64_t(max_) - min_)));
}

void TDeckSlider::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  c.Brush()->SetColor(Color());
  c.FillRect(r);
  TRect g = Groove();
  c.Brush()->SetColor(Enabled() ? clBlack : clGray);
  c.FillRect(g);
  TRect edge = g;
  c.DrawEdge(edge, EDGE_SUNKEN, BF_RECT);
  int64_t span = int64_t(max_) - min_;
  double f = span > 0 ? double(int64_t(pos_) - min_) / double(span) : 0.0;
  if (span > 0 && Enabled()) {
    TRect played = g;
    played.Right = g.Left + int(f * g.Width());
    played.Top += 2;
    played.Bottom -= 2;
    played.Left += 2;
    c.Brush()->SetColor(clTeal);
    if (played.Right > played.Left) c.FillRect(played);
  }
  int x = g.Left + int(f * g.Width());
  TRect thumb = Rect(x - kThumbWidth / 2, 2, x - kThumbWidth / 2 + kThumbWidth, Height() - 2);
  c.Brush()->SetColor(Enabled() ? clBtnFace : clSilver);
  c.FillRect(thumb);
  c.DrawEdge(thumb, EDGE_RAISED, BF_RECT);
}

void TDeckSlider::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  TCustomControl::MouseDown(b, s, x, y);
  if (b != mbLeft || !Enabled()) return;
  dragging_ = true;
  SetPosition(ValueAt(x));
  Call(OnTrack, this);
}

void TDeckSlider::MouseMove(TShiftState s, int x, int y) {
  TCustomControl::MouseMove(s, x, y);
  if (!dragging_) return;
  SetPosition(ValueAt(x));
  Call(OnTrack, this);
}

void TDeckSlider::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  TCustomControl::MouseUp(b, s, x, y);
  if (b != mbLeft || !dragging_) return;
  dragging_ = false;
  SetPosition(ValueAt(x));
  Call(OnTrackEnd, this);
}

// ---- level bars ---------------------------------------------------------------------------------

TDeckLevel::TDeckLevel(TComponent* owner) : TGraphicControl(owner) {}

void TDeckLevel::SetGain(int db) {
  db = std::clamp(db, 0, 25);
  if (db == gain_) return;
  gain_ = db;
  Invalidate();
}

void TDeckLevel::SetLevel(int32_t peak) {
  peak = std::clamp<int32_t>(peak, 0, 32768);
  level_ = peak;
  peak_ = std::max(peak_, peak);
  Invalidate();
  if (LevelFraction(peak, gain_) >= 1.0) Call(OnGainOverflow, this);
}

void TDeckLevel::ResetData() {
  level_ = peak_ = 0;
  Invalidate();
}

void TDeckLevel::SetEnabled(bool v) {
  TGraphicControl::SetEnabled(v);
  Invalidate();
}

void TDeckLevel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  c.Brush()->SetColor(clBlack);
  c.FillRect(r);
  constexpr int kSegment = 5;
  int segments = std::max(1, (r.Width() - 2) / kSegment);
  int lit = Enabled() ? int(LevelFraction(level_, gain_) * segments + 0.5) : 0;
  int peakAt = Enabled() ? int(LevelFraction(peak_, gain_) * segments + 0.5) - 1 : -1;
  for (int i = 0; i < segments; ++i) {
    double f = double(i) / segments;
    TColor on = f < 0.7 ? clLime : f < 0.9 ? clYellow : clRed;
    TColor off = f < 0.7 ? TColor(0x003000) : f < 0.9 ? TColor(0x003030) : TColor(0x000030);
    c.Brush()->SetColor(i < lit || i == peakAt ? on : off);
    c.FillRect(Rect(1 + i * kSegment, 2, i * kSegment + kSegment, r.Bottom - 2));
  }
}

TDeckLevelScale::TDeckLevelScale(TComponent* owner) : TGraphicControl(owner) {}

void TDeckLevelScale::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  c.Brush()->SetColor(clBlack);
  c.FillRect(r);
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-9);
  c.Font()->SetColor(clSilver);
  c.SetBkMode(TRANSPARENT);
  c.Pen()->SetColor(clSilver);
  for (int db : {-60, -50, -40, -30, -20, -10, -6, -3, 0}) {
    double f = (db - kFloorDb) / -kFloorDb;
    int x = 1 + int(f * (r.Width() - 3));
    c.MoveTo(x, 0);
    c.LineTo(x, 3);
    std::string t = std::to_string(db);
    int w = c.TextWidth(t);
    c.TextOut(std::clamp(x - w / 2, 0, r.Width() - w), 3, t);
  }
}

// ---- needle meter -------------------------------------------------------------------------------

TDeckMeter::TDeckMeter(TComponent* owner) : TGraphicControl(owner) {}

void TDeckMeter::SetGain(int db) {
  db = std::clamp(db, 0, 25);
  if (db == gain_) return;
  gain_ = db;
  Invalidate();
}

void TDeckMeter::SetLevel(int32_t peak) {
  level_ = std::clamp<int32_t>(peak, 0, 32768);
  Invalidate();
  if (LevelFraction(level_, gain_) >= 1.0) Call(OnGainOverflow, this);
}

void TDeckMeter::ResetData() {
  level_ = 0;
  Invalidate();
}

void TDeckMeter::SetEnabled(bool v) {
  TGraphicControl::SetEnabled(v);
  Invalidate();
}

void TDeckMeter::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  c.Brush()->SetColor(TColor(0x9CE6F5));  // the warm face of a dial
  c.FillRect(r);
  TRect frame = r;
  c.DrawEdge(frame, EDGE_SUNKEN, BF_RECT);
  const double cx = r.Width() / 2.0, cy = r.Height() - 8.0;
  const double radius = std::min(cx - 10.0, cy - 8.0);
  const double kPi = 3.14159265358979;
  auto at = [&](double f, double len) {
    double a = kPi * (0.75 - 0.5 * f);
    return TPoint{int(cx + std::cos(a) * len), int(cy - std::sin(a) * len)};
  };
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-9);
  c.SetBkMode(TRANSPARENT);
  for (int db : {-20, -10, -7, -5, -3, 0, 3}) {
    double f = (db + 20.0) / 23.0;
    c.Pen()->SetColor(db > 0 ? clRed : clBlack);
    TPoint a = at(f, radius), b = at(f, radius - 6);
    c.MoveTo(a.X, a.Y);
    c.LineTo(b.X, b.Y);
    std::string t = db > 0 ? "+" + std::to_string(db) : std::to_string(db);
    TPoint p = at(f, radius + 8);
    c.Font()->SetColor(db > 0 ? clRed : clBlack);
    c.TextOut(p.X - c.TextWidth(t) / 2, p.Y - 6, t);
  }
  c.Font()->SetHeight(-12);
  c.Font()->SetStyle(fsBold);
  c.Font()->SetColor(clBlack);
  std::string name = "VU " + ChannelName;
  c.TextOut(int(cx) - c.TextWidth(name) / 2, int(cy - radius * 0.45), name);
  c.Font()->SetStyle(0);
  // The dial shows -20..+3 dB; the bar's -60..0 dB fraction is mapped onto it.
  double f = 0.0;
  if (Enabled() && level_ > 0) {
    double db = 20.0 * std::log10(double(level_) / 32768.0) + gain_ + 3.0;
    f = std::clamp((db + 20.0) / 23.0, 0.0, 1.0);
  }
  c.Pen()->SetColor(clBlack);
  c.Pen()->SetWidth(2);
  TPoint tip = at(f, radius - 2);
  c.MoveTo(int(cx), int(cy));
  c.LineTo(tip.X, tip.Y);
  c.Pen()->SetWidth(1);
}
