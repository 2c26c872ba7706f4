#include <gtest/gtest.h>

#include <QWidget>

#include "KitTestSupport.h"
#include "controls/zelbtns.h"
#include "controls/zelcont.h"
#include "controls/zelimage.h"
#include "platform/ui/native_qt.h"

namespace {

using plat::Rect;

constexpr uint32_t kRed = 0x0000FF, kFuchsia = 0xFF00FF, kNavy = 0x800000, kYellow = 0x00FFFF;

// A 10 x 10 picture: red inside a 2-pixel fuchsia border (its bottom-left pixel, so also its own
// transparent colour).
void MakePicture(plat::TBitmap& b) {
  Blank(b, 10, 10, plat::clFuchsia);
  b.Canvas()->Brush()->SetColor(plat::clRed);
  b.Canvas()->FillRect(Rect(2, 2, 8, 8));
}

// A form striped yellow and navy in columns of 4 pixels, so what lies under a control shows.
struct ImageForm : ::testing::Test {
  ImageForm() {
    form = plat::NewForm<plat::TForm>(nullptr);
    form->SetBorderStyle(plat::bsNone);
    form->SetBounds(0, 0, 200, 120);
    form->OnPaint = [this](plat::TObject*) {
      plat::TCanvas& c = *form->Canvas();
      c.Brush()->SetStyle(plat::bsSolid);
      for (int x = 0; x < 200; x += 4) {
        c.Brush()->SetColor((x / 4) % 2 ? plat::clNavy : plat::clYellow);
        c.FillRect(Rect(x, 0, x + 4, 120));
      }
    };
    MakePicture(picture);
  }
  ~ImageForm() override { delete form; }
  TZelNImage* Image(int x, int y, int w, int h) {
    auto* img = new TZelNImage(form);
    img->SetParent(form);
    img->SetBounds(x, y, w, h);
    img->SetBitmap(&picture);
    return img;
  }
  QImage Shot() { return plat::ClientWidgetOf(form)->grab().toImage(); }
  static uint32_t At(const QImage& img, int x, int y) {
    QRgb c = img.pixel(x, y);
    return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
  }
  static uint32_t Stripe(int x) { return (x / 4) % 2 ? kNavy : kYellow; }
  plat::TForm* form;
  plat::TBitmap picture;
};

}  // namespace

TEST_F(ImageForm, PlacesThePictureInsideTheBevel) {
  // A 2-pixel bevel leaves 2, 2, 38, 28 of a 40 x 30 control for the picture.
  auto make = [&](int x, TZelBitmapStyle style) {
    TZelNImage* img = Image(x, 10, 40, 30);
    img->Bevel()->SetStyleOuter(bvRaised);
    img->Bevel()->SetWidthOuter(2);
    img->SetStyle(style);
    return img;
  };
  make(0, sbNone);
  make(50, sbCenter);
  make(100, sbTile);
  make(150, sbKeepAspRatio);
  QImage s = Shot();
  EXPECT_EQ(At(s, 0 + 2 + 5, 10 + 2 + 5), kRed);
  EXPECT_EQ(At(s, 0 + 25, 10 + 15), Stripe(25));  // nothing beyond the picture: the form shows
  EXPECT_EQ(At(s, 50 + 20, 10 + 15), kRed);       // centred
  EXPECT_EQ(At(s, 50 + 5, 10 + 15), Stripe(55));
  EXPECT_EQ(At(s, 100 + 2 + 10 + 5, 10 + 2 + 10 + 5), kRed);  // the second tile of the second row
  EXPECT_EQ(At(s, 100 + 37, 10 + 15), kRed);                  // tiles are cut at the bevel
  EXPECT_NE(At(s, 100 + 38, 10 + 15), kRed);
  // Kept proportions: a 26 x 26 square at the top left of the area.
  EXPECT_EQ(At(s, 150 + 2 + 13, 10 + 2 + 13), kRed);
  EXPECT_EQ(At(s, 150 + 2 + 1, 10 + 2 + 1), kFuchsia);
  EXPECT_EQ(At(s, 150 + 33, 10 + 15), Stripe(183));
}

TEST_F(ImageForm, AutoSizeFollowsPictureAndBevel) {
  TZelNImage* img = Image(0, 0, 50, 50);
  int moves = 0;
  img->OnBoundsChange = [&](plat::TObject*, uint8_t) { ++moves; };
  img->Bevel()->SetStyleOuter(bvLowered);
  img->Bevel()->SetWidthOuter(3);
  EXPECT_EQ(moves, 0);  // only with sbAutosize
  img->SetStyle(sbAutosize);
  EXPECT_EQ(img->Width(), 10 + 6);
  EXPECT_EQ(img->Height(), 10 + 6);
  EXPECT_EQ(moves, 1);
  img->Bevel()->SetWidthOuter(1);
  EXPECT_EQ(img->Width(), 12);
  plat::TBitmap wide;
  Blank(wide, 30, 4, plat::clRed);
  img->SetBitmap(&wide);
  EXPECT_EQ(img->Width(), 32);
  EXPECT_EQ(img->Height(), 6);
  img->SetBitmap(nullptr);
  EXPECT_EQ(img->Width(), 22);  // 20 inside without a picture
  const int before = moves;
  img->Invalidate();
  Shot();
  EXPECT_EQ(moves, before);  // a size that already fits sets nothing
}

TEST_F(ImageForm, ButtonsPaintedFromFacesShareTheImagesBitmapStyles) {
  // Both kinds on one form: one style type, read alike by both.
  TZelImageList list;
  auto* item = dynamic_cast<TZelImageListItem*>(list.Add());
  item->SetWidth(10);
  item->SetHeight(10);
  item->Add(picture, nullptr);
  auto* button = new TZelMMButton(form);
  button->SetParent(form);
  button->SetBounds(100, 10, 50, 50);
  button->SetButtonFaceImageList(&list);
  button->SetButtonFaceStyle(sbAutosize);
  TZelNImage* img = Image(0, 0, 50, 50);
  img->SetStyle(button->ButtonFaceStyle());
  Shot();
  EXPECT_EQ(button->Width(), 10);
  EXPECT_EQ(button->Height(), 10);
  EXPECT_EQ(img->Width(), 10);
  // Centred and stretched faces stay at the button's size.
  button->SetBounds(100, 10, 30, 30);
  for (TZelBitmapStyle style : {sbCenter, sbStretch}) {
    button->SetButtonFaceStyle(style);
    Shot();
    EXPECT_EQ(button->Width(), 30) << style;
  }
  button->SetButtonFaceImageList(nullptr);
}

TEST_F(ImageForm, TransparencyRules) {
  auto make = [&](int x, TZelTransparentMode mode, bool transparent) {
    TZelNImage* img = Image(x, 10, 10, 10);
    img->TransparentStyle()->SetMode(mode);
    img->TransparentStyle()->SetColor(plat::clRed);
    img->SetTransparent(transparent);
    img->SetColor(plat::clSilver);
    return img;
  };
  make(0, tpNone, true);
  make(20, tpRestoreBack, true);    // the picture's own colour (fuchsia) is left out
  make(40, tpRBTranspColor, true);  // the style's colour (red) is left out
  TZelNImage* keyed = make(60, tpTransparentColor, true);
  make(80, tpRestoreBack, false);  // opaque: the control's colour under the picture
  QImage s = Shot();
  EXPECT_EQ(At(s, 0, 10), kFuchsia);
  EXPECT_EQ(At(s, 5, 15), kRed);
  EXPECT_EQ(At(s, 20, 10), Stripe(20));
  EXPECT_EQ(At(s, 25, 15), kRed);
  EXPECT_EQ(At(s, 40, 10), kFuchsia);
  EXPECT_EQ(At(s, 45, 15), Stripe(45));
  EXPECT_EQ(At(s, 60, 10), kFuchsia);
  EXPECT_EQ(At(s, 65, 15), Stripe(65));
  EXPECT_EQ(At(s, 80, 10), uint32_t(plat::ColorToRGB(plat::clSilver)));
  EXPECT_EQ(At(s, 85, 15), kRed);
  // The picture given to the control is not changed by the drawing.
  EXPECT_FALSE(keyed->Bitmap()->Transparent());
}

TEST_F(ImageForm, EffectsWorkOnWhatLiesUnderneath) {
  TZelNImage* inverted = Image(0, 10, 40, 20);
  inverted->SetBitmap(nullptr);
  inverted->BackFX()->SetInvert(true);
  TZelNImage* bright = Image(60, 10, 40, 20);
  bright->SetBitmap(nullptr);
  bright->SetTransparent(false);
  bright->SetColor(plat::TColor(0x404040));
  bright->BackFX()->SetBrightness(0x20);
  QImage s = Shot();
  // The form's stripes under the control come out inverted.
  for (int x : {1, 5, 9, 30}) EXPECT_EQ(At(s, x, 20), ~Stripe(x) & 0xFFFFFFu) << x;
  EXPECT_EQ(At(s, 70, 20), 0x606060u);
  EXPECT_EQ(At(s, 110, 20), Stripe(110));
}

TEST_F(ImageForm, ShowsALinkedControlsBitmap) {
  TZelNImage* source = Image(0, 0, 10, 10);
  TZelNImage* viewer = Image(20, 0, 10, 10);
  plat::TBitmap own;
  Blank(own, 10, 10, plat::clNavy);
  viewer->SetBitmap(&own);
  viewer->SetStyle(sbAutosize);
  viewer->SetControl(viewer);  // never itself
  EXPECT_EQ(viewer->Control(), nullptr);
  viewer->SetControl(source);
  EXPECT_EQ(At(Shot(), 25, 5), kRed);

  // A new picture of the source reaches the viewer, size and all.
  plat::TBitmap big;
  Blank(big, 16, 12, plat::clYellow);
  source->SetBitmap(&big);
  EXPECT_EQ(viewer->Width(), 16);
  EXPECT_EQ(At(Shot(), 25, 5), kYellow);

  // Two controls showing each other show their own pictures' turn, without end.
  source->SetControl(viewer);
  EXPECT_EQ(source->ShownBitmap(), viewer->Bitmap());
  EXPECT_EQ(viewer->ShownBitmap(), source->Bitmap());

  // The source goes: the viewer shows its own picture again.
  delete source;
  EXPECT_EQ(viewer->Control(), nullptr);
  EXPECT_EQ(viewer->Width(), 10);
  EXPECT_EQ(At(Shot(), 25, 5), kNavy);
}
