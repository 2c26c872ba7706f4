// What the deck keeps beside a take recorded into a cart, and what the next start makes of it.
#include <gtest/gtest.h>

#include <unistd.h>

#include "common/scratch.h"
#include "engine/MMWaveIO.h"
#include "platform/system/files.h"
#include "recorder/CartTail.h"

namespace {

const int kName = FindInfoIdentifier(plat::FourCC("INAM"));

PWaveIOBlock Open(const std::string& path) {
  PWaveIOBlock b;
  EXPECT_EQ(WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile), wioOk);
  return b;
}

std::string Bytes(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

}  // namespace

TEST(CartTail, AKilledTakeIsFinishedWithWhatWasKeptAndOnlyAWholeRegularFileIsTaken) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav"), kept = folder + kCartTailName;
  ASSERT_TRUE(plat::ForceDirectories(folder));
  WAVEFORMATEX f;
  MakePCMFormat(f, 8, 1, 8000);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOAlloc(b, &f), wioOk);
  std::string title = "Morning news";
  SetInfoItemText(b->InfoList, kName, &title, isSet);
  b->DispList.push_back({kDispBitmap, isRead, std::string(60, '\x33'), {}});
  ASSERT_EQ(WaveIOCreate(b.get(), cart), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), std::string(1000, '\x11').data(), 1000), 1000);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  const std::string finished = Bytes(cart);

  // Kept as the take starts; the take runs on past the end, and the process dies.
  b = Open(cart);
  ASSERT_TRUE(KeepCartTail(folder, cart, b.get()));
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 900), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), std::string(500, '\x22').data(), 500), 500);
  WaveIOClose(b);
  ASSERT_EQ(Open(cart)->DispList.size(), 0u) << "the take cut off the picture";

  EXPECT_EQ(FinishKeptCart(folder), cart);
  EXPECT_FALSE(plat::FileExists(kept));
  b = Open(cart);
  EXPECT_EQ(InfoItemText(b->InfoList, kName), title);
  ASSERT_EQ(b->DispList.size(), 1u);
  EXPECT_EQ(b->DispList[0].Data, std::string(60, '\x33'));
  EXPECT_EQ(b->TotalSamples, 1400);
  EXPECT_EQ(FinishKeptCart(folder), "") << "nothing kept";

  // Killed while it was being kept: no take had started, and the cart is left as it is.
  ASSERT_TRUE(plat::WriteWholeFile(cart, finished));
  ASSERT_TRUE(KeepCartTail(folder, dir.Path("other.wav"), b.get()));
  const std::string whole = Bytes(kept);
  ASSERT_EQ(truncate(kept.c_str(), off_t(whole.size() - 10)), 0);
  EXPECT_EQ(FinishKeptCart(folder), "");
  EXPECT_FALSE(plat::FileExists(kept));

  // A link is neither followed when keeping nor taken at the start.
  const std::string elsewhere = dir.Path("elsewhere");
  ASSERT_TRUE(plat::WriteWholeFile(elsewhere, whole));
  ASSERT_EQ(symlink(elsewhere.c_str(), kept.c_str()), 0);
  EXPECT_EQ(FinishKeptCart(folder), "");
  ASSERT_TRUE(KeepCartTail(folder, cart, nullptr));
  EXPECT_EQ(Bytes(elsewhere), whole);
  FinishKeptCart(folder);
  EXPECT_FALSE(plat::FileExists(kept));
  EXPECT_EQ(Bytes(cart), finished);
}
