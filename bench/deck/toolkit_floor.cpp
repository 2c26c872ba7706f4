// What the toolkit alone costs at the deck's pace: a window of the deck's size with two opaque
// widgets of a level bar's size (377 x 41), each showing, once a screen frame, only the part of its
// picture that changed since the last frame, as the deck's bars do, with the pictures sent over
// the X connection as the program sends them. No audio, no feed, no deck: deck_cost's "floor"
// scene runs it beside the deck's scenes, so the cost of painting at the screen's rate with this
// toolkit on this machine stands next to what the deck costs.
//
//   toolkit_floor SECONDS
#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

class Bar : public QWidget {
public:
  explicit Bar(QWidget* parent) : QWidget(parent), picture_(377, 41, QImage::Format_ARGB32_Premultiplied) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(picture_.size());
    picture_.fill(Qt::black);
  }
  // Lights the bar up to x and shows what changed.
  void Show(int x) {
    x = std::clamp(x, 0, picture_.width());
    if (x == lit_) return;
    const int from = std::min(x, lit_), to = std::max(x, lit_);
    QPainter p(&picture_);
    p.fillRect(from, 2, to - from, 37, x > lit_ ? Qt::green : Qt::black);
    lit_ = x;
    update(QRect(from, 0, to - from, picture_.height()));
  }

protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    p.setClipRegion(e->region());
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, picture_);
  }

private:
  QImage picture_;
  int lit_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  QWidget window;
  window.resize(760, 514);
  window.setAutoFillBackground(true);
  Bar left(&window), right(&window);
  left.move(20, 200);
  right.move(20, 270);
  window.show();

  const QScreen* screen = QGuiApplication::primaryScreen();
  double hz = screen ? screen->refreshRate() : 60.0;
  if (!(hz >= 20.0 && hz <= 500.0)) hz = 60.0;
  QTimer frames;
  frames.setTimerType(Qt::PreciseTimer);
  int frame = 0;
  QObject::connect(&frames, &QTimer::timeout, [&] {
    // Music-like: a swell of a few hertz with a quicker flutter, the right channel behind.
    const double t = ++frame / hz;
    auto level = [](double t) { return 0.55 + 0.35 * std::sin(2 * M_PI * 3.1 * t) * std::sin(2 * M_PI * 0.7 * t); };
    left.Show(int(377 * level(t) + 12 * std::sin(2 * M_PI * 11 * t)));
    right.Show(int(377 * level(t - 0.013) + 12 * std::sin(2 * M_PI * 13 * t)));
  });
  frames.start(int(std::lround(1000.0 / hz)));
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
