#pragma once
// Keeps a form's (or panel's) layout proportional: records the bounds of every control its owner
// owns once, and on each resize scales them by the owner's size against the recorded one,
// optionally scaling the fonts too.
#include <functional>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/system/exceptions.h"

namespace plat {
class TControl;
class TFont;
}  // namespace plat

PLAT_EXCEPTION(EResizerException, plat::Exception, "")

using TPostResizeEvent =
    std::function<void(plat::TObject* Sender, plat::TControl* Comp, double HeightRatio, double WidthRatio)>;

class TSingleResizer : public plat::TObject {
public:
  TSingleResizer(plat::TControl* control, plat::TControl* owner, bool resizeFonts, int minFontSize, int maxFontSize);
  plat::TControl* Control() const { return control_; }
  void Forget() { control_ = nullptr; }
  void Resize(double heightRatio, double widthRatio);
  std::string ClassName() const override { return "TSingleResizer"; }

private:
  plat::TControl* control_;
  plat::TControl* owner_;
  int left_, top_, width_, height_;
  int ownerHeight_, ownerWidth_;
  bool hasFont_;
  int fontSize_;
  bool setHeight_ = true, setLeft_ = true, setTop_ = true, setWidth_ = true;
  bool resizeFonts_;
  int minFontSize_, maxFontSize_;
};

class TFormResizer : public plat::TComponent {
public:
  // The owner must be a form or panel.
  explicit TFormResizer(plat::TComponent* owner);
  ~TFormResizer() override;

  bool ResizeFonts() const { return resizeFonts_; }
  void SetResizeFonts(bool v) { resizeFonts_ = v; }
  int MinFontSize() const { return minFontSize_; }
  void SetMinFontSize(int v) { minFontSize_ = v; }
  int MaxFontSize() const { return maxFontSize_; }
  void SetMaxFontSize(int v) { maxFontSize_ = v; }
  bool EnforceMinSize() const { return enforceMinSize_; }
  void SetEnforceMinSize(bool v) { enforceMinSize_ = v; }
  TPostResizeEvent OnPostResize;

  // Records the layout on the first call only.
  virtual void RecordLayout();
  virtual void ResizeControls();
  virtual void DoPostResize(plat::TObject* sender, plat::TControl* comp, double heightRatio, double widthRatio);
  bool Recorded() const { return recorded_; }
  int RecordCount() const { return int(records_.size()); }
  std::string ClassName() const override { return "TFormResizer"; }

protected:
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  plat::TControl* OwnerControl() const;
  bool resizeFonts_ = false;
  int minFontSize_ = 8, maxFontSize_ = 48;
  bool enforceMinSize_ = false;
  int recordedHeight_ = 0, recordedWidth_ = 0;
  bool recorded_ = false;
  std::vector<TSingleResizer*> records_;
};
