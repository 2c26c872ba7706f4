#pragma once
// Glue between controls and their Qt widgets (private to the framework stand-in).
#include <QMenuBar>
#include <QPaintEvent>
#include <QWidget>
#include <utility>

#include "platform/ui/controls.h"
#include "platform/ui/native_qt.h"

namespace plat {

// Marks a widget made for a control; the control detaches it before deleting it.
class HostedMark {
public:
  virtual ~HostedMark() = default;
  void Detach() { control_ = nullptr; }
  TControl* Control() const { return control_; }

protected:
  TControl* control_ = nullptr;
};

// A Qt widget class whose painting a control may take over.
template <class W>
class Hosted : public W, public HostedMark {
public:
  template <typename... A>
  explicit Hosted(TControl* c, A&&... a) : W(std::forward<A>(a)...) {
    control_ = c;
  }

protected:
  void paintEvent(QPaintEvent* e) override {
    if (control_ && control_->PaintsItself()) control_->PaintTo({this, e, e->region()});
    else W::paintEvent(e);
  }
};

using ControlWidget = Hosted<QWidget>;

// A form's menu bar, which its main menu fills.
class MenuBarWidget : public QMenuBar {
public:
  using QMenuBar::QMenuBar;
};

// Forwards the events of a control's widgets to the control.
class ControlGlue : public QObject {
public:
  explicit ControlGlue(TControl* c) : c_(c) {}
  void Detach() { c_ = nullptr; }
  bool eventFilter(QObject* o, QEvent* e) override;

private:
  TControl* c_;
};

QColor ToQColor(TColor c);
// The classic colours for a widget Qt draws itself.
void ApplyPalette(QWidget* w, TColor background, TColor text, bool isBase);
QCursor CursorFor(TCursor c);
// Moves the "&" accelerator marks of a caption into Qt's form (they are the same) and keeps Qt
// from binding a shortcut of its own to it: our key dispatch handles accelerators.
QString QtCaption(const std::string& s);
void RegisterWidget(QWidget* w, TControl* c);
// Repaints w with the next frame of the installed frame clock (frames.h); at once without one.
// The control of w first brings its canvas up to date (TControl::CanvasDue).
void RequestFrame(QWidget* w);
// The same for the part of w that changed; parts asked for before a frame are shown together.
void RequestFrame(QWidget* w, const QRect& part);
// Lets the control whose widget is w bring its canvas up to date before it is shown, and narrow
// part (null: the whole widget is shown) to what its canvas changed by.
void CanvasDue(QWidget* w, QRect* part);
void UnregisterWidget(QWidget* w);

}  // namespace plat
