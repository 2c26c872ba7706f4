#pragma once
// How a caption is placed beside a glyph.
#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"

class TZelGlyphTextLayout : public TZelObject {
public:
  TZelGlyphTextLayout() = default;

  TZelAlignment Alignment() const { return alignment_; }
  void SetAlignment(TZelAlignment v) { SetField(alignment_, v); }
  TZelTextArrange AlignText2Glyph() const { return alignText2Glyph_; }
  void SetAlignText2Glyph(TZelTextArrange v) { SetField(alignText2Glyph_, v); }
  int OffsetX() const { return offsetX_; }
  void SetOffsetX(int v) { SetField(offsetX_, v); }
  int OffsetY() const { return offsetY_; }
  void SetOffsetY(int v) { SetField(offsetY_, v); }
  int Spacing() const { return spacing_; }
  void SetSpacing(int v) { SetField(spacing_, v); }

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelGlyphTextLayout"; }

protected:
  explicit TZelGlyphTextLayout(TZelAlignment alignment) : alignment_(alignment) {}
  // Copies this class's properties from src without notifying.
  void CopyFrom(const TZelGlyphTextLayout& src);

private:
  TZelAlignment alignment_ = agTopLeft;
  TZelTextArrange alignText2Glyph_ = taRight;
  int offsetX_ = 0, offsetY_ = 0;
  int spacing_ = 2;
};
