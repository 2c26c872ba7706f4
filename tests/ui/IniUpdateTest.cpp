#include <gtest/gtest.h>

#include "common/scratch.h"
#include "platform/system/files.h"
#include "platform/ui/inifiles.h"

using namespace plat;

namespace {

std::string Contents(const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);
  return text;
}

}  // namespace

TEST(IniFile, WritesOfAnUpdateReachTheFileTogether) {
  Scratch dir;
  const std::string path = dir.Path("user.svu");
  ASSERT_TRUE(WriteWholeFile(path, "; note\r\n[A]\r\nx=1\r\n"));
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("A", "x", "2");
  ini.BeginUpdate();  // nested: only the outermost end writes
  ini.WriteString("B", "y", "3");
  ini.EndUpdate();
  EXPECT_EQ(ini.ReadString("a", "X", ""), "2");  // reads see what is not yet written
  EXPECT_EQ(Contents(path), "; note\r\n[A]\r\nx=1\r\n");

  // Someone else's change meanwhile is not read over the pending writes.
  ASSERT_TRUE(WriteWholeFile(path, "[C]\r\nz=9\r\n"));
  EXPECT_EQ(ini.ReadString("C", "z", "none"), "none");
  ini.EndUpdate();
  EXPECT_EQ(Contents(path), "; note\r\n[A]\r\nx=2\r\n[B]\r\ny=3\r\n");
  ini.EndUpdate();  // an unmatched end does nothing
  EXPECT_EQ(ini.ReadString("B", "y", ""), "3");

  // An update that wrote nothing leaves the file alone; one that cannot write says so.
  ASSERT_TRUE(SetFileAge(path, 1000000000));
  ini.BeginUpdate();
  ini.ReadString("A", "x", "");
  ini.EndUpdate();
  EXPECT_EQ(FileAge(path), 1000000000);
  ASSERT_TRUE(SetReadOnly(path, true));
  ini.BeginUpdate();
  EXPECT_NO_THROW(ini.WriteString("A", "x", "4"));
  EXPECT_THROW(ini.EndUpdate(), EIniFileException);
  EXPECT_EQ(Contents(path), "; note\r\n[A]\r\nx=2\r\n[B]\r\ny=3\r\n");
  EXPECT_EQ(ini.ReadString("A", "x", ""), "2");  // what could not be stored is not kept either
}
