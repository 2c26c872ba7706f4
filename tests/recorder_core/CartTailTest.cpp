// What the deck keeps beside a take recorded into a cart, and what the next start makes of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// A finished cart of 8-bit mono (a byte a sample): samples of fill, then its picture and title.
void MakeCart(const std::string& path, const std::string& title, char fill, size_t samples = 1000) {
  WAVEFORMATEX f;
  MakePCMFormat(f, 8, 1, 8000);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOAlloc(b, &f), wioOk);
  std::string text = title;
  if (!title.empty()) {
    SetInfoItemText(b->InfoList, kName, &text, isSet);
    b->DispList.push_back({kDispBitmap, isRead, std::string(60, '\x33'), {}});
  }
  ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), std::string(samples, fill).data(), int64_t(samples)), int64_t(samples));
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
}

// A take into the cart from byte from, n bytes of take long, as the deck keeps it first; killed
// before its finish when it has run past the end, after its first audio was stamped when stamped.
TKeep KeptTake(const std::string& folder, const std::string& cart, int64_t from, int64_t n, bool stamped = false,
               const std::string& take = {}) {
  PWaveIOBlock b = Open(cart);
  const TKeep kept = KeepCartTail(folder, cart, b.get(), from, true);
  const std::string audio = take.empty() ? std::string(size_t(n), '\x22') : take;
  EXPECT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(WaveIOSeek(b.get(), from), wioOk);
  EXPECT_EQ(WaveIOWrite(b.get(), audio.data(), n), n);
  WaveIOClose(b);
  if (stamped) {
    EXPECT_EQ(StampKeptTake(folder, cart, n), TStamp::Done);
  }
  return kept;
}

// Audio that is no silence: every byte differs from the one before.
std::string Audio(size_t n, int seed) {
  std::string a(n, '\0');
  for (size_t i = 0; i < n; ++i) a[i] = char(i * 7 + size_t(seed));
  return a;
}

std::vector<TKeptCart> Finish(const std::string& folder) { return FinishKeptCart(folder); }

bool Is(const std::vector<TKeptCart>& carts, const std::string& path, TKeptState state) {
  for (const TKeptCart& c : carts)
    if (c.path == path) return c.state == state;
  return false;
}

void ExpectTitled(const std::string& cart, const std::string& title, int64_t samples) {
  PWaveIOBlock b = Open(cart);
  ASSERT_TRUE(b);
  EXPECT_EQ(InfoItemText(b->InfoList, kName), title);
  ASSERT_EQ(b->DispList.size(), 1u);
  EXPECT_EQ(b->DispList[0].Data, std::string(60, '\x33'));
  EXPECT_EQ(b->TotalSamples, samples);
  EXPECT_NE(b->RiffCk.size, 0u) << "not finished";
}

// The cart "News.wav" recorded into from byte from for n bytes and killed, then put aside as
// "aside.wav" (its disk away), kept in "temp/".
void KeepAndPutAside(const Scratch& dir, int64_t from, int64_t n, bool stamped = false) {
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("temp/")));
  MakeCart(dir.Path("News.wav"), "Morning news", '\x11');
  ASSERT_EQ(KeptTake(dir.Path("temp/"), dir.Path("News.wav"), from, n, stamped, Audio(size_t(n), 1)), TKeep::Kept);
  ASSERT_EQ(::rename(dir.Path("News.wav").c_str(), dir.Path("aside.wav").c_str()), 0);
}

// An unfinished cart of the same format at path, as a recorder cut short leaves one: samples of fill.
void MakeUnfinished(const std::string& path, const std::string& samples) {
  WAVEFORMATEX f;
  MakePCMFormat(f, 8, 1, 8000);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOAlloc(b, &f), wioOk);
  ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), samples.data(), int64_t(samples.size())), int64_t(samples.size()));
  WaveIOClose(b);
}

// Back in its place, the cart is finished with its title.
void ExpectFinishedOnceBack(const Scratch& dir) {
  ASSERT_EQ(::rename(dir.Path("aside.wav").c_str(), dir.Path("News.wav").c_str()), 0);
  EXPECT_TRUE(Is(Finish(dir.Path("temp/")), dir.Path("News.wav"), TKeptState::Finished));
  ExpectTitled(dir.Path("News.wav"), "Morning news", 1400);
}

}  // namespace

TEST(CartTail, AKilledTakeIsFinishedWithWhatWasKeptAndOnlyAWholeRegularFileIsTaken) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav"), kept = folder + kCartTailName;
  ASSERT_TRUE(plat::ForceDirectories(folder));
  MakeCart(cart, "Morning news", '\x11');
  const std::string finished = Bytes(cart);

  // Kept as the take starts; the take runs on past the end, and the process dies.
  ASSERT_EQ(KeptTake(folder, cart, 900, 500), TKeep::Kept);
  ASSERT_EQ(Open(cart)->DispList.size(), 0u) << "the take cut off the picture";

  std::vector<TKeptCart> carts = Finish(folder);
  ASSERT_EQ(carts.size(), 1u);
  EXPECT_TRUE(Is(carts, cart, TKeptState::Finished));
  EXPECT_TRUE(carts[0].hasLists);
  EXPECT_FALSE(plat::FileExists(kept));
  ExpectTitled(cart, "Morning news", 1400);
  EXPECT_TRUE(Finish(folder).empty()) << "nothing kept";

  // Killed while it was being kept in place (an earlier version wrote it so): no take had started,
  // and the cart is left as it is.
  ASSERT_TRUE(plat::WriteWholeFile(cart, finished));
  ASSERT_EQ(KeepCartTail(folder, cart, Open(cart).get(), 0, true), TKeep::Kept);
  const std::string whole = Bytes(kept);
  ASSERT_EQ(truncate(kept.c_str(), off_t(whole.size() - 10)), 0);
  EXPECT_TRUE(Finish(folder).empty());
  EXPECT_FALSE(plat::FileExists(kept));

  // A link is neither followed when keeping nor taken at the start.
  const std::string elsewhere = dir.Path("elsewhere");
  ASSERT_TRUE(plat::WriteWholeFile(elsewhere, whole));
  ASSERT_EQ(symlink(elsewhere.c_str(), kept.c_str()), 0);
  EXPECT_TRUE(Finish(folder).empty());
  ASSERT_EQ(KeepCartTail(folder, cart, Open(cart).get(), 0, false), TKeep::Kept);
  EXPECT_EQ(Bytes(elsewhere), whole);
  Finish(folder);
  EXPECT_FALSE(plat::FileExists(kept));
  EXPECT_EQ(Bytes(cart), finished);
}

// A cart whose folder is away (a disk not mounted, a share not back) is kept through every try,
// and finished with its title once it is back; another cart kept beside it is finished meanwhile.
TEST(CartTail, ACartThatCannotBeReachedStaysKeptUntilItCanBe) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), kept = folder + kCartTailName;
  const std::string disk = dir.Path("disk"), cart = disk + "/News.wav", other = dir.Path("Sport.wav");
  ASSERT_TRUE(plat::ForceDirectories(folder) && plat::ForceDirectories(disk));
  MakeCart(cart, "Morning news", '\x11');
  MakeCart(other, "Sport", '\x44');
  ASSERT_EQ(KeptTake(folder, cart, 600, 800), TKeep::Kept);
  ASSERT_EQ(KeptTake(folder, other, 100, 1200), TKeep::Kept);
  const std::string unfinished = Bytes(cart);
  ASSERT_EQ(::rename(disk.c_str(), (disk + "-away").c_str()), 0);

  for (int tries = 0; tries < 2; ++tries) {
    const std::vector<TKeptCart> carts = Finish(folder);
    ASSERT_EQ(carts.size(), tries == 0 ? 2u : 1u);
    EXPECT_TRUE(Is(carts, cart, TKeptState::Unreachable));
  }
  ExpectTitled(other, "Sport", 1300);
  // The folder back empty (a mount point whose disk is not there) is not yet the cart either.
  ASSERT_TRUE(plat::ForceDirectories(disk));
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Unreachable));
  ASSERT_EQ(::rmdir(disk.c_str()), 0);

  ASSERT_EQ(::rename((disk + "-away").c_str(), disk.c_str()), 0);
  EXPECT_EQ(Bytes(cart), unfinished) << "written while it was away";
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Finished));
  EXPECT_FALSE(plat::FileExists(kept));
  ExpectTitled(cart, "Morning news", 1400);
}

// The kept lists go into the file the take went into, and into no other that stands at its path:
// a finished untitled cart, an unfinished one with other samples before the take's start, one
// that is shorter than the cart was, something that is no wave. Each is left as it is, the cart
// stays kept, and once the file is back it is finished.
TEST(CartTail, TheKeptListsGoIntoNoOtherFileAtTheCartsPath) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav");
  ASSERT_NO_FATAL_FAILURE(KeepAndPutAside(dir, 600, 800));

  const std::string stranger = dir.Path("stranger.wav");
  auto expectLeftAlone = [&](const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(::rename(stranger.c_str(), cart.c_str()), 0);
    const std::string bytes = Bytes(cart);
    const std::vector<TKeptCart> carts = Finish(folder);
    EXPECT_TRUE(Is(carts, cart, TKeptState::Other));
    EXPECT_EQ(Bytes(cart), bytes) << "written into";
    EXPECT_TRUE(plat::FileExists(folder + kCartTailName));
    ASSERT_EQ(::rename(cart.c_str(), stranger.c_str()), 0);
  };
  MakeCart(stranger, "", '\x77', 1400);
  expectLeftAlone("a finished untitled cart");
  // Unfinished, of the same format, with the take's samples but others before its start.
  MakeCart(stranger, "Evening news", '\x55');
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("temp2/")));
  ASSERT_EQ(KeptTake(dir.Path("temp2/"), stranger, 600, 800), TKeep::Kept);
  expectLeftAlone("another take cut short");
  // Unfinished, with the cart's samples before the take's start, but fewer than the cart had.
  MakeCart(stranger, "", '\x11', 700);
  std::string shorter = Bytes(stranger);
  shorter.replace(4, 4, std::string(4, '\0'));
  ASSERT_TRUE(plat::WriteWholeFile(stranger, shorter));
  expectLeftAlone("a shorter one");
  ASSERT_TRUE(plat::WriteWholeFile(stranger, "not a wave"));
  expectLeftAlone("no wave");
  // A FIFO is no file either, and is never waited on.
  ASSERT_EQ(::mkfifo(cart.c_str(), 0600), 0);
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Other));
  ASSERT_EQ(::unlink(cart.c_str()), 0);
  ExpectFinishedOnceBack(dir);
}

// A take from the very start of a cart leaves nothing of the cart's own samples to tell its file
// by: once its first audio is on the disk it is told by that. Whatever else of the cart's format
// stands at its path, unfinished or finished with a title of its own, is left as it is and the
// title stays kept, and the cart once back is finished with it.
TEST(CartTail, ATakeFromTheStartIsToldByItsFirstAudio) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav");
  ASSERT_NO_FATAL_FAILURE(KeepAndPutAside(dir, 0, 1400, true));
  const std::string stranger = dir.Path("stranger.wav");
  auto expectLeftAlone = [&](const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_EQ(::rename(stranger.c_str(), cart.c_str()), 0);
    const std::string bytes = Bytes(cart), kept = Bytes(folder + kCartTailName);
    EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Other));
    EXPECT_EQ(Bytes(cart), bytes) << "written into";
    EXPECT_EQ(Bytes(folder + kCartTailName), kept) << "let go";
    ASSERT_EQ(::rename(cart.c_str(), stranger.c_str()), 0);
  };
  MakeUnfinished(stranger, Audio(1400, 2));
  expectLeftAlone("another take cut short");
  MakeCart(stranger, "Evening news", '\x22', 1400);
  expectLeftAlone("a finished titled cart");
  MakeCart(stranger, "", '\x22', 1400);
  expectLeftAlone("a finished untitled cart");
  ExpectFinishedOnceBack(dir);
}

// Killed before its first audio was stamped, a take from the very start leaves nothing to tell its
// file by: only the very file is finished, and the operator is to be told of any other.
TEST(CartTail, ATakeFromTheStartKilledBeforeItsAudioWasStampedGoesOnlyIntoItsVeryFile) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav");
  ASSERT_NO_FATAL_FAILURE(KeepAndPutAside(dir, 0, 1400));
  MakeUnfinished(cart, Audio(1400, 1));
  const std::string copy = Bytes(cart);
  const std::vector<TKeptCart> carts = Finish(folder);
  EXPECT_TRUE(Is(carts, cart, TKeptState::Untold));
  EXPECT_NE(KeptCartText(carts[0]).find("cannot tell whether the file " + cart), std::string::npos);
  EXPECT_EQ(Bytes(cart), copy) << "written into";
  ASSERT_EQ(::unlink(cart.c_str()), 0);
  ExpectFinishedOnceBack(dir);
}

// A take that made its cart's file anew keeps no title, but once its first audio is stamped, another
// file put at the cart's path is not finished in its place either.
TEST(CartTail, AFileATakeMadeAnewIsToldByItsFirstAudio) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav"), other = dir.Path("other.wav");
  ASSERT_TRUE(plat::ForceDirectories(folder));
  MakeCart(cart, "", '\x11');
  ASSERT_EQ(KeepCartTail(folder, cart, Open(cart).get(), 0, false), TKeep::Kept);
  ASSERT_EQ(::unlink(cart.c_str()), 0);
  MakeUnfinished(cart, Audio(1400, 5));
  EXPECT_EQ(StampKeptTake(folder, cart, 1400), TStamp::Done);
  MakeUnfinished(other, Audio(1400, 6));
  ASSERT_EQ(::rename(other.c_str(), cart.c_str()), 0);
  const std::string bytes = Bytes(cart);
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Finished)) << "nothing to keep";
  EXPECT_EQ(Bytes(cart), bytes) << "written into";
}

// Silence on the disk tells nothing: the stamp waits for audio that does, and until it is kept the
// kept file is as it was.
TEST(CartTail, ATakesFirstAudioIsStampedOnlyOnceItIsNoSilence) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav"), kept = folder + kCartTailName;
  ASSERT_TRUE(plat::ForceDirectories(folder));
  MakeCart(cart, "Morning news", '\x11');
  const std::string take = std::string(700, '\x80') + Audio(700, 3);
  ASSERT_EQ(KeptTake(folder, cart, 0, 1400, false, take), TKeep::Kept);
  const std::string unstamped = Bytes(kept);
  EXPECT_EQ(StampKeptTake(folder, cart, 700), TStamp::NotYet);
  EXPECT_EQ(Bytes(kept), unstamped);
  EXPECT_EQ(StampKeptTake(folder, cart, 1400), TStamp::Done);
  EXPECT_NE(Bytes(kept), unstamped);
  EXPECT_EQ(StampKeptTake(folder, cart, 1400), TStamp::Done) << "stamped once";
  // A path that holds another file now is not stamped at all.
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("temp2/")));
  ASSERT_EQ(KeptTake(dir.Path("temp2/"), cart, 0, 1400), TKeep::Kept);
  const std::string before = Bytes(dir.Path("temp2/") + kCartTailName);
  MakeUnfinished(dir.Path("other.wav"), Audio(1400, 4));
  ASSERT_EQ(::rename(dir.Path("other.wav").c_str(), cart.c_str()), 0);
  EXPECT_EQ(StampKeptTake(dir.Path("temp2/"), cart, 1400), TStamp::Done);
  EXPECT_EQ(Bytes(dir.Path("temp2/") + kCartTailName), before);
}

// A cart whose finish failed is kept with its lists; the next take into it keeps those lists (the
// file has none left) with what tells the file now, so that the cart gets them back whether that
// take is killed (here from an earlier place than the first) or stopped (here from the very start,
// its finish writing no lists of its own).
TEST(CartTail, ANewTakeIntoACartStillKeptGoesOnWithTheListsKeptForIt) {
  for (const bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed" : "stopped");
    Scratch dir;
    const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav");
    ASSERT_TRUE(plat::ForceDirectories(folder));
    MakeCart(cart, "Morning news", '\x11');
    ASSERT_EQ(KeptTake(folder, cart, 900, 500), TKeep::Kept);
    // The file is finished without its lists, as a disk that filled during the finish leaves it.
    ASSERT_EQ(WaveIOFinishFile(cart), wioOk);

    const int64_t from = killed ? 100 : 0;
    PWaveIOBlock b = Open(cart);
    ASSERT_EQ(KeepCartTail(folder, cart, b.get(), from, true), TKeep::Kept);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    ASSERT_EQ(WaveIOSeek(b.get(), from), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), std::string(1500, '\x22').data(), 1500), 1500);
    if (killed) WaveIOClose(b);
    else ASSERT_EQ(WaveIOFinish(b.get()), wioOk);

    const std::vector<TKeptCart> carts = Finish(folder);
    ASSERT_EQ(carts.size(), 1u) << "kept twice";
    EXPECT_TRUE(Is(carts, cart, TKeptState::Finished));
    ExpectTitled(cart, "Morning news", from + 1500);
  }
}

// When the kept file cannot be written (a full disk, here a file-size limit), what was kept before
// stays whole and nothing half-made is left; the answer says whether a title was at stake. No more
// than kMaxKeptCarts are kept.
TEST(CartTail, ACartThatCannotBeKeptLeavesWhatWasKeptAsItWas) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), kept = folder + kCartTailName;
  const std::string cart = dir.Path("News.wav"), untitled = dir.Path("Plain.wav"), gone = dir.Path("away/");
  ASSERT_TRUE(plat::ForceDirectories(folder) && plat::ForceDirectories(gone));
  MakeCart(cart, "Morning news", '\x11');
  MakeCart(untitled, "", '\x11');
  MakeCart(gone + "Old.wav", "Old", '\x11');
  ASSERT_EQ(KeptTake(folder, gone + "Old.wav", 10, 1000), TKeep::Kept);
  ASSERT_EQ(::rename(gone.c_str(), dir.Path("elsewhere").c_str()), 0);
  const std::string before = Bytes(kept);

  ::signal(SIGXFSZ, SIG_IGN);
  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
  rlimit limit = was;
  limit.rlim_cur = before.size() + 40;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const TKeep titled = KeepCartTail(folder, cart, Open(cart).get(), 500, true);
  const TKeep plain = KeepCartTail(folder, untitled, Open(untitled).get(), 500, true);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &was), 0);
  EXPECT_EQ(titled, TKeep::ListsNotKept);
  EXPECT_EQ(plain, TKeep::NotKept);
  EXPECT_EQ(Bytes(kept), before);
  EXPECT_FALSE(plat::FileExists(kept + ".new"));

  for (size_t i = 1; i < kMaxKeptCarts; ++i) {
    const std::string path = dir.Path("away" + std::to_string(i) + ".wav");
    MakeCart(path, "Old", '\x11');
    ASSERT_EQ(KeptTake(folder, path, 10, 1000), TKeep::Kept) << i;
    ASSERT_EQ(::unlink(path.c_str()), 0);
  }
  const std::string full = Bytes(kept);
  EXPECT_EQ(KeepCartTail(folder, cart, Open(cart).get(), 500, true), TKeep::ListsNotKept);
  EXPECT_EQ(Bytes(kept), full);
  EXPECT_EQ(Finish(folder).size(), kMaxKeptCarts);
}

// A file kept by an earlier version holds one cart and nothing to tell its file by: it is finished
// only when the file at its path is unfinished, as the kill left it.
TEST(CartTail, ACartKeptByAnEarlierVersionGoesOnlyIntoAnUnfinishedFile) {
  Scratch dir;
  const std::string folder = dir.Path("temp/"), cart = dir.Path("News.wav"), kept = folder + kCartTailName;
  ASSERT_TRUE(plat::ForceDirectories(folder));
  MakeCart(cart, "Morning news", '\x11');
  // The earlier layout: the path, then the lists, straight in the form.
  ASSERT_EQ(KeptTake(folder, cart, 900, 500), TKeep::Kept);
  std::string bytes = Bytes(kept);
  const size_t iden = bytes.find("iden");
  ASSERT_NE(iden, std::string::npos);
  const uint32_t size = plat::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + iden + 4);
  bytes.erase(iden, 8 + size + (size & 1));
  plat::PutLE32(reinterpret_cast<uint8_t*>(bytes.data()) + 4, uint32_t(bytes.size() - 8));
  ASSERT_TRUE(plat::WriteWholeFile(kept, bytes));
  const std::string unfinished = Bytes(cart);

  MakeCart(cart, "", '\x11', 1400);
  const std::string untitled = Bytes(cart);
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Other));
  EXPECT_EQ(Bytes(cart), untitled);

  ASSERT_TRUE(plat::WriteWholeFile(cart, unfinished));
  EXPECT_TRUE(Is(Finish(folder), cart, TKeptState::Finished));
  ExpectTitled(cart, "Morning news", 1400);
}
