// The system sound player, heard through the virtual device's capture; and the small WAV reader
// under it and the virtual device's file input.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "common/eventually.h"
#include "common/scratch.h"
#include "common/wave_format.h"
#include "platform/audio/simple_wav.h"
#include "platform/audio/sound_player.h"
#include "platform/audio/virtual_audio.h"
#include "platform/audio/wave_device.h"

using namespace plat;

namespace {

std::vector<uint8_t> Audio() {
  auto caps = VirtualCaptures();
  return caps.empty() ? std::vector<uint8_t>{} : caps.back().audio;
}

class SoundPlayer : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(SelectWaveBackend(WaveBackendKind::Virtual));
    VirtualAudioConfig c;
    c.Clock = VirtualClock::Manual;
    c.CaptureToMemory = true;
    ASSERT_TRUE(SetVirtualAudioConfig(c));
    ClearVirtualCaptures();
    // 0.25 s of 8 kHz 16-bit mono, every sample distinct.
    for (int i = 0; i < 2000; ++i) {
      samples_.push_back(uint8_t(i));
      samples_.push_back(uint8_t(i >> 8));
    }
    SimpleWavWriter w;
    ASSERT_TRUE(w.Open(path_, PcmFormat(8000, 1, 16)));
    ASSERT_TRUE(w.Write(samples_.data(), samples_.size()));
    ASSERT_TRUE(w.Close());
  }
  void TearDown() override {
    StopSound();
    EXPECT_EQ(OpenWaveDevices(), 0);
    SetVirtualAudioConfig(VirtualAudioConfig{});
  }
  Scratch dir_;
  std::string path_ = dir_.Path("warning.wav");
  std::vector<uint8_t> samples_;
};

}  // namespace

TEST_F(SoundPlayer, PlaysAFileOnceOnTheDefaultOutput) {
  EXPECT_FALSE(SoundPlaying());
  StopSound();  // nothing plays: harmless
  ASSERT_TRUE(PlaySound(path_.c_str(), SND_ASYNC | SND_NODEFAULT));
  EXPECT_TRUE(SoundPlaying());
  // The player feeds the device from a thread of its own: step until the sound has played out.
  ASSERT_TRUE(Eventually([] {
    StepVirtualAudio(10);
    return !SoundPlaying();
  })) << "a sound played once ends by itself";
  EXPECT_EQ(Audio(), samples_);
  EXPECT_EQ(OpenWaveDevices(), 0) << "the device is closed when the sound has played";
}

TEST_F(SoundPlayer, LoopsSeamlesslyUntilStopped) {
  ASSERT_TRUE(PlaySound(path_.c_str(), SND_ASYNC | SND_LOOP));
  ASSERT_TRUE(Eventually([&] {
    StepVirtualAudio(10);
    return Audio().size() >= 4 * samples_.size();
  }));
  EXPECT_TRUE(SoundPlaying());
  std::vector<uint8_t> played = Audio();
  ASSERT_GE(played.size(), 4 * samples_.size());
  for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], samples_[i % samples_.size()]) << "at byte " << i;
  PlaySound(nullptr, 0);
  EXPECT_FALSE(SoundPlaying());
  EXPECT_EQ(OpenWaveDevices(), 0);
  StopSound();
  PlaySound("", SND_ASYNC);
}

TEST_F(SoundPlayer, ANewSoundReplacesTheOldUnlessToldNotTo) {
  ASSERT_TRUE(PlaySound(path_.c_str(), SND_ASYNC | SND_LOOP));
  EXPECT_FALSE(PlaySound(path_.c_str(), SND_ASYNC | SND_NOSTOP));
  EXPECT_EQ(OpenWaveDevices(), 1);
  // A WAV image from memory replaces it.
  std::ifstream in(path_, std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(PlaySoundImage(image.data(), image.size(), SND_ASYNC));
  EXPECT_EQ(OpenWaveDevices(), 1);
  ASSERT_TRUE(Eventually([] {
    StepVirtualAudio(10);
    return !SoundPlaying();
  }));
  auto caps = VirtualCaptures();
  ASSERT_EQ(caps.size(), 2u);
  EXPECT_EQ(caps[1].audio, samples_);
}

TEST_F(SoundPlayer, RefusesWhatItCannotPlay) {
  EXPECT_FALSE(PlaySound(dir_.Path("missing.wav").c_str(), SND_ASYNC));
  EXPECT_FALSE(PlaySound(path_.c_str(), SND_SYNC | SND_LOOP)) << "a looping sound would never return";
  std::ofstream(dir_.Path("text.wav")) << "not a wave file";
  EXPECT_FALSE(PlaySound(dir_.Path("text.wav").c_str(), SND_ASYNC));
  // A format the device refuses.
  VirtualAudioConfig c;
  c.Clock = VirtualClock::Manual;
  c.Outputs[0].Bits = {8};
  ASSERT_TRUE(SetVirtualAudioConfig(c));
  EXPECT_FALSE(PlaySound(path_.c_str(), SND_ASYNC));
  EXPECT_EQ(OpenWaveDevices(), 0);
}

TEST_F(SoundPlayer, SynchronousPlayReturnsOnceItHasPlayed) {
  std::atomic<bool> returned{false};
  std::thread player([&] {
    EXPECT_TRUE(PlaySound(path_.c_str(), SND_SYNC));
    returned = true;
  });
  // Nothing plays until the clock moves, so the call cannot have returned yet.
  ASSERT_TRUE(Eventually([] { return OpenWaveDevices() == 1; }));
  EXPECT_FALSE(returned.load());
  while (!returned) {
    StepVirtualAudio(50);
    std::this_thread::yield();
  }
  player.join();
  EXPECT_EQ(Audio(), samples_);
}

TEST_F(SoundPlayer, ShutDownStopsTheSoundAndRefusesNewOnes) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        bool started = PlaySound(path_.c_str(), SND_ASYNC | SND_LOOP);
        ShutdownSoundPlayer();
        bool stopped = !SoundPlaying() && OpenWaveDevices() == 0;
        bool refused = !PlaySound(path_.c_str(), SND_ASYNC);
        ShutdownSoundPlayer();
        dir_.Remove();
        std::exit(started && stopped && refused ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- the small WAV reader ------------------------------------------------------------------------

namespace {

std::vector<uint8_t> Riff(std::initializer_list<std::pair<const char*, std::vector<uint8_t>>> chunks,
                          uint32_t riffSize = 0) {
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (auto& [id, body] : chunks) {
    out.insert(out.end(), id, id + 4);
    uint32_t n = uint32_t(body.size());
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(n >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
    if (n & 1) out.push_back(0);
  }
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(riffSize >> (8 * i));
  return out;
}

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits, uint16_t align) {
  std::vector<uint8_t> b(16);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  put(0, tag, 2);
  put(2, ch, 2);
  put(4, rate, 4);
  put(8, rate * align, 4);
  put(12, align, 2);
  put(14, bits, 2);
  return b;
}

}  // namespace

TEST(SimpleWav, ReadsPcmAndRefusesWhatDoesNotFit) {
  SimpleWav w;
  std::vector<uint8_t> odd = {1, 2, 3};
  // Chunks before "fmt ", an odd-sized chunk with its pad byte, a stereo 8-bit data chunk.
  auto image = Riff({{"junk", odd}, {"fmt ", Fmt(1, 2, 11025, 8, 2)}, {"data", {9, 8, 7, 6, 5}}});
  ASSERT_TRUE(ParseSimpleWav(image.data(), image.size(), w));
  EXPECT_EQ(w.format.nChannels, 2);
  EXPECT_EQ(w.format.nAvgBytesPerSec, 22050u);
  EXPECT_EQ(w.data, (std::vector<uint8_t>{9, 8, 7, 6})) << "whole frames only";

  // An unfinished recording: sizes 0, the samples run to the end of the file.
  image = Riff({{"fmt ", Fmt(1, 1, 8000, 16, 2)}, {"data", {}}});
  image.insert(image.end(), {1, 0, 2, 0, 3});
  ASSERT_TRUE(ParseSimpleWav(image.data(), image.size(), w));
  EXPECT_EQ(w.data.size(), 4u);

  // A data size that claims more than the file holds is cut to the file.
  image = Riff({{"fmt ", Fmt(1, 1, 8000, 8, 1)}, {"data", {1, 2, 3, 4}}});
  image[image.size() - 8] = 0xFF;  // size field low byte of "data"
  image[image.size() - 5] = 0x7F;
  ASSERT_TRUE(ParseSimpleWav(image.data(), image.size(), w));
  EXPECT_EQ(w.data, (std::vector<uint8_t>{1, 2, 3, 4}));

  for (auto bad : {Riff({{"fmt ", Fmt(2, 1, 8000, 4, 1)}, {"data", {0}}}),      // not PCM
                   Riff({{"fmt ", Fmt(1, 2, 8000, 16, 2)}, {"data", {0, 0}}}),  // align does not fit
                   Riff({{"fmt ", Fmt(1, 0, 8000, 16, 0)}, {"data", {}}}),      // no channels
                   Riff({{"fmt ", Fmt(1, 1, 0, 8, 1)}, {"data", {1}}}),         // no rate
                   Riff({{"fmt ", {1, 0, 1, 0}}, {"data", {1}}}),               // short format
                   Riff({{"data", {1, 2}}}),                                    // no format
                   Riff({{"fmt ", Fmt(1, 1, 8000, 8, 1)}})}) {                  // no data
    EXPECT_FALSE(ParseSimpleWav(bad.data(), bad.size(), w));
  }
  // A format chunk that claims to reach past the end.
  image = Riff({{"fmt ", Fmt(1, 1, 8000, 8, 1)}});
  image[16] = 0xF0;
  EXPECT_FALSE(ParseSimpleWav(image.data(), image.size(), w));
  EXPECT_FALSE(ParseSimpleWav(image.data(), 11, w));
}

TEST(SimpleWav, WriterFinishesSizesThatOutsideReadersAccept) {
  Scratch dir;
  std::string path = dir.Path("odd.wav");
  SimpleWavWriter wr;
  ASSERT_TRUE(wr.Open(path, PcmFormat(8000, 1, 8)));
  ASSERT_TRUE(wr.Write("\x01\x02\x03", 3));
  ASSERT_TRUE(wr.Close());
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 44u + 3 + 1) << "an odd data chunk gets its pad byte";
  auto u32 = [&](size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
  };
  EXPECT_EQ(u32(4), bytes.size() - 8);
  EXPECT_EQ(u32(40), 3u);
  std::string cmd = "sndfile-info '" + path + "' > '" + dir.Path("info.txt") + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "sndfile-info (sndfile-programs) is needed";
  std::ifstream info(dir.Path("info.txt"));
  std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Frames      : 3"), std::string::npos) << text;
}
