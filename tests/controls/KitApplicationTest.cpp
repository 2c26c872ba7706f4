#include <gtest/gtest.h>

#include <sys/utsname.h>

#include "KitTestSupport.h"
#include "controls/zelcont.h"
#include "controls/zelsysin.h"
#include "platform/ui/stdctrls.h"

TEST(KitGlobals, MadeByTheKitAndPatternBitmap) {
  ASSERT_NE(ZelApplication, nullptr);
  ASSERT_NE(ZelContainer, nullptr);
  EXPECT_EQ(ZelApplication->TimerPool()->MinInterval(), 50);
  // The pool's timer is the UI thread's: an added timer starts it, removing the last stops it.
  uint16_t id = ZelApplication->AddTimer(100, nullptr);
  ASSERT_NE(id, 0);
  EXPECT_TRUE(ZelApplication->TimerPool()->Running());
  ZelApplication->RemoveTimer(id);
  EXPECT_FALSE(ZelApplication->TimerPool()->Running());

  plat::TBitmap* p = ZelApplication->GetPatternBitmap(0x0000FF);
  ASSERT_EQ(p->Width(), 8);
  EXPECT_EQ(PixelOf(*p, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(*p, 1, 0), 0x0000FFu);
  EXPECT_EQ(PixelOf(*p, 7, 6), 0x0000FFu);
  EXPECT_EQ(PixelOf(*p, 7, 7), 0xFFFFFFu);
  EXPECT_EQ(ZelApplication->GetPatternBitmap(0x0000FF), p);
  ZelApplication->GetPatternBitmap(0x00FF00);
  EXPECT_EQ(PixelOf(*p, 1, 0), 0x00FF00u);  // the one bitmap, painted anew
  EXPECT_EQ(PixelOf(*p, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(ZelPatternBitmap(0x123456), p);
}

TEST(KitGlobals, OneInstanceCheck) {
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  auto isButton = [](plat::TComponent* c) { return dynamic_cast<plat::TButton*>(c) != nullptr; };
  new plat::TButton(form);
  EXPECT_FALSE(CheckOneInstance(form, isButton, false));
  new plat::TButton(form);
  EXPECT_TRUE(CheckOneInstance(form, isButton, false));
  EXPECT_FALSE(CheckOneInstance(form, nullptr, false));
  plat::TComponent notAForm;
  EXPECT_TRUE(CheckOneInstance(&notAForm, isButton, true));
  delete form;
}

TEST(SystemInfo, TextsOfTheInformationKinds) {
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_EQ(InfoText(itVersion), ParseKernelRelease(u.release).Text);
  EXPECT_EQ(InfoText(itPlatform32), std::string(u.sysname));
  EXPECT_EQ(InfoText(itDOSVersion), "Win32");
  EXPECT_EQ(InfoText(itProgName), "Solvane");
  for (TZelInfoType lock : {itNumLock, itCapsLock, itScroll}) {
    std::string t = InfoText(lock);
    EXPECT_TRUE(t == "On" || t == "Off") << t;
  }
  const int64_t total = std::stoll(InfoText(itMemSize));
  EXPECT_GT(total, 0);
  EXPECT_EQ(std::stoll(InfoText(itMemSize, 1024)), total / 1024);
  EXPECT_EQ(InfoText(itCurrentDateTime, 0, "yyyy").size(), 4u);
  EXPECT_GT(ColorDepth(), 0);
}
