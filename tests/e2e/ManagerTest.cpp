// The user and program manager as an operator works it, opened with Ctrl+D while no supervisor
// password is set: what it writes, and what it leaves as it was stored.
#include <gtest/gtest.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

const char* const kNoAdvanced = "message Information [OK] \"No advanced settings at this time\" -> OK";
const char* const kNameTaken = "message Error [OK] \"User name already exists. Choose another name.\" -> OK";

// Keys reach the window in front, so each step waits for the window it needs.
void Await(Studio& s, const std::string& modal) {
  s.SyncUntil([&](const DeckView& d) { return d.modal == modal; }, modal + " in front");
}

void OpenManager(Studio& s) {
  s.Key("Ctrl+D");
  Await(s, "TForm14");
}

}  // namespace

TEST(Manager, NoToSaveChangesLeavesTheLibraryAsStored) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000", "[Template 0]", "Name=Alpha", "Lockout=3", "[Template 1]",
              "Name=Zed", "Lockout=1"});
  s.Answers({"OK", "Yes", "No"});
  ASSERT_TRUE(s.Start());
  OpenManager(s);
  const std::string library = s.home + "Default.svu", stored = Studio::Read(library);
  ASSERT_NE(std::string::npos, stored.find("Name=Alpha"));

  // Alpha removed, then the page left by its key and the change declined.
  s.Key("Alt+P");
  s.Key("Alt+R");
  s.Key("Alt+U");
  Await(s, "TForm14");
  EXPECT_EQ(stored, Studio::Read(library));
  // The programs page's Close, with nothing of this deck's changed, writes nothing.
  s.Key("Alt+P");
  s.Key("Alt+C");
  Await(s, "-");
  EXPECT_EQ(stored, Studio::Read(library));
  EXPECT_EQ((std::vector<std::string>{
                kNoAdvanced, "message Warning [Yes,No,Cancel] \"Are you sure you want to delete: Alpha\" -> Yes",
                "message Confirm [Yes,No,Cancel] \"Save Changes?\" -> No"}),
            s.DialogLog());
}

TEST(Manager, AUserFileWrittenMeanwhileSurvivesARenameAnAddAndACopyToItsName) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string amy = "[USER]\r\nFULL NAME=Amy\r\nPASSWORD=a\r\n";
  ASSERT_TRUE(Studio::Write(s.home + "amy.svu", amy));
  s.Answers({"OK", "Yes", "OK", "OK", "OK"});
  ASSERT_TRUE(s.Start());
  OpenManager(s);
  // Another workstation sharing the users folder makes "bob" while the manager shows its list.
  const std::string bob = "[USER]\r\nFULL NAME=Bob\r\nPASSWORD=secret\r\n[Template 0]\r\nName=Bob's show\r\n";
  ASSERT_TRUE(Studio::Write(s.home + "bob.svu", bob));

  // amy, the second user listed, renamed to bob.
  s.Key("Tab");
  s.Key("Down");
  s.Key("Alt+E");
  Await(s, "TForm16");
  s.Key("Tab");
  s.Key("End");
  for (int i = 0; i < 3; ++i) s.Key("Backspace");
  s.Type("bob");
  s.Key("Return");
  Await(s, "TForm16");
  s.Key("Escape");
  Await(s, "TForm14");

  s.Key("Alt+A");
  Await(s, "TForm15");
  for (const char* field : {"Robert", "bob", "pw", "pw"}) {
    s.Type(field);
    s.Key("Tab");
  }
  s.Key("Return");
  Await(s, "TForm15");
  s.Key("Escape");
  Await(s, "TForm14");

  // A copy of amy, still selected.
  s.Key("Alt+O");
  Await(s, "TForm17");
  for (const char* field : {"bob", "pw", "pw"}) {
    s.Type(field);
    s.Key("Tab");
  }
  s.Key("Return");
  Await(s, "TForm17");
  s.Key("Escape");
  Await(s, "TForm14");
  s.Key("Alt+C");
  Await(s, "-");

  EXPECT_EQ(bob, Studio::Read(s.home + "bob.svu"));
  EXPECT_EQ(amy, Studio::Read(s.home + "amy.svu"));
  EXPECT_EQ((std::vector<std::string>{"Default.svu", "Solvane.ini", "amy.svu", "bob.svu"}),
            plat::ListFiles(s.home, "*"));
  EXPECT_EQ(std::vector<std::string>{}, plat::ListFiles(s.home, ".*")) << "a new user's part was left behind";
  EXPECT_EQ((std::vector<std::string>{kNoAdvanced,
                                      "message Confirm [Yes,No] \"You have changed the user name. Are you sure you "
                                      "want to do \\r\\nthis?\" -> Yes",
                                      kNameTaken, kNameTaken, kNameTaken}),
            s.DialogLog());
}
