// Files other programs wrote, through the deck: a take with a tag appended behind its RIFF form
// plays and punches in with its own frames.
#include "DeckHarness.h"
#include "common/oracles.h"

using namespace plat;

namespace {

class DeckFormats : public DeckHarness {
protected:
  // The audio the last output stream played.
  static std::string Played() {
    const std::vector<VirtualCapture> all = VirtualCaptures();
    if (all.empty()) return {};
    return std::string(all.back().audio.begin(), all.back().audio.end());
  }
};

// An ID3 block as media players append it, 50 KB of it full-scale noise if it were played.
std::string Id3Tag() {
  std::string tag = std::string("ID3") + '\3' + '\0' + '\0' + std::string{0, 3, 0x7F, 0x76};
  for (int i = 0; i < 50000; ++i) tag.push_back(char(i & 1 ? 0x7F : 0x80));
  return tag;
}

}  // namespace

TEST_F(DeckFormats, ATaggedTakePlaysAndPunchesInWithItsOwnFrames) {
  if (!HaveOracles()) GTEST_SKIP() << "sox and sndfile-info are not installed (scripts/setup.sh installs them)";
  StartDeck();
  const std::string path = dir.Path("tagged.wav");
  const std::string take = WriteTake(path, 1000);
  ASSERT_TRUE(WriteWholeFile(path, take + Id3Tag()));
  ASSERT_EQ(SndfileFrames(path), "32000");
  dialogs->AnswerFile(path);
  deck->LoadCart1Click(deck);
  Pump();
  EXPECT_EQ(1000, deck->TrackBar->MaxValue());

  ClearVirtualCaptures();
  Key(VK_F3);
  Step(1200);
  ASSERT_FALSE(deck->Playing);
  EXPECT_TRUE(Played() == take.substr(44)) << "played " << Played().size() << " bytes, the take holds " << take.size() - 44;

  Key(VK_HOME);
  Key(VK_F5);
  ASSERT_TRUE(deck->Recording);
  Step(200);
  Key(VK_F4);
  EXPECT_EQ(SndfileFrames(path), "32000") << "the punch-in kept the take's length";
  EXPECT_NEAR(1000, deck->WaveLength(), 1);
}
