#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include "KitTestSupport.h"
#include "common/raised.h"
#include "controls/ZelFillObject.h"
#include "controls/ZelStreamUtils.h"
#include "controls/zelregion.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/streams.h"

namespace {

using plat::Rect;

constexpr uint32_t kRed = 0x0000FF, kLime = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kGray = 0x808080;

uint32_t At(const QImage& img, int x, int y) {
  QRgb c = img.pixel(x, y);
  return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}

void Mouse(QWidget* w, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  if (type == QEvent::MouseMove) button = Qt::NoButton;
  QMouseEvent e(type, QPointF(local), QPointF(local), QPointF(global), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

struct ShapedForm : ::testing::Test {
  ShapedForm() {
    form = plat::NewForm<plat::TForm>(nullptr);
    form->SetBounds(100, 100, 200, 150);
    form->SetClientWidth(200);
    form->SetClientHeight(120);
  }
  ~ShapedForm() override { delete form; }
  QImage Picture() { return plat::ClientWidgetOf(form)->grab().toImage(); }
  plat::TForm* form;
};

}  // namespace

TEST(Region, RebuildsForWhatShapesIt) {
  TZelRegion r;
  int n = 0;
  r.OnChange = [&](plat::TObject*) { ++n; };
  r.SetShape(rsRect);
  r.SetShape(rsRect);
  EXPECT_EQ(n, 1);
  // Round sizes matter only to the rounded shapes; they are kept all the same.
  r.SetRoundX(30);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(r.RoundX(), 30);
  r.SetShape(rsRoundNoseRect);
  r.SetRoundY(5);
  EXPECT_EQ(n, 3);
  r.SetExtPos(epBottomLeft);
  EXPECT_EQ(n, 4);

  // Points matter only to a point-list shape; its polygon is built when the shape is chosen and
  // whenever the points change.
  r.Points()->Add({0, 0});
  EXPECT_EQ(n, 4);
  r.SetShape(rsPointList);
  EXPECT_EQ(n, 5);
  EXPECT_TRUE(r.PointListRegion().Empty());
  r.Points()->Add({40, 0});
  r.Points()->Add({0, 40});
  EXPECT_EQ(n, 7);
  EXPECT_TRUE(r.PointListRegion().Contains(5, 5));
  EXPECT_FALSE(r.PointListRegion().Contains(35, 35));
  EXPECT_EQ(r.Build(Rect(0, 0, 1, 1)).Body, r.PointListRegion());

  r.Shadow()->SetStyle(hssSolid);
  EXPECT_EQ(n, 8);
  EXPECT_TRUE(r.CastsShadow());
  TZelShapeRegions cast = r.Build(Rect(0, 0, 100, 100));
  EXPECT_EQ(cast.Whole, r.PointListRegion() | r.PointListRegion().Moved(6, 6));
  r.SetNoShadow(true);
  EXPECT_FALSE(r.CastsShadow());

  // The mask's data is the bitmap shape; a user region is taken as it is given.
  r.SetShape(rsBitmap);
  const int before = n;
  r.Mask()->SetRegion(plat::RegionOf(QRegion(2, 3, 10, 10)));
  EXPECT_EQ(n, before + 1);
  EXPECT_EQ(r.Build(Rect(0, 0, 50, 50)).Body, TZelRgn::FromRect(Rect(2, 3, 12, 13)));
  r.SetUserRegion(TZelRgn::FromEllipse(Rect(0, 0, 30, 20)));
  EXPECT_EQ(n, before + 1);  // not the shape in use
  r.SetShape(rsUserRegion);
  EXPECT_EQ(r.Build(Rect(0, 0, 5, 5)).Body, TZelRgn::FromEllipse(Rect(0, 0, 30, 20)));
  EXPECT_EQ(TZelRgn::FromRegionData(r.UserRegionData()), TZelRgn::FromEllipse(Rect(0, 0, 30, 20)));
  r.SetBubbles(0);
  EXPECT_EQ(r.Bubbles(), 1);
}

TEST(Region, AssignCopiesTheShapeOnceAndKeepsItsSource) {
  TZelBorderRegion a;
  a.SetShape(rsStar);
  a.SetExtPos(epRightBottom);
  a.SetRoundX(7);
  a.Points()->Add({3, 4});
  a.Shadow()->SetStyle(hssTracing);
  a.Shadow()->SetDepth(9);
  a.Mask()->SetRegion(plat::RegionOf(QRegion(0, 0, 4, 4)));
  a.Border()->SetStyle(rbLoweredpsb);
  a.Border()->SetSingleColor(plat::clNavy);

  TZelBorderRegion b;
  int n = 0;
  b.OnChange = [&](plat::TObject*) { ++n; };
  b.Assign(&a);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(b.Shape(), rsStar);
  EXPECT_EQ(b.ExtPos(), epRightBottom);
  EXPECT_EQ(b.RoundX(), 7);
  EXPECT_EQ(b.Points()->Count(), 1);
  EXPECT_EQ(b.Shadow()->Style(), hssTracing);
  EXPECT_EQ(b.Shadow()->Depth(), 9);
  EXPECT_EQ(b.Mask()->RegionData(), a.Mask()->RegionData());
  EXPECT_EQ(b.Border()->Style(), rbLoweredpsb);
  EXPECT_EQ(b.Border()->SingleColor(), plat::clNavy);

  // A plain region brings no border: the border region keeps its own.
  TZelRegion plain;
  plain.SetShape(rsDiamond);
  b.Assign(&plain);
  EXPECT_EQ(b.Shape(), rsDiamond);
  EXPECT_EQ(b.Border()->Style(), rbLoweredpsb);
  EXPECT_EQ(n, 2);
}

TEST(Region, PointListStoredForm) {
  TZelRegion r;
  EXPECT_FALSE(r.HasPointListData());
  for (plat::TPoint p : {plat::TPoint{5, -1}, {65535, 32767}, {300, -300}}) r.Points()->Add(p);
  ASSERT_TRUE(r.HasPointListData());
  plat::TMemoryStream s;
  r.WritePointList(s);
  const std::string bytes = MemoryBytes(s);
  // A list of integers, each in its smallest kind: 5 and -1 in one byte, 300 and -300 in two.
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x01\x02\x05\x02\xFF", 5));
  EXPECT_EQ(bytes.back(), '\0');

  TZelRegion back;
  back.SetShape(rsPointList);
  back.Points()->Add({9, 9});
  int n = 0;
  back.OnChange = [&](plat::TObject*) { ++n; };
  SetMemoryBytes(s, bytes);
  back.ReadPointList(s);
  EXPECT_EQ(n, 1);                       // once for the whole list
  ASSERT_EQ(back.Points()->Count(), 4);  // appended to what was there
  EXPECT_EQ(back.Points()->Point(1), (plat::TPoint{5, -1}));
  EXPECT_EQ(back.Points()->Point(2), (plat::TPoint{65535, 32767}));
  EXPECT_EQ(back.Points()->Point(3), (plat::TPoint{300, -300}));

  // Damage is refused and changes nothing; a value without its partner is left out.
  for (std::string damaged : {std::string("\x01\x09\x05\x00", 4), std::string("\x01\x02\x05\x02", 4),
                              std::string("\x02\x02\x05\x02\x05\x00", 6)}) {
    SetMemoryBytes(s, damaged);
    EXPECT_THROW(back.ReadPointList(s), plat::EReadError);
  }
  EXPECT_EQ(back.Points()->Count(), 4);
  SetMemoryBytes(s, std::string("\x01\x02\x05\x02\x06\x02\x07\x00", 8));
  back.ReadPointList(s);
  EXPECT_EQ(back.Points()->Count(), 5);
  EXPECT_EQ(back.Points()->Point(4), (plat::TPoint{5, 6}));
}

TEST(RegionBorder, RectanglePsbOnAPicture) {
  plat::TBitmap b;
  Blank(b, 80, 60, plat::clWhite);
  TZelBorderRegion r;
  r.SetShape(rsRect);
  r.Border()->SetStyle(rbRaisedpsb);
  r.Border()->SetLightColor(plat::clRed);
  r.Border()->SetShadowColor(plat::clLime);
  r.Border()->SetSingleColor(plat::clBlue);
  r.PaintBorder(*b.Canvas(), Rect(10, 10, 70, 50));
  // Top and left in the light colour; bottom and right in the single colour; one pixel inside
  // them, a bottom and right line in the shadow colour.
  EXPECT_EQ(PixelOf(b, 40, 10), kRed);
  EXPECT_EQ(PixelOf(b, 10, 30), kRed);
  EXPECT_EQ(PixelOf(b, 40, 50), kBlue);
  EXPECT_EQ(PixelOf(b, 70, 30), kBlue);
  EXPECT_EQ(PixelOf(b, 40, 49), kLime);
  EXPECT_EQ(PixelOf(b, 69, 30), kLime);
  EXPECT_EQ(PixelOf(b, 40, 30), kWhite);
  EXPECT_EQ(PixelOf(b, 40, 52), kWhite);
  EXPECT_EQ(CountColor(b, kLime, Rect(0, 0, 80, 40)), CountColor(b, kLime, Rect(60, 0, 80, 40)));

  // Lowered exchanges the colours for the drawing only.
  Blank(b, 80, 60, plat::clWhite);
  r.Border()->SetStyle(rbLoweredpsb);
  r.PaintBorder(*b.Canvas(), Rect(10, 10, 70, 50));
  EXPECT_EQ(PixelOf(b, 40, 10), kLime);
  EXPECT_EQ(PixelOf(b, 40, 49), kRed);
  EXPECT_EQ(r.Border()->LightColor(), plat::clRed);
  EXPECT_EQ(r.Border()->ShadowColor(), plat::clLime);

  // The origin offset moves the left and top only.
  Blank(b, 80, 60, plat::clWhite);
  r.Border()->SetStyle(rbSingle);
  r.SetOriginOffset({5, 5});
  r.PaintBorder(*b.Canvas(), Rect(10, 10, 70, 50));
  EXPECT_EQ(PixelOf(b, 40, 10), kWhite);
  EXPECT_EQ(PixelOf(b, 40, 15), kBlue);
  EXPECT_EQ(PixelOf(b, 70, 30), kBlue);
}

TEST(RegionBorder, SolidAndTracingShadows) {
  plat::TBitmap b;
  TZelBorderRegion r;
  r.SetShape(rsRect);
  r.Border()->SetStyle(rbNone);
  r.Shadow()->SetStyle(hssSolid);
  r.Shadow()->SetColor(plat::clGray);
  r.Shadow()->SetDepth(5);
  Blank(b, 60, 40, plat::clWhite);
  r.PaintBorder(*b.Canvas(), Rect(0, 0, 60, 40));
  // The body lies in 0, 0, 55, 35; its copy 5 right and 5 down, less the body, is the shadow.
  EXPECT_EQ(PixelOf(b, 57, 20), kGray);
  EXPECT_EQ(PixelOf(b, 20, 37), kGray);
  EXPECT_EQ(PixelOf(b, 57, 2), kWhite);
  EXPECT_EQ(PixelOf(b, 20, 20), kWhite);
  EXPECT_EQ(CountColor(b, kGray), 60 * 40 - 55 * 35 - 2 * 5 * 5);

  // Tracing: the checker pattern and-ed with what lies below (here white and yellow).
  r.Shadow()->SetStyle(hssTracing);
  Blank(b, 60, 40, plat::clWhite);
  b.Canvas()->Brush()->SetColor(plat::clYellow);
  b.Canvas()->FillRect(Rect(50, 0, 60, 40));
  r.PaintBorder(*b.Canvas(), Rect(0, 0, 60, 40));
  EXPECT_EQ(PixelOf(b, 21, 36), kGray);   // x + y odd: the colour
  EXPECT_EQ(PixelOf(b, 20, 36), kWhite);  // even: white, which leaves what lay there
  EXPECT_EQ(PixelOf(b, 56, 21), kGray & 0x00FFFF);
  EXPECT_EQ(PixelOf(b, 56, 20), 0x00FFFFu);
  EXPECT_EQ(r.Shadow()->Color(), plat::clGray);
}

TEST(RegionBorder, NoseAndBubblesCutTheBodyOutline) {
  plat::TBitmap b;
  Blank(b, 220, 120, plat::clWhite);
  TZelBorderRegion r;
  r.SetShape(rsNoseRect);
  r.Border()->SetStyle(rbSingle);
  r.Border()->SetSingleColor(plat::clBlue);
  r.PaintBorder(*b.Canvas(), Rect(0, 0, 200, 100));
  // The body is 20, 20, 200, 100; its left edge is open where the nose meets it (y 25 to 53,
  // grown by 2), and the nose's sides carry no line.
  EXPECT_EQ(CountColor(b, kBlue, Rect(15, 24, 25, 54)), 0);
  EXPECT_GT(CountColor(b, kBlue, Rect(15, 60, 25, 90)), 0);
  EXPECT_GT(CountColor(b, kBlue, Rect(30, 15, 190, 25)), 0);
  EXPECT_EQ(CountColor(b, kBlue, Rect(0, 0, 15, 100)), 0);

  // The bubbles' boxes are cut out before the body is drawn: no body line inside them.
  Blank(b, 220, 120, plat::clWhite);
  r.SetShape(rsEllipticThinkBubble);
  r.PaintBorder(*b.Canvas(), Rect(0, 0, 200, 100));
  EXPECT_GT(CountColor(b, kBlue, Rect(0, 0, 33, 33)), 0);       // the trail
  EXPECT_GT(CountColor(b, kBlue, Rect(100, 90, 120, 100)), 0);  // the body
}

TEST_F(ShapedForm, OnePerFormAndOnlyOnAForm) {
  auto* shape = new TZelFormShape(form);
  const std::string second = MessageOf([&] { new TZelFormShape(form); });
  EXPECT_EQ(second, "TZelFormShape:\rInvalid owner (<>TForm) or second instance on a form");
  EXPECT_EQ(form->ComponentCount(), 1);
  auto* panel = new plat::TPanel(form);
  EXPECT_EQ(MessageOf([&] { new TZelFormShape(panel); }), second);
  EXPECT_EQ(MessageOf([&] { new TZelFormShape(nullptr); }), second);
  delete shape;
  delete new TZelFormShape(form);
}

TEST_F(ShapedForm, MasksTheWindowAndFollowsItsSize) {
  form->Show();
  auto* shape = new TZelFormShape(form);
  shape->Region()->SetShape(rsElliptic);
  QWidget* window = plat::WidgetOf(form)->window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ZelRgnFromRegion(plat::RegionOf(window->mask())), TZelRgn::FromEllipse(Rect(0, 0, 200, 120)));
  // In the window's own coordinates the region lies below the caption and inside the frame.
  EXPECT_EQ(shape->WindowRegion(), shape->ClientRegion().Moved(4, 19));
  EXPECT_EQ(shape->CaptionHeight(), 19);

  form->SetClientWidth(300);
  form->SetClientHeight(100);
  EXPECT_EQ(ZelRgnFromRegion(plat::RegionOf(window->mask())), TZelRgn::FromEllipse(Rect(0, 0, 300, 100)));

  // A shadow belongs to the window too.
  shape->Region()->Shadow()->SetStyle(hssSolid);
  EXPECT_EQ(ZelRgnFromRegion(plat::RegionOf(window->mask())).Bounds(), Rect(0, 0, 300, 100));
  EXPECT_FALSE(window->mask().contains(QPoint(3, 97)));

  // Without its caption the window asks for no decoration; switched off, it is whole again.
  shape->SetShowFormCaption(false);
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  shape->SetEnabled(false);
  EXPECT_TRUE(window->mask().isEmpty());
  EXPECT_FALSE(window->windowFlags() & Qt::FramelessWindowHint);
  shape->SetEnabled(true);
  EXPECT_FALSE(window->mask().isEmpty());

  // A shape with no region leaves the window whole rather than showing nothing.
  shape->Region()->SetShape(rsUserRegion);
  EXPECT_TRUE(window->mask().isEmpty());
  EXPECT_TRUE(shape->ClientRegion().Empty());
}

TEST_F(ShapedForm, BitmapShapeSizesTheForm) {
  auto* shape = new TZelFormShape(form);
  TZelBorderRegion* region = shape->Region();
  region->Mask()->BorderBmp()->SetSize(90, 70);
  region->Mask()->SetRegion(plat::RegionOf(QRegion(10, 0, 70, 70)));
  region->SetShape(rsBitmap);
  EXPECT_EQ(form->ClientWidth(), 96);
  EXPECT_EQ(form->ClientHeight(), 76);
  EXPECT_EQ(shape->ClientRegion(), TZelRgn::FromRect(Rect(10, 0, 80, 70)));
  // The picture is what the children are given as background.
  EXPECT_TRUE(shape->BackgroundAvailable());
  EXPECT_EQ(shape->BackgroundBitmap(), region->Mask()->BorderBmp());
  shape->SetUseRgnBitmap(false);
  EXPECT_FALSE(shape->BackgroundAvailable());
  EXPECT_EQ(shape->BackgroundBitmap(), nullptr);
  shape->FillObject()->SetStyle(sfBrush);
  ASSERT_NE(shape->BackgroundBitmap(), nullptr);
  EXPECT_EQ(shape->BackgroundBitmap()->Width(), 96);
}

TEST_F(ShapedForm, PaintsItsBackgroundInsideTheShape) {
  form->SetColor(plat::clSilver);
  int painted = 0;
  form->OnPaint = [&](plat::TObject*) {
    ++painted;
    form->Canvas()->Brush()->SetColor(plat::clLime);
    form->Canvas()->FillRect(Rect(0, 0, 4, 4));
  };
  auto* shape = new TZelFormShape(form);
  shape->Region()->SetShape(rsElliptic);
  shape->Region()->Border()->SetSingleColor(plat::clBlue);
  shape->FillObject()->SetStyle(sfBrush);
  shape->FillObject()->Brush()->SetColor(plat::clRed);
  QImage img = Picture();
  EXPECT_EQ(At(img, 100, 60), kRed);
  EXPECT_EQ(At(img, 100, 0), kBlue);  // the border along the ellipse's top
  EXPECT_EQ(At(img, 1, 1), kLime);    // the form's own painting comes after
  EXPECT_GT(painted, 0);

  // No fill: the form's colour inside the border; unhooked, the form's own background.
  shape->FillObject()->SetStyle(sfNone);
  img = Picture();
  EXPECT_EQ(At(img, 100, 60), uint32_t(plat::ColorToRGB(plat::clSilver)));
  EXPECT_EQ(At(img, 100, 0), kBlue);
  shape->SetEnabled(false);
  img = Picture();
  EXPECT_EQ(At(img, 100, 0), uint32_t(plat::ColorToRGB(plat::clSilver)));
}

TEST_F(ShapedForm, DraggedByItsBackgroundOnly) {
  form->Show();
  auto* button = new plat::TButton(form);
  button->SetParent(form);
  button->SetBounds(10, 10, 60, 24);
  int downs = 0;
  form->OnMouseDown = [&](plat::TObject*, plat::TMouseButton, plat::TShiftState, int, int) { ++downs; };
  auto* shape = new TZelFormShape(form);
  QWidget* client = plat::ClientWidgetOf(form);
  const QPoint g = client->mapToGlobal(QPoint(100, 60));
  const int left = form->Left(), top = form->Top();

  Mouse(client, QEvent::MouseButtonPress, {100, 60}, g, Qt::LeftButton);
  Mouse(client, QEvent::MouseMove, {130, 80}, g + QPoint(30, 20), Qt::LeftButton);
  Mouse(client, QEvent::MouseButtonRelease, {130, 80}, g + QPoint(30, 20), Qt::LeftButton);
  EXPECT_EQ(form->Left(), left + 30);
  EXPECT_EQ(form->Top(), top + 20);
  EXPECT_EQ(downs, 0);  // the background acted as the caption

  // Over a child control, with the right button, or when not dragable: the form stays.
  Mouse(client, QEvent::MouseButtonPress, {20, 15}, g, Qt::LeftButton);
  Mouse(client, QEvent::MouseMove, {50, 15}, g + QPoint(30, 0), Qt::LeftButton);
  Mouse(client, QEvent::MouseButtonRelease, {50, 15}, g + QPoint(30, 0), Qt::LeftButton);
  Mouse(client, QEvent::MouseButtonPress, {100, 60}, g, Qt::RightButton);
  Mouse(client, QEvent::MouseMove, {130, 60}, g + QPoint(30, 0), Qt::RightButton);
  Mouse(client, QEvent::MouseButtonRelease, {130, 60}, g + QPoint(30, 0), Qt::RightButton);
  shape->SetFormDragable(false);
  Mouse(client, QEvent::MouseButtonPress, {100, 60}, g, Qt::LeftButton);
  Mouse(client, QEvent::MouseMove, {130, 60}, g + QPoint(30, 0), Qt::LeftButton);
  Mouse(client, QEvent::MouseButtonRelease, {130, 60}, g + QPoint(30, 0), Qt::LeftButton);
  EXPECT_EQ(form->Left(), left + 30);
  EXPECT_EQ(form->Top(), top + 20);
  EXPECT_GT(downs, 0);
}
