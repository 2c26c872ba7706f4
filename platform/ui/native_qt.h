#pragma once
// What the stand-in's pictures, regions, fonts and controls are made of on the Qt side. Private to
// platform/ui: the program's other code sees none of it (the layer check holds it to that); tests
// and tools that drive Qt Test or compare pictures use it to reach the widgets and images.
#include <QCursor>
#include <QEvent>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <map>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/graphics.h"

class QAction;
class QMenu;
class QTabWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QListWidget;
class QComboBox;

namespace plat {

class TControl;
class TWinControl;
class TCustomEdit;
class TMemo;
class TButton;
class TCustomListBox;
class TCustomComboBox;
class TPageControl;
class TMenuItem;

struct TBitmap::Native {
  QImage image;
};

struct TPicture::Native {
  QImage image;
};

struct TCanvas::Native {
  QImage* img = nullptr;  // the picture drawn into, not owned
  QRegion clip;           // device coordinates, while the canvas has a clip
};

// ---- pictures -----------------------------------------------------------------------------------

inline QImage& ImageOf(const TBitmap& b) { return b.NativePart().image; }
// Takes the picture over; the pixel format follows the image's.
void SetImage(TBitmap& b, const QImage& img);
// Takes the picture over as it is, in any format; PixelFormat says pfDevice for a format that has
// no pixel format of its own.
void AdoptImage(TBitmap& b, const QImage& img);
QImage::Format QtFormatOf(TPixelFormat f);
// The image with an alpha channel, its pixels of one colour (0xRRGGBB) see-through.
QImage WithTransparentColor(const QImage& image, uint32_t rgb);
// The picture a canvas draws into (null without one).
inline QImage* TargetOf(const TCanvas& c) { return c.NativePart().img; }
// Points the canvas at a picture that is not a bitmap's; resets clip and origin as SetTarget does.
void SetTargetImage(TCanvas& c, QImage* img);

// ---- controls -----------------------------------------------------------------------------------

struct TControl::Native {
  QPointer<QWidget> widget;
  QPointer<QWidget> client;  // where the children go, when not the widget itself
  QObject* glue = nullptr;   // the context of the control's signal connections; ends with it
  QImage backing;            // what Canvas draws on and the widget shows
};

struct TControl::NativeEvent {
  QWidget* widget;
  QEvent* event;   // null for a paint
  QRegion region;  // what a paint covers
};

inline QWidget* WidgetOf(const TControl* c) { return c ? c->NativePart().widget.data() : nullptr; }
// The widget children are placed on (the form's client area below its menu, a scroll box's
// surface).
inline QWidget* ClientWidgetOf(const TControl* c) {
  if (!c) return nullptr;
  QWidget* client = c->NativePart().client.data();
  return client ? client : WidgetOf(c);
}
inline void SetClientWidget(TControl* c, QWidget* w) { c->NativePart().client = w; }
// The object Qt signal connections of a control use as their context (they end with it).
inline QObject* GlueOf(const TControl* c) { return c->NativePart().glue; }
// Takes over the widget made for a control (the control deletes it).
void SetWidget(TControl* c, QWidget* w);
// The control whose widget is w or holds it; null for widgets of no control.
TControl* ControlOf(const QObject* w);
// Key codes and shift state of a Qt key event.
uint16_t VirtualKeyOf(int qtKey, bool keypad);
TShiftState ShiftStateOf(int qtModifiers);

// ---- forms and the screen ----------------------------------------------------------------------

// Sent to a form's window just before the form fills its background: an event filter on the
// window (a component that watches the form's events) may paint the background on Canvas()
// itself and say so with SetPainted, and the form then leaves it as painted.
class TEraseBackgroundEvent : public QEvent {
public:
  explicit TEraseBackgroundEvent(TCanvas* canvas) : QEvent(EventType()), canvas_(canvas) {}
  static QEvent::Type EventType();
  TCanvas* Canvas() const { return canvas_; }
  void SetPainted() { painted_ = true; }
  bool Painted() const { return painted_; }

private:
  TCanvas* canvas_;
  bool painted_ = false;
};

struct TScreen::Native {
  std::map<int, QCursor> cursors;
};

// The program's own cursor of that number (null for none), and one set from an image as it is.
const QCursor* CustomCursor(const TScreen& screen, int id);
void SetCursorImage(TScreen& screen, int id, const QImage& image, int hotX, int hotY);

// ---- menus, pages and the standard controls -----------------------------------------------------

struct TMenuItem::Native {
  QAction* action = nullptr;
  QMenu* submenu = nullptr;    // made with the first item of the item's own
  QObject* context = nullptr;  // owns the action; the context of its connections
};

inline QAction* ActionOf(const TMenuItem* item) { return item->NativePart().action; }
inline QMenu* SubMenuOf(const TMenuItem* item) { return item->NativePart().submenu; }
QTabWidget* TabsOf(const TPageControl* p);
QLineEdit* LineEditOf(const TCustomEdit* e);
QPlainTextEdit* TextEditOf(const TMemo* m);
QPushButton* PushButtonOf(const TButton* b);
QListWidget* ListOf(const TCustomListBox* l);
QComboBox* ComboOf(const TCustomComboBox* c);

// ---- regions ------------------------------------------------------------------------------------

QRegion QRegionOf(const TRegion& r);
TRegion RegionOf(const QRegion& r);

// ---- fonts --------------------------------------------------------------------------------------

// A font mapped to an installed one at its pixel height.
QFont QtFont(const TFont& f);
// The installed family a classic family name maps to.
QString MapFontFamily(const std::string& name);

}  // namespace plat
