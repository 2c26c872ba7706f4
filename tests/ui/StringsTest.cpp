#include <gtest/gtest.h>

#include "common/scratch.h"
#include "platform/system/files.h"
#include "platform/ui/streams.h"
#include "platform/ui/strings.h"

using namespace plat;

TEST(StringList, SortedListsHonourDuplicatesAndIgnoreCase) {
  TStringList l;
  l.SetSorted(true);
  l.Add("beta");
  l.Add("Alpha");
  l.Add("gamma");
  EXPECT_EQ(l.Add("ALPHA"), 0);  // dupIgnore: the existing index comes back
  EXPECT_EQ(l.CommaText(), "Alpha,beta,gamma");
  EXPECT_EQ(l.IndexOf("GAMMA"), 2);
  l.SetDuplicates(dupError);
  EXPECT_THROW(l.Add("Beta"), EStringListError);
  l.SetDuplicates(dupAccept);
  l.Add("Beta");
  EXPECT_EQ(l.Count(), 4);
  int at;
  EXPECT_TRUE(l.Find("beta", at));
  EXPECT_EQ(at, 1);
  EXPECT_FALSE(l.Find("delta", at));
  EXPECT_EQ(at, 3);
  EXPECT_THROW(l.Insert(0, "x"), EStringListError);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("alpha"), -1);
}

TEST(StringList, TextUsesCrLfAndSplitsEveryLineEnd) {
  TStringList l;
  l.SetText("one\r\ntwo\nthree\rfour\r\n");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "four");
  EXPECT_EQ(l.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  l.SetText("a\r\n\r\nb");
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1], "");
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList l;
  l.Add("plain");
  l.Add("two words");
  l.Add("say \"hi\"");
  l.Add("a,b");
  EXPECT_EQ(l.CommaText(), "plain,\"two words\",\"say \"\"hi\"\"\",\"a,b\"");
  TStringList back;
  back.SetCommaText(l.CommaText());
  EXPECT_TRUE(back.Equals(l));
  back.SetCommaText("x y,,z,");
  EXPECT_EQ(back.Count(), 5);  // a blank separates too; empty items stay
  EXPECT_EQ(back[2], "");
  EXPECT_EQ(back[4], "");
}

TEST(StringList, NameValuePairs) {
  TStringList l;
  l.Add("Name=Morning");
  l.Add("Length=01:00:00");
  l.Add("novalue");
  EXPECT_EQ(l.Values("length"), "01:00:00");
  EXPECT_EQ(l.Names(2), "");
  l.SetValue("Name", "Evening");
  l.SetValue("Lockout", "3");
  EXPECT_EQ(l.Text(), "Name=Evening\r\nLength=01:00:00\r\nnovalue\r\nLockout=3\r\n");
  l.SetValue("length", "");
  EXPECT_EQ(l.IndexOfName("Length"), -1);
}

TEST(StringList, OneChangeNoticePerBatchAndBoundsChecked) {
  TStringList l;
  int changes = 0, changing = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  l.OnChanging = [&](TObject*) { ++changing; };
  l.BeginUpdate();
  for (int i = 0; i < 10; ++i) l.Add(std::to_string(i));
  l.Delete(0);
  l.EndUpdate();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(changing, 1);
  l.Add("x");
  EXPECT_EQ(changes, 2);
  try {
    l.Delete(10);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (10)");
  }
  EXPECT_THROW(l.Get(-1), EStringListError);
}

TEST(StringList, CustomSortSeesTheListAsItStands) {
  TStringList l;
  l.SetCommaText("10,9,100,1");
  l.CustomSort([](TStringList& s, int a, int b) { return std::stoi(s[a]) - std::stoi(s[b]); });
  EXPECT_EQ(l.CommaText(), "1,9,10,100");
  l.Sort();  // as text: "10" before "9"
  EXPECT_EQ(l.CommaText(), "1,10,100,9");
}

TEST(StringList, FilesRoundTripAndMissingFileRaises) {
  Scratch dir;
  TStringList l;
  l.Add("first");
  l.Add("second");
  l.SaveToFile(dir.Path("l.txt"));
  std::string raw;
  ASSERT_TRUE(ReadWholeFile(dir.Path("l.txt"), raw));
  EXPECT_EQ(raw, "first\r\nsecond\r\n");
  TStringList back;
  back.LoadFromFile(dir.Path("l.txt"));
  EXPECT_TRUE(back.Equals(l));
  EXPECT_THROW(back.LoadFromFile(dir.Path("none.txt")), EFOpenError);
}

TEST(Streams, MemoryStreamGrowsAndReadsLittleEndian) {
  TMemoryStream m;
  m.WriteU16(0x1234);
  m.WriteU32(0xA1B2C3D4);
  EXPECT_EQ(m.Size(), 6);
  const auto* p = static_cast<const uint8_t*>(m.Memory());
  EXPECT_EQ(p[0], 0x34);
  EXPECT_EQ(p[5], 0xA1);
  m.SetPosition(10);  // past the end: writing fills the gap with zeros
  m.WriteU8(7);
  EXPECT_EQ(m.Size(), 11);
  m.SetPosition(0);
  EXPECT_EQ(m.ReadU16(), 0x1234);
  EXPECT_EQ(m.ReadU32(), 0xA1B2C3D4u);
  EXPECT_EQ(m.ReadU32(), 0u);
  uint8_t buf[4];
  EXPECT_EQ(m.Read(buf, 4), 1);
  EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
  EXPECT_EQ(m.Seek(-1, soBeginning), -1);
}

TEST(Streams, FileStreamReportsTheFileInItsErrors) {
  Scratch dir;
  try {
    TFileStream f(dir.Path("missing.wav"), fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + dir.Path("missing.wav") + "\". ", 0), 0u);
  }
  EXPECT_THROW(TFileStream(dir.Path("no/such/dir.wav"), fmCreate), EFCreateError);
  {
    TFileStream f(dir.Path("a.bin"), fmCreate);
    f.WriteU32(0x01020304);
    f.SetSize(2);
    EXPECT_EQ(f.Size(), 2);
  }
  TMemoryStream m;
  m.LoadFromFile(dir.Path("a.bin"));
  EXPECT_EQ(m.Size(), 2);
  EXPECT_EQ(m.ReadU16(), 0x0304);
}

TEST(Streams, ResourcesAreFoundByNameAndTypeInAnyCase) {
  static const uint8_t data[] = {'R', 'I', 'F', 'F'};
  RegisterResource("0WAVE", "WAVE", data, sizeof data);
  TResourceStream r("0wave", "wave");
  EXPECT_EQ(r.Size(), 4);
  EXPECT_EQ(r.ReadU8(), 'R');
  EXPECT_THROW(r.WriteU8(0), EStreamError);
  EXPECT_THROW(TResourceStream("36WAVE", "WAVE"), EResNotFound);
}
