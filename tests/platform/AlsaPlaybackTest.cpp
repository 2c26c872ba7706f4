// What the ALSA backend hands an output stream, seen through ALSA's file plugin in front of its
// null device: every sample written lands in a file, in the format the stream was opened with.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/eventually.h"
#include "common/scratch.h"
#include "common/wave_format.h"
#include "platform/audio/wave_device.h"

using namespace plat;

namespace {

class AlsaFileOutput : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = scratch_.Root() + "/out.raw";
    const std::string config =
        "pcm.!default { type file slave { pcm { type null } } file \"" + path_ + "\" format \"raw\" }";
    if (!SelectWaveBackend(WaveBackendKind::Alsa) || !UseAlsaConfig(config) || WaveOutGetNumDevs() == 0)
      GTEST_SKIP() << "ALSA's file and null devices are not available here";
  }
  void TearDown() override {
    EXPECT_EQ(OpenWaveDevices(), 0);
    SelectWaveBackend(WaveBackendKind::Virtual);
    UseAlsaConfig("");
  }

  // Plays bytes in one buffer of format f through the mapper and returns what reached the
  // device's file, and the position the device gave once the buffer came back.
  std::string Play(const WAVEFORMATEX& f, const std::vector<uint8_t>& bytes, uint32_t* position) {
    std::atomic<bool> done{false};
    HWAVEOUT h = 0;
    EXPECT_EQ(WaveOutOpen(
                  &h, WAVE_MAPPER, &f,
                  [&](uint64_t, WaveMsg msg, WAVEHDR*) {
                    if (msg == WaveMsg::Done) done = true;
                  },
                  0),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> data = bytes;
    WAVEHDR hdr;
    hdr.lpData = reinterpret_cast<char*>(data.data());
    hdr.dwBufferLength = uint32_t(data.size());
    EXPECT_EQ(WaveOutPrepareHeader(h, &hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveOutWrite(h, &hdr), MMSYSERR_NOERROR);
    EXPECT_TRUE(Eventually([&] { return done.load(); })) << "the buffer never came back";
    MMTIME t;
    t.wType = MMTimeType::Samples;
    EXPECT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
    *position = t.value;
    EXPECT_EQ(WaveOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveOutUnprepareHeader(h, &hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(WaveOutClose(h), MMSYSERR_NOERROR);
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  Scratch scratch_;
  std::string path_;
};

}  // namespace

// A sound server fills what it lacks from a stream with zero bytes; in 8 bits that is a full-scale
// negative sample. 8-bit audio reaches the device as 16-bit, each sample at its own level and
// silence (the padding that lets a server play a last part block) at zero; the position counts the
// caller's frames.
TEST_F(AlsaFileOutput, EightBitAudioReachesTheDeviceAsSixteenBitWithSilenceAtZero) {
  const std::vector<uint8_t> stereo = {0x00, 0xFF, 0x80, 0x81, 0x7F, 0xC0, 0x40, 0x80};
  uint32_t position = 0;
  const std::string got = Play(PcmFormat(8000, 2, 8), stereo, &position);
  EXPECT_EQ(position, stereo.size() / 2);
  ASSERT_GE(got.size(), stereo.size() * 2) << "the device did not get 16-bit samples";
  ASSERT_EQ(got.size() % 4, 0u);
  std::vector<int16_t> samples(got.size() / 2);
  std::memcpy(samples.data(), got.data(), got.size());
  const std::vector<int16_t> audio(samples.begin(), samples.begin() + long(stereo.size()));
  EXPECT_EQ(audio, (std::vector<int16_t>{-32768, 32512, 0, 256, -256, 16384, -16384, 0}));
  for (size_t i = stereo.size(); i < samples.size(); ++i)
    ASSERT_EQ(samples[i], 0) << "at sample " << i << " after the audio";
}

// 16-bit audio goes as it is.
TEST_F(AlsaFileOutput, SixteenBitAudioReachesTheDeviceAsItIs) {
  const std::vector<uint8_t> bytes = {0x01, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0x00, 0x00};
  uint32_t position = 0;
  const std::string got = Play(PcmFormat(8000, 1, 16), bytes, &position);
  EXPECT_EQ(position, 4u);
  ASSERT_GE(got.size(), bytes.size());
  EXPECT_EQ(got.substr(0, bytes.size()), std::string(bytes.begin(), bytes.end()));
}
