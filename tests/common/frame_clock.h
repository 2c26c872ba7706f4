#pragma once
// A screen whose frames the test brings: the frame clock reads the time the test gives it, and a
// frame asked for comes only when the test fires what has come due.
#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/frames.h"

class ManualFrameClock : public plat::TFrameClock {
public:
  ManualFrameClock(int64_t frameUs, std::function<int64_t()> now) : frame_(frameUs), now_(std::move(now)) {}
  int64_t NowMicroseconds() override { return now_(); }
  int64_t FrameMicroseconds() override { return frame_; }
  void CallAt(int64_t atUs, std::function<void()> tick) override {
    at_ = atUs;
    tick_ = std::move(tick);
  }
  // Shows the frame asked for once its time has come; true when it did.
  bool FireDue() {
    if (!tick_ || now_() < at_) return false;
    std::function<void()> tick = std::move(tick_);
    tick_ = nullptr;
    tick();
    return true;
  }

private:
  int64_t frame_;
  std::function<int64_t()> now_;
  int64_t at_ = 0;
  std::function<void()> tick_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int paints = 0;
  std::vector<QRect> painted;  // each paint's bounding rectangle
  std::function<void()> onPaint;

protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      ++paints;
      painted.push_back(static_cast<QPaintEvent*>(e)->region().boundingRect());
      if (onPaint) onPaint();
    }
    return false;
  }
};
