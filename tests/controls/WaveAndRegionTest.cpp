#include <gtest/gtest.h>

#include <QRegion>

#include "KitTestSupport.h"
#include "common/raised.h"
#include "common/wav_image.h"
#include "common/wave_format.h"
#include "common/scratch.h"
#include "controls/ZelRegionMask.h"
#include "controls/ZelStreamUtils.h"
#include "controls/zelwave.h"
#include "platform/ui/native_qt.h"

namespace {

// Block size and rate are those of 16-bit mono whatever the channels say.
std::string Wav(uint16_t tag, uint16_t channels) {
  plat::WAVEFORMATEX f = PcmFormat(22050, 1, 16);
  f.wFormatTag = tag;
  f.nChannels = channels;
  return ::WavImage(f, "xy");
}

void Load(TZelWave& wave, const std::string& bytes) {
  plat::TMemoryStream s;
  SetMemoryBytes(s, bytes);
  wave.LoadFromStream(s.Size(), s);
}

}  // namespace

TEST(Wave, CheckAndRefusals) {
  TZelWave wave;
  int changes = 0;
  wave.OnChange = [&](plat::TObject*) { ++changes; };
  Load(wave, Wav(1, 2));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(wave.Info().Pcm, 1);
  EXPECT_EQ(wave.Info().Channels, 2);
  EXPECT_EQ(wave.Info().SamplesPerSec, 22050u);
  EXPECT_EQ(wave.Info().BlockAlign, 2);
  EXPECT_EQ(wave.Info().RiffSize, 38u);

  TZelWave other;
  Load(other, Wav(3, 6));
  EXPECT_EQ(other.Info().Pcm, 0);
  EXPECT_EQ(other.Info().Channels, 0);

  // No WAV: refused, the old data stays.
  std::string text = "this is no wave file at all, but long enough";
  EXPECT_EQ(MessageOf([&] { Load(wave, text); }), "TZelWave: Cannot open file %s");
  EXPECT_EQ(wave.Bytes(), Wav(1, 2));
  // Cut short in its header: the check cannot finish.
  EXPECT_EQ(MessageOf([&] { Load(wave, Wav(1, 2).substr(0, 20)); }), "GetWaveData: Cannot open file %s");
  EXPECT_THROW(Load(wave, "RIF"), EErrorCheckingWave);
  EXPECT_EQ(wave.Bytes(), Wav(1, 2));
  // An empty source empties the wave.
  Load(wave, "");
  EXPECT_TRUE(wave.Empty());
  EXPECT_EQ(wave.Info().SamplesPerSec, 0u);
}

TEST(Wave, StoredDataFilesAndAssign) {
  Scratch dir;
  TZelWave wave;
  Load(wave, Wav(1, 1));
  plat::TMemoryStream s;
  wave.WriteData(s);
  EXPECT_EQ(s.Size(), int64_t(4 + Wav(1, 1).size()));
  s.SetPosition(0);
  TZelWave back;
  back.ReadData(s);
  EXPECT_EQ(back.Bytes(), wave.Bytes());
  wave.SaveToFile(dir.Path("a.wav"));
  TZelWave fromFile;
  fromFile.LoadFromFile(dir.Path("a.wav"));
  EXPECT_EQ(fromFile.Bytes(), Wav(1, 1));
  EXPECT_THROW(fromFile.LoadFromFile(dir.Path("missing.wav")), plat::EFOpenError);
  TZelWave copy;
  copy.Assign(&fromFile);
  EXPECT_EQ(copy.Bytes(), Wav(1, 1));
  EXPECT_EQ(copy.Info().Channels, 1);
  copy.Assign(&back);
  TZelWave empty;
  copy.Assign(&empty);
  EXPECT_TRUE(copy.Empty());
  // A stored size larger than what follows is refused before anything is read.
  plat::TMemoryStream lying;
  lying.WriteU32(1000000);
  lying.WriteU32(0);
  lying.SetPosition(0);
  EXPECT_THROW(back.ReadData(lying), plat::EReadError);
}

TEST(RegionMask, StoredPropertiesAndRegion) {
  TZelRegionMask mask;
  plat::TMemoryStream empty;
  mask.WriteRegionData(empty);
  EXPECT_EQ(empty.Size(), 0);  // RegionDataSize 0 writes nothing

  QRegion shape = QRegion(0, 0, 10, 4) + QRegion(3, 4, 4, 6);
  mask.SetRegion(plat::RegionOf(shape));
  EXPECT_EQ(plat::QRegionOf(mask.Region()), shape);
  EXPECT_EQ(mask.RegionDataSize(), int(mask.RegionData().size()));
  Blank(*mask.BorderUpBmp(), 3, 2, plat::clRed);
  mask.SetCompressed(true);

  plat::TMemoryStream s;
  mask.WriteRegionData(s);
  for (int which = 0; which < 3; ++which) mask.WriteBorder(s, which);
  s.SetPosition(0);
  TZelRegionMask back;
  back.SetRegionDataSize(mask.RegionDataSize());  // published, so read before the data
  back.ReadRegionData(s);
  for (int which = 0; which < 3; ++which) back.ReadBorder(s, which);
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_EQ(plat::QRegionOf(back.Region()), shape);
  EXPECT_TRUE(back.Compressed());
  EXPECT_EQ(back.BorderUpBmp()->Width(), 3);
  EXPECT_TRUE(back.BorderBmp()->Empty());
  EXPECT_EQ(PixelOf(*back.BorderUpBmp(), 2, 1), 0x0000FFu);

  // A size larger than the stream is refused; data that is no region gives no region.
  TZelRegionMask bad;
  bad.SetRegionDataSize(1 << 30);
  plat::TMemoryStream few;
  few.WriteU32(1);
  few.SetPosition(0);
  EXPECT_THROW(bad.ReadRegionData(few), plat::EReadError);
  bad.SetRegionData(std::string(40, '\x7F'));
  EXPECT_TRUE(bad.Region().IsEmpty());

  TZelRegionMask copy;
  copy.Assign(&mask);
  EXPECT_EQ(plat::QRegionOf(copy.Region()), shape);
  EXPECT_EQ(copy.BorderUpBmp()->Width(), 3);
}
