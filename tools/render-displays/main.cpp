// Draws the deck's displays to a PNG:
//   render-displays [--value PERCENT] [--peak PERCENT] [--position P] [--out FILE]
// Both level bars and both needle meters show PERCENT (their Value), with the peak marks at
// --peak when given; the slider stands at P of 100 and the gauge, made visible, at PERCENT.
// Run with QT_QPA_PLATFORM=offscreen to work without a screen.
#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ui/native_qt.h"
#include "recorder/DeckDisplays.h"

namespace {
// The form drawn as the screen would show it.
QImage RenderDeckDisplays(const TDeckDisplays& d) {
  d.form->Show();
  QCoreApplication::processEvents();
  QWidget* window = plat::WidgetOf(d.form);
  QImage img(window->size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  window->render(&img);
  return img;
}

int Usage(const char* self) {
  std::fprintf(stderr, "usage: %s [--value PERCENT] [--peak PERCENT] [--position P] [--out FILE]\n", self);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  int value = 50, peak = -1, position = -1;
  std::string out = "deck.png";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage(argv[0]);
    const char* v = argv[++i];
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (a == "--out") {
      out = v;
      continue;
    }
    if (!*v || *end || n < 0 || n > 100) return Usage(argv[0]);
    if (a == "--value") value = int(n);
    else if (a == "--peak") peak = int(n);
    else if (a == "--position") position = int(n);
    else return Usage(argv[0]);
  }
  if (position < 0) position = value;
  QApplication qapp(argc, argv);
  int rc = 0;
  {
    plat::TApplication app;
    app.SetTitle("render-displays");
    TDeckDisplays d = MakeDeckDisplays(&app);
    // A louder moment first leaves the peak marks behind, then the value itself.
    for (TMMLevel* l : {d.level1, d.level2}) {
      if (peak > value) l->SetValue(peak);
      l->SetValue(value);
    }
    for (TMMMeter* m : {d.meter1, d.meter2}) {
      if (peak > value) m->SetValue(peak);
      m->SetValue(value);
    }
    d.slider->SetPosition(position);
    d.gauge->SetProgress(value);
    QImage img = RenderDeckDisplays(d);
    if (!img.save(QString::fromLocal8Bit(out.c_str()), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", out.c_str());
      rc = 1;
    }
  }
  return rc;
}
