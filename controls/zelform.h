#pragma once
// Components that take over parts of their owner form's drawing: a fill that paints the form's
// background (a handler's drawing or a picture from an image list) and the kit's caption styler.
// The window manager draws the title bars: the styler's caption painting goes onto a picture.
#include <functional>
#include <memory>
#include <string>

#include "controls/Zel3DCaption.h"
#include "controls/ZelWndProcComponent.h"
#include "controls/zelctrls.h"
#include "platform/ui/controls.h"
#include "platform/ui/graphics.h"

namespace plat {
class TCustomForm;
}

enum TZelPaintMode { pcNone, pcControl, pcOwnerDraw };
enum TZelFormStyleOption : uint8_t {
  fsAdjustRect = 0x01,
  fsUseDefaultFont = 0x02,
  fsUseFontColor = 0x04,
  fsInactiveGradient = 0x08,
  fsDrawCaptionEvent = 0x10,
  fsUseFormCaption = 0x20,
  fsCheckSystemGradient = 0x40
};
using TZelFormStyleOptions = uint8_t;

using TZelPaintEvent = std::function<void(plat::TObject* Sender, plat::TCanvas& Canvas, plat::TRect Rect)>;

class TZelCustomFormFill : public TZelImageUser<TZelWndProcComponent> {
public:
  explicit TZelCustomFormFill(plat::TComponent* owner);
  ~TZelCustomFormFill() override;

  bool DefaultFill() const { return defaultFill_; }
  void SetDefaultFill(bool v);
  TZelPaintMode PaintMode() const { return paintMode_; }
  void SetPaintMode(TZelPaintMode v);
  TZelPaintEvent OnPaint;

  void Hook() override;
  void Unhook() override;
  // Paints the form's background on canvas; false when the fill drew nothing.
  virtual bool PaintFill(plat::TCanvas& canvas);
  std::string ClassName() const override { return "TZelCustomFormFill"; }

protected:
  bool WindowProc(plat::TWindowEvent& e) override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  plat::TCustomForm* Form() const;
  void ImageListChanged() override { InvalidateForm(); }
  void InvalidateForm();

private:
  bool defaultFill_ = true;
  TZelPaintMode paintMode_ = pcControl;
  plat::TNotifyEvent savedPaint_;
  bool chained_ = false;
};

// The fill that shows a picture of its image list, tiled over the client area.
class TZelBack : public TZelCustomFormFill {
public:
  explicit TZelBack(plat::TComponent* owner) : TZelCustomFormFill(owner) {}
  bool PaintFill(plat::TCanvas& canvas) override;
  std::string ClassName() const override { return "TZelBack"; }
};

class TZelFormStyler : public TZelWndProcComponent {
public:
  explicit TZelFormStyler(plat::TComponent* owner);
  ~TZelFormStyler() override;

  plat::TAlignment Alignment() const { return alignment_; }
  void SetAlignment(plat::TAlignment v);
  // Gradient steps.
  int Colors() const { return colors_; }
  void SetColors(int v);
  plat::TFont* Font() const { return font_.get(); }
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  TZelPaintMode PaintMode() const { return paintMode_; }
  void SetPaintMode(TZelPaintMode v);
  TZelFormStyleOptions Options() const { return options_; }
  void SetOptions(TZelFormStyleOptions v);
  TZelPaintEvent OnPaint;
  TZelPaintEvent OnCaptionPaint;

  // The window system draws gradient captions itself (so fsCheckSystemGradient leaves it be).
  bool PlatformGradient() const { return platformGradient_; }
  void SetPlatformGradient(bool v) { platformGradient_ = v; }
  bool FormActive() const { return active_; }
  // The caption the styler draws: the form's, as it was when hooked.
  const std::string& SavedCaption() const { return savedCaption_; }

  void Hook() override;
  void Unhook() override;
  // Draws the caption bar of the form on a picture of the window's size; false when the system's
  // caption stays (nothing drawn).
  bool PaintCaption(plat::TBitmap& target, int bitsPerPixel);
  int Repaints() const { return repaints_; }
  std::string ClassName() const override { return "TZelFormStyler"; }

protected:
  bool WindowProc(plat::TWindowEvent& e) override;
  void Loaded() override;

private:
  plat::TCustomForm* Form() const;
  void Repaint() { ++repaints_; }
  plat::TAlignment alignment_ = plat::taLeftJustify;
  int colors_ = 32;
  std::unique_ptr<plat::TFont> font_;
  std::unique_ptr<TZel3DCaption> font3D_;
  TZelPaintMode paintMode_ = pcControl;
  TZelFormStyleOptions options_ = fsAdjustRect | fsUseDefaultFont | fsUseFormCaption | fsCheckSystemGradient;
  bool platformGradient_ = true, active_ = true;
  std::string savedCaption_;
  int repaints_ = 0;
};
