// Files other programs wrote, through the deck: a take with a tag appended behind its RIFF form
// plays and punches in with its own frames; ADPCM and 24-bit files play to their end, and ADPCM
// from any sample chosen inside a block.
#include "DeckHarness.h"
#include "common/bytes.h"
#include "common/oracles.h"
#include "common/sox_adpcm.h"
#include "platform/audio/adpcm_codec.h"

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

// A mono 8 kHz Microsoft ADPCM file of the given 256-byte blocks, each its predictor index, then
// the rest of its header and its nibbles.
std::string MsAdpcmWave(const std::vector<uint8_t>& predictors) {
  std::string coefs;
  for (const plat::MsAdpcmCoef& c : plat::kMsAdpcmStandardCoefs)
    coefs += LE16(uint16_t(c.Coef1)) + LE16(uint16_t(c.Coef2));
  const std::string fmt =
      LE16(2) + LE16(1) + LE32(8000) + LE32(4096) + LE16(256) + LE16(4) + LE16(32) + LE16(500) + LE16(7) + coefs;
  std::string data;
  for (uint8_t p : predictors) data += std::string(1, char(p)) + LE16(16) + std::string(253, '\x21');
  return "RIFF" + LE32(uint32_t(4 + 8 + fmt.size() + 8 + data.size())) + "WAVE" + "fmt " + LE32(uint32_t(fmt.size())) +
         fmt + "data" + LE32(uint32_t(data.size())) + data;
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
  EXPECT_TRUE(Played() == take.substr(44))
      << "played " << Played().size() << " bytes, the take holds " << take.size() - 44;

  Key(VK_HOME);
  Key(VK_F5);
  ASSERT_TRUE(deck->Recording);
  Step(200);
  Key(VK_F4);
  EXPECT_EQ(SndfileFrames(path), "32000") << "the punch-in kept the take's length";
  EXPECT_NEAR(1000, deck->WaveLength(), 1);
}

TEST_F(DeckFormats, AdpcmAndTwentyFourBitFilesPlayToTheirEnd) {
  if (!HaveOracles()) GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
  StartDeck();
  struct File {
    std::string name;
    std::string played;  // what the sound card must get
  };
  std::vector<File> files;
  for (const char* encoding : {"ms-adpcm", "ima-adpcm"}) {
    soxadpcm::WavImage w;
    std::vector<int16_t> ref;
    ASSERT_TRUE(soxadpcm::Encode(dir, encoding, 32000, 1, soxadpcm::Signal(24000, 1), w, ref));
    const std::string path = dir.Path(std::string(encoding) + ".wav");
    ASSERT_TRUE(plat::CopyFile(dir.Path("enc.wav"), path));
    files.push_back({path, std::string(reinterpret_cast<const char*>(ref.data()), ref.size() * 2)});
  }
  // sox writes 24 bits as WAVE_FORMAT_EXTENSIBLE.
  const std::string wide = dir.Path("24bit.wav");
  Shell("sox -r 32000 -n -b 24 -c 2 '" + wide + "' synth 0.7 sine 440 sine 660");
  files.push_back({wide, SoxRaw(wide, dir.Path("24bit.raw"))});
  ASSERT_EQ(files.back().played.size(), 32000u * 7 / 10 * 6);

  for (const File& f : files) {
    SCOPED_TRACE(f.name);
    dialogs->Clear();
    dialogs->AnswerFile(f.name);
    deck->LoadCart1Click(deck);
    Pump();
    ASSERT_TRUE(deck->DeckLoaded);
    ClearVirtualCaptures();
    Key(VK_F3);
    EXPECT_TRUE(deck->Playing) << Joined(dialogs->Texts());
    Step(1000);
    EXPECT_FALSE(deck->Playing);
    EXPECT_TRUE(deck->Stopped);
    EXPECT_TRUE(dialogs->Texts().empty()) << Joined(dialogs->Texts());
    EXPECT_EQ(deck->TrackBar->Position(), deck->TrackBar->MaxValue()) << "played to its end";
    EXPECT_TRUE(Played() == f.played) << "played " << Played().size() << " bytes of " << f.played.size();
    Key(VK_F7);
  }
}

// The deck starts at the chosen sample of an ADPCM file, from a standstill and while it plays,
// though the sample lies inside a block; the times shown run on from there to the end.
TEST_F(DeckFormats, AnAdpcmFilePlaysFromTheChosenSampleInsideABlock) {
  if (!HaveOracles()) GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
  StartDeck();
  for (const char* encoding : {"ms-adpcm", "ima-adpcm"})
    for (uint16_t channels : {1, 2}) {
      const std::string name = std::string(encoding) + "-" + std::to_string(channels) + ".wav";
      SCOPED_TRACE(name);
      soxadpcm::WavImage w;
      std::vector<int16_t> ref;
      ASSERT_TRUE(soxadpcm::Encode(dir, encoding, 32000, channels, soxadpcm::Signal(16000, channels), w, ref));
      ASSERT_TRUE(plat::CopyFile(dir.Path("enc.wav"), dir.Path(name)));
      const size_t perMs = 32u * channels * 2;  // bytes of 16-bit PCM a millisecond
      const std::string decoded(reinterpret_cast<const char*>(ref.data()), ref.size() * 2);
      dialogs->AnswerFile(dir.Path(name));
      deck->LoadCart1Click(deck);
      Pump();
      ASSERT_TRUE(deck->DeckLoaded);

      deck->SetSliderPosition(4);
      deck->Seek();
      ClearVirtualCaptures();
      Key(VK_F3);
      Step(600);
      ASSERT_FALSE(deck->Playing);
      EXPECT_TRUE(Played() == decoded.substr(4 * perMs))
          << "played " << Played().size() << " bytes, from 4 ms there are " << decoded.size() - 4 * perMs;
      EXPECT_EQ(deck->TrackBar->Position(), deck->TrackBar->MaxValue());
      EXPECT_EQ(deck->CurrentPosition->Caption(), deck->FormatTime(deck->WaveLength()));

      Key(VK_HOME);
      Key(VK_F3);
      Step(100);
      for (int ms : {32, 251}) {
        const size_t before = Played().size();
        deck->SetSliderPosition(ms);
        deck->Seek();
        Step(50);
        const std::string after = Played().substr(before, 40 * perMs);
        const size_t found = decoded.find(after);
        EXPECT_EQ(found, ms * perMs) << "the seek to " << ms << " ms played on from "
                                     << (found == std::string::npos ? -1.0 : double(found) / perMs) << " ms";
      }
      Key(VK_F4);
      Key(VK_F7);
    }
}

// A cart that cannot take a recording says why when Record is pressed, and is left as it was: an
// ADPCM cart (the input records PCM), and one whose format chunk lies behind its samples (a take
// would have to write over it).
TEST_F(DeckFormats, RecordIntoACartThatCannotTakeARecordingSaysWhy) {
  StartDeck();
  const std::string samples = TakeSamples(100), pcm = WaveOf(26, samples);
  // The PCM file's format chunk moved behind its data.
  const std::string fmt = pcm.substr(12, 24), late = "RIFF" + pcm.substr(4, 4) + "WAVE" + pcm.substr(36) + fmt;
  const std::string adpcm = MsAdpcmWave({0, 0});
  const struct {
    const char* name;
    std::string image, why;
  } cases[] = {
      {"adpcm.wav", adpcm,
       "This cart holds Microsoft ADPCM audio, and Solvane records into PCM carts only. \r\nIt can be played, not "
       "recorded into."},
      {"late.wav", late,
       "This cart's format chunk lies behind its audio, where a recording would have to write. \r\nIt can be "
       "played, not recorded into."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs->Clear();
    const std::string path = LoadFile(c.name, c.image);
    ASSERT_TRUE(deck->DeckLoaded) << Joined(dialogs->Texts());
    Key(VK_F5);
    EXPECT_FALSE(deck->Recording);
    EXPECT_EQ(std::vector<std::string>{c.why}, dialogs->Texts());
    EXPECT_EQ(c.image, Read(path));
    Key(VK_F7);
    ASSERT_FALSE(deck->DeckLoaded);
  }
}

// A block past the first that cannot be decoded ends the playback there, and the operator is told
// why rather than left with a cart that stopped early.
TEST_F(DeckFormats, AnAdpcmFileDamagedPartWayStopsThereAndSaysWhy) {
  StartDeck();
  LoadFile("damaged.wav", MsAdpcmWave({0, 0, 200, 0}));  // 62.5 ms a block
  ASSERT_TRUE(deck->DeckLoaded) << Joined(dialogs->Texts());
  EXPECT_EQ(250, deck->WaveLength());
  Key(VK_F3);
  ASSERT_TRUE(deck->Playing);
  Step(1000);
  EXPECT_FALSE(deck->Playing);
  EXPECT_EQ(125, deck->TrackBar->Position()) << "it played the two sound blocks";
  EXPECT_EQ(std::vector<std::string>{"Playback stopped before the end of the file: the file is damaged there (its "
                                     "ADPCM audio cannot be decoded from that point on)."},
            dialogs->Texts());
}
