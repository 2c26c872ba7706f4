#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system/files.h"
#include "recorder/StartUp.h"
#include "tests/common/scratch.h"

TEST(StartUp, CommandLineRules) {
  Scratch dir;
  const std::string program = dir.Path("prog/");
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("users")));
  ASSERT_TRUE(plat::ForceDirectories(dir.Path("news")));
  std::vector<std::string> warnings;
  auto notify = [&](TNoticeKind, const std::string& t) { warnings.push_back(t); };

  // The last "A=" wins; "s=" goes from anywhere in the parameter, in any case.
  TCommandLine cl =
      ReadCommandLine({"/usr/bin/solvane", "A=/carts/one.wav", "s=" + dir.Path("newS=s") + "  ", "a=/carts/Two.wav/ "},
                      program, notify);
  EXPECT_EQ(cl.usersFolder, dir.Path("news") + "/");  // "newS=s" less its marker
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(cl.autoCartFile, "/carts/Two.wav");

  // A last parameter without "A=" clears the file; a folder that does not exist is reported.
  cl = ReadCommandLine({"/usr/bin/solvane", "A=/carts/one.wav", "S=" + dir.Path("missing"), "-x"}, program, notify);
  EXPECT_EQ(cl.autoCartFile, "");
  EXPECT_EQ(cl.usersFolder, program);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0],
            "Invalid or Non Existent Directory\\Folder Specified for User Files. \r\n\r\n"
            "You Specified " +
                dir.Path("missing") + "/\r\n\r\nSolvane will use " + program);

  cl = ReadCommandLine({"/usr/bin/solvane", "S=" + dir.Path("users")}, program, notify);
  EXPECT_EQ(cl.usersFolder, dir.Path("users") + "/");
  cl = ReadCommandLine({"/usr/bin/solvane"}, program, notify);
  EXPECT_EQ(cl.usersFolder, program);
  EXPECT_EQ(cl.autoCartFile, "");
}
