#pragma once
// What the kit's GUI tests share: the framework's application object and the kit's globals for
// the whole run, and small picture helpers.
#include <QImage>
#include <cstdint>

#include "controls/zelclass.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

// 0x00BBGGRR of a pixel of a bitmap.
inline uint32_t PixelOf(plat::TBitmap& b, int x, int y) {
  QRgb c = plat::ImageOf(b).pixel(x, y);
  return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}

// A 24-bit bitmap filled with one colour.
inline void Blank(plat::TBitmap& b, int w, int h, plat::TColor color) {
  b.SetSize(w, h);
  b.SetPixelFormat(plat::pf24bit);
  b.Canvas()->Brush()->SetStyle(plat::bsSolid);
  b.Canvas()->Brush()->SetColor(color);
  b.Canvas()->FillRect(plat::Rect(0, 0, w, h));
}

// How many pixels of r (all of b when r is empty) have colour bgr.
inline int CountColor(plat::TBitmap& b, uint32_t bgr, plat::TRect r = {}) {
  if (plat::IsRectEmpty(r)) r = plat::Rect(0, 0, b.Width(), b.Height());
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (PixelOf(b, x, y) == bgr) ++n;
  return n;
}

#include <QApplication>
#include <memory>

// Puts in a kit application object whose pool ticks only when the test says so, and takes it
// away again with everything the test left in the pool.
class ManualPool {
public:
  ManualPool() {
    saved_ = ZelApplication;
    ZelApplication = nullptr;
    auto backend = std::make_unique<TZelManualTimerBackend>();
    backend_ = backend.get();
    app_ = new TZelApplication(std::move(backend));
  }
  ~ManualPool() {
    delete app_;
    ZelApplication = saved_;
  }
  ManualPool(const ManualPool&) = delete;
  ManualPool& operator=(const ManualPool&) = delete;
  // Lets ms pass in the pool's 50 ms ticks.
  void Advance(int ms) { backend_->Fire(ms / 50); }
  int Timers() const { return app_->TimerPool()->Count(); }
  TZelApplication* App() const { return app_; }

private:
  TZelApplication* saved_;
  TZelApplication* app_;
  TZelManualTimerBackend* backend_;
};

// A shown form for a test's controls, freed at the end.
class TestForm {
public:
  explicit TestForm(int w = 400, int h = 300) {
    form_ = plat::NewForm<plat::TForm>(nullptr);
    form_->SetBounds(0, 0, w, h);
  }
  ~TestForm() { form_->Free(); }
  TestForm(const TestForm&) = delete;
  TestForm& operator=(const TestForm&) = delete;
  plat::TForm* operator->() const { return form_; }
  plat::TForm* Get() const { return form_; }
  // Makes c a child of the form at the given bounds.
  template <class C>
  C* Place(C* c, int l, int t, int w, int h) {
    c->SetParent(form_);
    c->SetBounds(l, t, w, h);
    return c;
  }
  void Show() {
    form_->Show();
    QApplication::processEvents();
  }

private:
  plat::TForm* form_;
};

// A control's picture as it shows now.
inline QImage Grab(plat::TControl* c) {
  QApplication::processEvents();
  return plat::WidgetOf(c)->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline uint32_t Bgr(const QImage& img, int x, int y) {
  QRgb c = img.pixel(x, y);
  return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}
