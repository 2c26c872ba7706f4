// The display canvas: its picture, refusals, nested drawing and background pictures.
#include "DisplaysTest.h"
#include "displays/MMDIBCv_ui.h"
#include "platform/ui/native_qt.h"

using namespace plat;

namespace {
std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const EMMDIBError& e) {
    return e.what();
  }
  return "";
}
}  // namespace

TEST(MMDIBCanvas, SizesDepthsAndAnimatedColours) {
  TMMDIBCanvas c(nullptr);
  c.SetSize(0, 0);
  EXPECT_EQ(plat::ImageOf(c.Image()).size(), QSize(1, 1));
  EXPECT_EQ(Message([&] { c.SetBitsPerPixel(16); }), "Bitlength not supported yet");
  EXPECT_EQ(c.BitsPerPixel(), 8);
  EXPECT_EQ(Message([&] { c.SetAnimatedColors(237); }), "Invalid count of animated colors");
  c.SetAnimatedColors(2);
  EXPECT_EQ(Message([&] { c.SetAnimatedColor(2, {}); }), "Invalidate animated color index");
  // A batch changes the picture's colours once, at its end; without one a change shows at once.
  c.SetSize(2, 1);
  TMMDIBTarget& t = c.BeginDraw();
  t.SetRawColor(245);
  t.SetPixel(0, 0);
  t.SetRawColor(244);
  t.SetPixel(1, 0);
  c.EndDraw();
  c.BeginAnimate();
  c.SetAnimatedColor(1, {255, 0, 0, 0});
  EXPECT_NE(plat::ImageOf(c.Image()).pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  c.EndAnimate();
  EXPECT_EQ(plat::ImageOf(c.Image()).pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  c.SetAnimatedColor(0, {0, 0, 255, 0});
  EXPECT_EQ(plat::ImageOf(c.Image()).pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(MMDIBCanvas, NestedDrawingKeepsEachCanvasOnItsOwnPicture) {
  auto* form = NewForm<TForm>(nullptr);
  auto* owner = new TMMDIBGraphicControl(form);
  TMMDIBCanvas a(owner), b(nullptr);
  a.SetSize(4, 4);
  b.SetSize(4, 4);
  TMMDIBTarget& ta = a.BeginDraw();
  TMMDIBTarget& tb = b.BeginDraw();
  tb.SetRawColor(7);
  tb.SetPixel(0, 0);
  b.EndDraw();
  // The outer drawing goes on into its own picture, not into nothing or into b's.
  ta.SetRawColor(9);
  ta.SetPixel(1, 1);
  EXPECT_EQ(Message([&] { a.SetSize(5, 5); }),
            "TMMDIBGraphicControl: Attempt to create new DIB while initialized for drawing");
  a.EndDraw();
  EXPECT_EQ(plat::ImageOf(a.Image()).pixelIndex(1, 1), 9);
  EXPECT_EQ(plat::ImageOf(a.Image()).pixelIndex(0, 0), 0);
  EXPECT_EQ(plat::ImageOf(b.Image()).pixelIndex(0, 0), 7);
  EXPECT_EQ(plat::ImageOf(b.Image()).pixelIndex(1, 1), 0);
  a.SetSize(5, 5);  // allowed again once the drawing ended
  EXPECT_EQ(plat::ImageOf(a.Image()).width(), 5);
  form->Free();
}

TEST(MMDIBCanvas, BackgroundPictureIsStretchedOrTiled) {
  auto* form = NewForm<TForm>(nullptr);
  auto* c = new TMMDIBGraphicControl(form);
  c->SetBounds(0, 0, 4, 4);
  c->SetBitsPerPixel(24);
  TBitmap pic(2, 2);
  pic.Canvas()->SetPixel(0, 0, clRed);
  pic.Canvas()->SetPixel(1, 0, clLime);
  pic.Canvas()->SetPixel(0, 1, clBlue);
  pic.Canvas()->SetPixel(1, 1, clYellow);
  c->SetBackGroundDIB(&pic);
  EXPECT_FALSE(c->UseBackGroundDIB());  // only when asked, at run time
  c->SetColor(clTeal);
  c->ClearDIB();
  EXPECT_EQ(plat::ImageOf(c->DIBCanvas()->Image()).pixel(3, 3) & 0xFFFFFF, 0x008080u);
  c->SetUseBackGroundDIB(true);
  c->ClearDIB();
  const QImage& s = plat::ImageOf(c->DIBCanvas()->Image());
  EXPECT_EQ(s.pixel(1, 1) & 0xFFFFFF, 0xFF0000u);  // stretched: each picture pixel covers 2 x 2
  EXPECT_EQ(s.pixel(2, 1) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(s.pixel(3, 3) & 0xFFFFFF, 0xFFFF00u);
  c->DIBCanvas()->SetStretchBackGround(false);
  c->ClearDIB();
  const QImage& t = plat::ImageOf(c->DIBCanvas()->Image());
  EXPECT_EQ(t.pixel(2, 2) & 0xFFFFFF, 0xFF0000u);  // tiled from the top left
  EXPECT_EQ(t.pixel(3, 1) & 0xFFFFFF, 0xFFFF00u);
  form->Free();
}
