// Cut lists, gain envelopes on PCM blocks, and the class streaming registry.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/MMCutLst.h"
#include "engine/MMFade.h"
#include "engine/MMRegs.h"
#include "engine/WaveFixtures.h"

namespace {

TMMCutRecord Cut(int64_t start, int64_t length) {
  TMMCutRecord r;
  r.Start = start;
  r.Length = length;
  return r;
}

}  // namespace

TEST(CutList, AddKeepsRecordsSortedAndApart) {
  TMMCutList l;
  int before = 0, after = 0;
  l.OnChanging = [&](TObject*) { ++before; };
  l.OnChange = [&](TObject*) { ++after; };
  EXPECT_EQ(FindCutIndex(l, 5), -1);
  EXPECT_TRUE(l.Add(Cut(100, 50)));
  EXPECT_TRUE(l.Add(Cut(10, 20)));
  EXPECT_FALSE(l.Add(Cut(100, 5)));  // same start
  EXPECT_FALSE(l.Add(Cut(149, 5)));  // starts on the last sample of another
  EXPECT_FALSE(l.Add(Cut(90, 20)));  // another starts inside it
  EXPECT_TRUE(l.Add(Cut(150, 5)));   // one sample after the end
  EXPECT_EQ(before, 3);
  EXPECT_EQ(after, 3);
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Items(0).Start, 10);
  EXPECT_EQ(l.Items(2).Start, 150);
  EXPECT_THROW(l.Items(3), plat::EListError);
  EXPECT_THROW(l.Items(-1), plat::EListError);

  EXPECT_EQ(FindCutIndex(l, 9), 0);
  EXPECT_EQ(FindCutIndex(l, 10), 1);
  EXPECT_EQ(FindCutIndex(l, 1000), 3);
  EXPECT_EQ(FindCutContaining(l, 29), 0);
  EXPECT_EQ(FindCutContaining(l, 30), -1);
  EXPECT_EQ(FindCutContaining(l, 154), 2);
  EXPECT_EQ(FindCutContaining(l, 5), -1);

  TMMCutList copy;
  copy.Assign(&l);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Items(1).Length, 50);
}

TEST(CutList, CapacityGrowsInTheListSteps) {
  TMMCutList l;
  std::vector<int> caps;
  for (int i = 0; i < 17; ++i) {
    l.Add(Cut(i * 10, 5));
    if (i == 0 || i == 4 || i == 8 || i == 16) caps.push_back(l.Capacity());
  }
  EXPECT_EQ(caps, (std::vector<int>{4, 8, 16, 32}));
  l.Clear();
  EXPECT_EQ(l.Capacity(), 0);
}

TEST(Envelope, UnityZeroRampsAndLimits) {
  using wavefx::Pcm;
  const WAVEFORMATEX m8 = Pcm(8000, 1, 8), s16 = Pcm(8000, 2, 16);
  auto env = [](std::initializer_list<std::tuple<int64_t, int32_t, int32_t>> pts) {
    TMMEnvelope e;
    for (auto [pos, l, r] : pts) {
      TMMEnvelopeRecord p;
      p.Position = pos, p.LeftGain = l, p.RightGain = r;
      e.AddPoint(p);
    }
    RewindEnvelope(e);
    return e;
  };

  std::string data = wavefx::Frames(0, 300, 1);
  std::string block = data;
  TMMEnvelope unity = env({{0, kUnityGain, kUnityGain}, {100, kUnityGain, kUnityGain}});
  EXPECT_FALSE(ApplyEnvelope(&m8, block.data(), int64_t(block.size()), unity));
  EXPECT_EQ(block, data);
  EXPECT_EQ(unity.CurrentPosition, 300);

  TMMEnvelope zero = env({{0, 0, 0}, {100, 0, 0}});
  EXPECT_FALSE(ApplyEnvelope(&m8, block.data(), int64_t(block.size()), zero));
  EXPECT_EQ(block, std::string(300, '\x80'));

  // A ramp applied in two blocks gives what one block gives; doubling limits and says so.
  std::string one(4000, '\0'), two;
  for (int i = 0; i < 1000; ++i) {
    one[size_t(i * 4)] = char(0x30), one[size_t(i * 4 + 1)] = char(0x75);      // 30000
    one[size_t(i * 4 + 2)] = char(0x10), one[size_t(i * 4 + 3)] = char(0x27);  // 10000
  }
  two = one;
  TMMEnvelope a = env({{0, kUnityGain, 0}, {2000, 2 * kUnityGain, kUnityGain}});
  TMMEnvelope b = a;
  EXPECT_TRUE(ApplyEnvelope(&s16, one.data(), 4000, a));
  ApplyEnvelope(&s16, two.data(), 1204, b);
  ApplyEnvelope(&s16, two.data() + 1204, 4000 - 1204, b);
  EXPECT_EQ(one, two);
  auto sample = [&](int frame, int ch) {
    return int16_t(uint8_t(one[size_t(frame * 4 + ch * 2)]) | uint8_t(one[size_t(frame * 4 + ch * 2 + 1)]) << 8);
  };
  EXPECT_EQ(sample(0, 0), 30000);
  EXPECT_EQ(sample(0, 1), 0);
  EXPECT_EQ(sample(250, 1), 5000);  // half way up the right ramp
  EXPECT_EQ(sample(999, 0), 32767);
  EXPECT_EQ(sample(999, 1), 10000);
}

TEST(ClassStreamers, EnvelopePointRoundTripsInNineBytes) {
  TMMClassStreamer s;
  ASSERT_TRUE(FindClassStreamer("tmmenvelopepoint", s));
  const int count = ClassStreamerCount();
  RegisterClassStreamer("TMMEnvelopePoint", nullptr, nullptr);  // a second one is ignored
  EXPECT_EQ(ClassStreamerCount(), count);
  ASSERT_TRUE(FindClassStreamer("TMMEnvelopePoint", s));
  ASSERT_TRUE(s.Write && s.Read);

  TMMEnvelopePoint p{-7, 0x12345678, 1}, q;
  std::ostringstream out;
  s.Write(out, &p);
  EXPECT_EQ(out.str(), std::string("\xF9\xFF\xFF\xFF\x78\x56\x34\x12\x01", 9));
  std::istringstream in(out.str());
  s.Read(in, &q);
  EXPECT_EQ(q.Position, -7);
  EXPECT_EQ(q.Gain, 0x12345678);
  EXPECT_EQ(q.Selected, 1);
  std::istringstream shortIn(out.str().substr(0, 8));
  EXPECT_THROW(s.Read(shortIn, &q), plat::EReadError);
  EXPECT_FALSE(FindClassStreamer("TMMNothing", s));
}
