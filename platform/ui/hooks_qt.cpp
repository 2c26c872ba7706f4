#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

#include "platform/messages/app_hooks.h"
#include "platform/ui/hooks.h"
#include "platform/ui/native_qt.h"

namespace plat {

namespace {

TWindowEventKind KindOf(const QEvent* e) {
  if (e->type() == TEraseBackgroundEvent::EventType()) return weEraseBackground;
  switch (e->type()) {
    case QEvent::Resize: return weResize;
    case QEvent::Move: return weMove;
    case QEvent::Show: return weShow;
    case QEvent::Hide: return weHide;
    case QEvent::WindowActivate: return weActivate;
    case QEvent::WindowDeactivate: return weDeactivate;
    case QEvent::WindowBlocked: return weBlocked;
    case QEvent::UngrabMouse: return weMouseGrabLost;
    case QEvent::WindowTitleChange: return weTitleChange;
    case QEvent::WindowIconChange: return weIconChange;
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange: return weLookChange;
    case QEvent::MouseButtonPress: return weMouseDown;
    case QEvent::MouseMove: return weMouseMove;
    case QEvent::MouseButtonRelease: return weMouseUp;
    case QEvent::MouseButtonDblClick: return weDblClick;
    case QEvent::ChildAdded: return weChildAdded;
    case QEvent::ChildRemoved: return weChildRemoved;
    case QEvent::Destroy: return weDestroy;
    default: return weOther;
  }
}

}  // namespace

struct TWindowHook::Native : QObject {
  Native(QObject* watched, THandler handler) : watched_(watched), handler_(std::move(handler)) {
    if (watched) watched->installEventFilter(this);
  }
  ~Native() override {
    if (watched_) watched_->removeEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* e) override {
    TWindowEvent ev;
    ev.Kind = KindOf(e);
    switch (ev.Kind) {
      case weMouseDown:
      case weMouseMove:
      case weMouseUp:
      case weDblClick: {
        const auto* m = static_cast<const QMouseEvent*>(e);
        ev.Button = m->button() == Qt::LeftButton ? mbLeft : m->button() == Qt::RightButton ? mbRight : mbMiddle;
        const QPoint at = m->position().toPoint(), screen = m->globalPosition().toPoint();
        ev.Pos = {at.x(), at.y()};
        ev.ScreenPos = {screen.x(), screen.y()};
        break;
      }
      case weEraseBackground: ev.Canvas = static_cast<TEraseBackgroundEvent*>(e)->Canvas(); break;
      default: break;
    }
    // Exceptions never cross a Qt event: they go to the application's handler.
    try {
      const bool keep = handler_(ev);
      if (ev.Painted && ev.Kind == weEraseBackground) static_cast<TEraseBackgroundEvent*>(e)->SetPainted();
      return keep;
    } catch (...) {
      HandleException(std::current_exception());
      return false;
    }
  }

  QPointer<QObject> watched_;
  THandler handler_;
};

TWindowHook::TWindowHook(const TControl* control, TScope scope, THandler handler) {
  QObject* watched = nullptr;
  switch (scope) {
    case hsControl: watched = WidgetOf(control); break;
    case hsWindow: watched = WidgetOf(control) ? WidgetOf(control)->window() : nullptr; break;
    case hsClientArea: watched = ClientWidgetOf(control); break;
    case hsApplication: watched = QCoreApplication::instance(); break;
  }
  native_ = std::make_unique<Native>(watched, std::move(handler));
}

TWindowHook::~TWindowHook() = default;

bool TWindowHook::Watching() const { return !native_->watched_.isNull(); }

}  // namespace plat
