#include <gtest/gtest.h>

#include <functional>

#include "controls/ZelAlphaObject.h"
#include "controls/ZelBitmapEffectObject.h"
#include "controls/ZelButtonLayout.h"
#include "controls/ZelFXCaption.h"
#include "controls/ZelFillObject.h"
#include "controls/ZelGradient.h"
#include "controls/ZelPointList.h"
#include "controls/ZelShadow.h"
#include "controls/zelcont.h"
#include "platform/ui/graphics.h"
#include "platform/ui/streams.h"

namespace {

// Counts the notifications an option object sends.
template <class T>
struct Watched {
  T object;
  int changes = 0;
  Watched() {
    object.OnChange = [this](plat::TObject* sender) {
      EXPECT_EQ(sender, &object);
      ++changes;
    };
  }
  // How many notifications f causes.
  int Count(const std::function<void(T&)>& f) {
    int before = changes;
    f(object);
    return changes - before;
  }
};

}  // namespace

TEST(OptionObjects, OneNotificationPerEffectiveChange) {
  Watched<TZelButtonLayout> layout;
  EXPECT_EQ(layout.object.Alignment(), agCenter);
  EXPECT_EQ(layout.Count([](auto& o) { o.SetSpacing(5); }), 1);
  EXPECT_EQ(layout.Count([](auto& o) { o.SetSpacing(5); }), 0);
  EXPECT_EQ(layout.Count([](auto& o) { o.SetArrowSize(99); }), 1);
  EXPECT_EQ(layout.object.ArrowSize(), 10);
  EXPECT_EQ(layout.Count([](auto& o) { o.SetArrowSize(10); }), 0);

  Watched<TZelFxCaption> fx;
  EXPECT_EQ(fx.Count([](auto& o) { o.SetAngle(90); }), 1);
  EXPECT_EQ(fx.Count([](auto& o) { o.SetAngle(360); }), 1);
  EXPECT_EQ(fx.object.Angle(), 0);
  EXPECT_EQ(fx.Count([](auto& o) { o.SetAngle(360); }), 0);
  EXPECT_EQ(fx.Count([](auto& o) { o.SetAngle(400); }), 0);
  EXPECT_EQ(fx.Count([](auto& o) { o.SetPositionSilently(3, 4); }), 0);
  EXPECT_EQ(fx.object.PosX(), 3);
  EXPECT_EQ(fx.Count([](auto& o) { o.SetLightColor(plat::clRed); }), 1);

  // A bracket holds notifications back; closing it notifies once when asked.
  EXPECT_EQ(fx.Count([](auto& o) {
    o.BeginUpdate();
    o.SetStyle(tdRaised);
    o.SetShadowDepth(4);
    o.EndUpdate(true);
  }),
            1);

  Watched<TZelShadow> shadow;
  EXPECT_EQ(shadow.Count([](auto& o) { o.SetDepth(-3); }), 1);
  EXPECT_EQ(shadow.object.Depth(), 0);
  EXPECT_EQ(TZelRgnShadow().Style(), hssNone);
}

TEST(OptionObjects, FillPlacementNotifiesOnlyWhereItShows) {
  Watched<TZelFillObject> fill;
  EXPECT_EQ(fill.object.Style(), sfNone);
  EXPECT_EQ(fill.changes, 0);  // the creation sets its style without telling
  fill.object.SetStyle(sfBrush);
  EXPECT_EQ(fill.Count([](auto& o) { o.SetAlignment(agBottomRight); }), 0);
  EXPECT_EQ(fill.object.Alignment(), agBottomRight);
  fill.object.SetStyle(sfBitmap);
  EXPECT_EQ(fill.Count([](auto& o) { o.SetOffsetX(4); }), 0);  // tiled: the offset does not show
  fill.object.SetTileMode(tmNone);
  EXPECT_EQ(fill.Count([](auto& o) { o.SetOffsetX(5); }), 1);
  EXPECT_EQ(fill.Count([](auto& o) { o.SetOffsetX(5); }), 0);
  // Changes inside the owned brush, bitmap and gradient reach the owner.
  EXPECT_EQ(fill.Count([](auto& o) { o.Brush()->SetColor(plat::clRed); }), 1);
  EXPECT_EQ(fill.Count([](auto& o) { o.Gradient()->SetStyle(gstSquare); }), 1);
  EXPECT_GE(fill.Count([](auto& o) { o.Bitmap()->SetSize(4, 4); }), 1);
}

TEST(OptionObjects, AssignCopiesEverythingAndNotifiesOnce) {
  TZelFillObject source;
  source.SetStyle(sfGradient);
  source.SetTileMode(tmStretch);
  source.SetOptions(foQuickDraw);
  source.Gradient()->SetColorCount(40);
  source.Gradient()->SetStyle(gstElliptic);
  source.Brush()->SetColor(plat::clLime);
  Watched<TZelFillObject> copy;
  EXPECT_EQ(copy.Count([&](auto& o) { o.Assign(&source); }), 1);
  EXPECT_EQ(copy.object.Style(), sfGradient);
  EXPECT_EQ(copy.object.TileMode(), tmStretch);
  EXPECT_EQ(copy.object.Options(), TZelFillOptions(foQuickDraw));
  EXPECT_EQ(copy.object.Gradient()->ColorTable().size(), 40u);
  EXPECT_EQ(copy.object.Brush()->Color(), plat::clLime);

  // From a base class only the base's part is copied.
  TZelGlyphTextLayout plain;
  plain.SetSpacing(9);
  Watched<TZelButtonLayout> button;
  button.object.SetArrow(true);
  EXPECT_EQ(button.Count([&](auto& o) { o.Assign(&plain); }), 1);
  EXPECT_EQ(button.object.Spacing(), 9);
  EXPECT_TRUE(button.object.Arrow());
  EXPECT_THROW(button.object.Assign(&source), plat::EConvertError);
}

TEST(Gradient, TablesFollowTheProperties) {
  Watched<TZelGradient> g;
  const TZelColorTable& t = g.object.ColorTable();
  ASSERT_EQ(t.size(), 16u);
  EXPECT_EQ(t.front(), 0xFF0000u);
  EXPECT_EQ(t.back(), 0x000000u);
  EXPECT_EQ(t[1], 0xEE0000u);  // 255 - 255 / 15

  // Three colours at 16: 16 div 3 = 5 steps a segment; the second continues without repeating
  // its start.
  g.object.SetTwoColors(false);
  EXPECT_TRUE(g.object.ColorTable().empty());
  g.object.SetColorList({plat::clRed, plat::clLime, plat::clBlue});
  const TZelColorTable& m = g.object.ColorTable();
  ASSERT_EQ(m.size(), 9u);
  EXPECT_EQ(m[0], 0x0000FFu);
  EXPECT_EQ(m[4], 0x00FF00u);
  EXPECT_EQ(m[8], 0xFF0000u);

  // The palette exists only with PaletteRealize, one entry per colour with the no-collapse flag.
  EXPECT_EQ(g.object.Palette(), nullptr);
  g.object.SetPaletteRealize(true);
  ASSERT_NE(g.object.Palette(), nullptr);
  EXPECT_EQ(g.object.Palette()->Entries.size(), 9u);
  EXPECT_EQ(g.object.Palette()->Entries[0], 0x040000FFu);

  // Fewer list colours than segments need steps: a ramp of one step is its start colour.
  g.object.SetColorCount(2);
  g.object.SetColorList({plat::clRed, plat::clLime});
  EXPECT_EQ(g.object.ColorTable(), (TZelColorTable{0x0000FF}));
  g.object.SetColorList({plat::clRed, plat::clLime, plat::clBlue});
  EXPECT_EQ(g.object.ColorTable().size(), 0u);  // 2 div 3 = 0 steps
  EXPECT_EQ(g.object.Summary(), "{vertical, Col: 2, mult. col mode}");
}

TEST(Gradient, ColorListStreamForm) {
  TZelGradient g;
  g.SetColorList({-1, 300, 0x123456});
  plat::TMemoryStream s;
  g.WriteColorList(s);
  const plat::TCustomMemoryStream& view = s;
  std::string bytes(static_cast<const char*>(view.Memory()), size_t(s.Size()));
  EXPECT_EQ(bytes, std::string("\x01\x02\xFF\x03\x2C\x01\x04\x56\x34\x12\x00\x00", 12));
  TZelGradient back;
  int changes = 0;
  back.OnChange = [&](plat::TObject*) { ++changes; };
  back.SetTwoColors(false);
  changes = 0;
  s.SetPosition(0);
  back.ReadColorList(s);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(back.ColorList(), (std::vector<plat::TColor>{-1, 300, 0x123456}));
  plat::TMemoryStream bad;
  bad.WriteU8(1);
  bad.WriteU8(7);
  bad.SetPosition(0);
  EXPECT_THROW(back.ReadColorList(bad), plat::EReadError);
}

TEST(PointList, PackingAndNotification) {
  TZelPointList list;
  int changes = 0;
  list.OnChange = [&](plat::TObject*) { ++changes; };
  list.Add({5, -1});
  list.Add({65535, 32767});
  EXPECT_EQ(list.Item(0), 0x0005FFFFu);
  EXPECT_EQ(list.Point(0), (plat::TPoint{5, -1}));
  EXPECT_EQ(list.Point(1), (plat::TPoint{65535, 32767}));
  plat::TPoint p{7, 7};
  list.Get(2, p);
  EXPECT_EQ(p, (plat::TPoint{7, 7}));
  list.Set(9, {1, 1});
  EXPECT_EQ(changes, 2);
  list.BeginUpdate();
  list.Set(0, {1, 2});
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.Point(0), (plat::TPoint{1, 2}));
}

TEST(OptionObjects, DesignerSummaries) {
  TZelFxCaption fx;
  EXPECT_EQ(fx.Summary(), "{Disabled}");
  fx.SetAngle(45);
  EXPECT_EQ(fx.Summary(), "{ rot: 45\u00B0}");
  fx.SetStyle(tdSunkenShadow);
  EXPECT_EQ(fx.Summary(), "{sunken shadow, rot: 45\u00B0}");
  TZelShadow shadow;
  EXPECT_EQ(shadow.Summary(), "{solid, 6}");
  TZelAlphaObject alpha;
  EXPECT_EQ(alpha.Summary(), "{Disabled}");
  alpha.FillObject()->SetStyle(sfGradient);
  EXPECT_EQ(alpha.Summary(), "{Enabled (grad), strength: 0.600}");
  TZelBitmapEffectObject fx2;
  EXPECT_EQ(fx2.Summary(), "{Disabled}");
  fx2.SetGrayScale(true);
  fx2.SetBrightness(-3);
  fx2.SetFlipVertical(true);
  EXPECT_EQ(fx2.Summary(), "{FV,GS,B}");
}

TEST(OptionObjects, AlphaObjectFollowsItsImageList) {
  TZelAlphaObject alpha;
  int changes = 0;
  alpha.OnChange = [&](plat::TObject*) { ++changes; };
  auto list = std::make_unique<TZelImageList>();
  alpha.SetImageList(list.get());
  EXPECT_EQ(changes, 1);
  list->Add();  // a change of the list reaches the alpha object's owner
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(alpha.StoresListByTag());
  list.reset();
  // The list is gone: the link was cut, and the freed list is never handed out.
  EXPECT_EQ(alpha.ImageList(), nullptr);
  alpha.ReadListByTag("ZelBML30");
  EXPECT_EQ(alpha.ImageList(), ZelContainer->BitmapList());
  EXPECT_EQ(alpha.ListTag(), "ZelBML30");
  alpha.ReadListByTag("nonsense");
  EXPECT_EQ(alpha.ImageList(), nullptr);
}
