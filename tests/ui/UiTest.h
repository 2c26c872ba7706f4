#pragma once
// Shared by the framework tests: the application object for the whole program, queued dialog
// answers per test, and pictures of controls.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <memory>

#include "platform/messages/messages.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

// Answers this test's dialogs from a queue; the service before it comes back afterwards.
class ScopedDialogs {
public:
  ScopedDialogs() : q_(std::make_shared<plat::QueuedDialogs>()) { old_ = plat::SetDialogService(q_); }
  ~ScopedDialogs() { plat::SetDialogService(old_); }
  plat::QueuedDialogs* operator->() { return q_.get(); }
  plat::QueuedDialogs& operator*() { return *q_; }

private:
  std::shared_ptr<plat::QueuedDialogs> q_;
  std::shared_ptr<plat::DialogService> old_;
};

// Runs the event loop until pred holds, for at most five seconds; returns pred.
template <typename Pred>
bool PumpUntil(Pred pred) {
  for (int i = 0; i < 500 && !pred(); ++i) plat::DelayWithMessages(10, true);
  return pred();
}

inline void ProcessEvents() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The widget's own picture (its children included) on a background of one colour; windowless
// controls show that colour wherever they do not paint.
inline QImage Grab(QWidget* w, QColor background = Qt::white) {
  QImage img(w->size(), QImage::Format_RGB32);
  img.fill(background);
  w->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  return img;
}

// 0xBBGGRR of an image pixel, for comparison with TColor values.
inline uint32_t BGR(const QImage& img, int x, int y) {
  QRgb p = img.pixel(x, y);
  return uint32_t(qRed(p)) | (uint32_t(qGreen(p)) << 8) | (uint32_t(qBlue(p)) << 16);
}
