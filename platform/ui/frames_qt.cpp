#include "platform/ui/frames.h"

#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/system/clock.h"
#include "platform/ui/widgets_qt.h"

namespace plat {
namespace {

class ScreenClock : public TFrameClock {
public:
  ScreenClock() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      std::function<void()> tick = std::move(tick_);
      tick_ = nullptr;
      if (tick) tick();
    });
  }
  int64_t NowMicroseconds() override { return MicroSeconds(); }
  int64_t FrameMicroseconds() override {
    const QScreen* s = QGuiApplication::primaryScreen();
    double hz = s ? s->refreshRate() : 0.0;
    if (!(hz >= 20.0 && hz <= 500.0)) hz = 60.0;
    return std::llround(1e6 / hz);
  }
  void CallAt(int64_t atUs, std::function<void()> tick) override {
    tick_ = std::move(tick);
    // Whole milliseconds, rounded up: a frame never comes early.
    const int64_t wait = std::max<int64_t>(atUs - NowMicroseconds(), 0);
    timer_.start(int(std::min<int64_t>((wait + 999) / 1000, 1000000)));
  }

private:
  QTimer timer_;
  std::function<void()> tick_;
};

struct Waiting {
  QPointer<QWidget> widget;
  QRect part;  // empty: the whole widget; else what changed, all of it within
};

struct Pacer {
  TFrameClock* clock = nullptr;
  int64_t lastFrame = INT64_MIN / 4;
  bool armed = false;
  std::vector<Waiting> waiting;
};

Pacer& P() {
  static Pacer p;
  return p;
}

int64_t Period(const Pacer& p) { return p.clock ? p.clock->FrameMicroseconds() : 0; }

void ShowFrame();

void Show(QWidget* w, const QRect& part) {
  if (part.isEmpty()) {
    CanvasDue(w, nullptr);
    w->update();
    return;
  }
  QRect shown = part;
  CanvasDue(w, &shown);
  if (!shown.isEmpty()) w->update(shown);
}

void ShowWaiting() {
  std::vector<Waiting> waiting;
  waiting.swap(P().waiting);
  for (const Waiting& x : waiting)
    if (x.widget) Show(x.widget, x.part);
}

void Wait(QWidget* w, const QRect& part) {
  Pacer& p = P();
  const int64_t period = Period(p);
  if (period <= 0) {
    Show(w, part);
    return;
  }
  std::erase_if(p.waiting, [](const Waiting& x) { return x.widget.isNull(); });
  auto it = std::find_if(p.waiting.begin(), p.waiting.end(), [w](const Waiting& x) { return x.widget == w; });
  if (it == p.waiting.end()) p.waiting.push_back({w, part});
  else if (!it->part.isEmpty()) it->part = part.isEmpty() ? QRect() : it->part.united(part);
  if (p.armed) return;
  p.armed = true;
  p.clock->CallAt(std::max(p.clock->NowMicroseconds(), p.lastFrame + period), ShowFrame);
}

void ShowFrame() {
  Pacer& p = P();
  p.armed = false;
  if (p.clock) p.lastFrame = p.clock->NowMicroseconds();
  ShowWaiting();
}

}  // namespace

void SetFrameClock(TFrameClock* clock) {
  Pacer& p = P();
  p.clock = clock;
  p.armed = false;
  p.lastFrame = INT64_MIN / 4;
  ShowWaiting();
}

TFrameClock* FrameClock() { return P().clock; }

void SendPicturesOverTheConnection() {
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

TFrameClock* ScreenFrameClock() {
  static ScreenClock* c = new ScreenClock;  // lives on the UI thread for the process
  return c;
}

int64_t FramePeriod() { return std::max<int64_t>(Period(P()), 0); }

int64_t NextFrameAt(int64_t us) {
  const Pacer& p = P();
  const int64_t period = Period(p);
  return period > 0 ? std::max(us, p.lastFrame + period) : us;
}

void RequestFrame(QWidget* w) { Wait(w, QRect()); }

void RequestFrame(QWidget* w, const QRect& part) {
  if (!part.isEmpty()) Wait(w, part);
}

}  // namespace plat
