// The GUI side of the kit's application object: the pool's timer on the UI thread, the checker
// pattern, the one-per-form check and the kit's globals.
#include <QObject>
#include <QTimerEvent>

#include "controls/zelclass.h"
#include "controls/zelcont.h"
#include "platform/messages/app_hooks.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

namespace {

// A QObject timer on the thread that makes it (the UI thread).
class QtTimerBackend : public QObject, public TZelTimerBackend {
public:
  bool Start(unsigned intervalMs) override {
    Stop();
    id_ = startTimer(int(intervalMs), Qt::PreciseTimer);
    return id_ != 0;
  }
  void Stop() override {
    if (id_) killTimer(id_);
    id_ = 0;
  }
  ~QtTimerBackend() override { Stop(); }

protected:
  void timerEvent(QTimerEvent* e) override {
    if (e->timerId() != id_ || !OnTick) return;
    try {
      OnTick();
    } catch (...) {
      plat::HandleException(std::current_exception());
    }
  }

private:
  int id_ = 0;
};

void PaintPattern(plat::TBitmap& b, uint32_t color) {
  if (b.Width() != 8 || b.Height() != 8) {
    b.SetSize(8, 8);
    b.Canvas()->Brush()->SetColor(plat::clWhite);
    b.Canvas()->FillRect(plat::Rect(0, 0, 8, 8));
  }
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if ((x + y) % 2 == 1) b.Canvas()->SetPixel(x, y, plat::TColor(color));
}

}  // namespace

plat::TBitmap* TZelApplication::GetPatternBitmap(uint32_t color) {
  if (pattern_ && color == patternColor_) return pattern_.get();
  if (!pattern_) pattern_ = std::make_shared<plat::TBitmap>(8, 8);
  PaintPattern(*pattern_, color);
  patternColor_ = color;
  return pattern_.get();
}

plat::TBitmap* ZelPatternBitmap(uint32_t color) {
  if (ZelApplication) return ZelApplication->GetPatternBitmap(color);
  static plat::TBitmap* own = new plat::TBitmap(8, 8);
  static uint32_t ownColor = 0x1FFFFFFF;
  if (color != ownColor) {
    PaintPattern(*own, color);
    ownColor = color;
  }
  return own;
}

plat::TControl* ZelReferenceForm(bool mainForm) {
  if (mainForm) return plat::Application ? plat::Application->MainForm() : nullptr;
  return plat::Screen ? plat::Screen->ActiveForm() : nullptr;
}

bool CheckOneInstance(plat::TComponent* owner, const std::function<bool(plat::TComponent*)>& isOfClass,
                      bool dataModuleOk) {
  (void)dataModuleOk;  // this framework has no data modules
  if (!dynamic_cast<plat::TCustomForm*>(owner)) return true;
  if (!isOfClass) return false;
  int count = 0;
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (isOfClass(owner->Components(i))) ++count;
  return count > 1;
}

TZelKit::TZelKit() {
  if (ZelApplication || ZelContainer) throw plat::EInvalidOperation("The control kit is already set up");
  new TZelApplication(std::make_unique<QtTimerBackend>());
  ZelContainer = new TZelContainer();
}

TZelKit::~TZelKit() {
  delete ZelContainer;
  ZelContainer = nullptr;
  delete ZelApplication;
}
