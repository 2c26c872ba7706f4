#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/scratch.h"
#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "platform/ui/strings.h"

using namespace plat;

namespace {

std::string DataFile(const std::string& name) {
  std::string text;
  EXPECT_TRUE(ReadWholeFile(std::string(UI_TEST_DATA) + "/" + name, text)) << name;
  return text;
}

std::string Contents(const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);
  return text;
}

}  // namespace

TEST(IniFile, RoundTripMatchesGoldenFile) {
  Scratch dir;
  const std::string path = dir.Path("Solvane.ini");
  ASSERT_TRUE(WriteWholeFile(path, DataFile("settings-before.ini")));

  TIniFile ini(path);
  // Names in another case find the stored ones; blanks and one pair of quotes are trimmed.
  EXPECT_EQ(ini.ReadString("gui", "analog meters", "x"), "False");
  EXPECT_EQ(ini.ReadString("GUI", "FULL SCREEN", "x"), "0");
  EXPECT_EQ(ini.ReadString("Standard Cart", "format", ""), "26");
  EXPECT_EQ(ini.ReadInteger("standard cart", "Format", 3300), 26);

  ini.WriteString("gui", "ANALOG METERS", "True");  // keeps "Analog Meters"
  ini.WriteBool("GUI", "full screen", true);        // replaced where it stands
  ini.WriteBool("GUI", "Short Timers", false);      // new key: end of its section
  ini.WriteInteger("STANDARD CART", "FORMAT", 27);
  ini.WriteInteger("Standard Cart", "LENGTH", 10000);
  ini.WriteString("GPI", "ON STOP", "A{{CRLF}}B");  // new section: end of the file

  EXPECT_EQ(Contents(path), DataFile("settings-after.ini"));
  // A second object on the same file reads what the first wrote.
  TIniFile again(path);
  EXPECT_TRUE(again.ReadBool("Gui", "Full Screen", false));
  EXPECT_EQ(again.ReadString("gpi", "on stop", ""), "A{{CRLF}}B");
}

TEST(IniFile, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
  Scratch dir;
  const std::string path = dir.Path("new.svu");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("USER", "PASSWORD", "7k3m9p2x8q4wzbn"), "7k3m9p2x8q4wzbn");
  EXPECT_FALSE(ini.SectionExists("USER"));
  EXPECT_FALSE(FileExists(path));
  ini.WriteString("Template 0", "Name", "");
  EXPECT_EQ(Contents(path), "[Template 0]\r\nName=\r\n");
  // An empty stored value is a value, not a missing key.
  EXPECT_EQ(ini.ReadString("Template 0", "Name", "default"), "");
  EXPECT_TRUE(ini.ValueExists("template 0", "NAME"));
}

TEST(IniFile, IntegerAndBooleanReadsFallBackOnText) {
  Scratch dir;
  const std::string path = dir.Path("n.ini");
  ASSERT_TRUE(WriteWholeFile(path,
                             "[N]\nhex=0x1F\ndollar=$10\nneg=-12\nlead= 12\nword=abc\nbig=99999999999\n"
                             "min=-2147483648\nover=2147483648\nempty=\nplus=+7\nhalf=12abc\n"
                             "two=2\nzero=0\nallbits=$FFFFFFFF\n"));
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "dollar", 0), 16);
  EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -12);
  EXPECT_EQ(ini.ReadInteger("N", "lead", 0), 12);
  EXPECT_EQ(ini.ReadInteger("N", "word", 3300), 3300);
  EXPECT_EQ(ini.ReadInteger("N", "big", 5), 5);
  EXPECT_EQ(ini.ReadInteger("N", "min", 0), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("N", "over", 9), 9);
  EXPECT_EQ(ini.ReadInteger("N", "empty", 4), 4);
  EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("N", "half", 1), 1);
  EXPECT_EQ(ini.ReadInteger("N", "allbits", 0), -1);
  EXPECT_EQ(ini.ReadInteger("N", "missing", 42), 42);
  EXPECT_TRUE(ini.ReadBool("N", "two", false));
  EXPECT_FALSE(ini.ReadBool("N", "zero", true));
  EXPECT_TRUE(ini.ReadBool("N", "word", true));
  EXPECT_FALSE(ini.ReadBool("N", "word", false));
}

TEST(IniFile, FirstOfEqualNamesWinsAndLfFilesRead) {
  Scratch dir;
  const std::string path = dir.Path("d.ini");
  ASSERT_TRUE(WriteWholeFile(path, "[A]\nk=1\nK=2\n[a]\nk=3\n[B]\r\nq='it''s'\r\nr=\"x\"\"\r\nnoequals\n"));
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("a", "k", ""), "1");
  // Only one pair of matching quotes goes.
  EXPECT_EQ(ini.ReadString("B", "q", ""), "it''s");
  EXPECT_EQ(ini.ReadString("B", "r", ""), "x\"");
  TStringList sections, keys;
  ini.ReadSections(sections);
  EXPECT_EQ(sections.CommaText(), "A,B");
  ini.ReadSection("A", keys);
  EXPECT_EQ(keys.CommaText(), "k,K");
  ini.WriteString("A", "K", "9");
  EXPECT_EQ(ini.ReadString("A", "k", ""), "9");
  EXPECT_EQ(Contents(path), "[A]\r\nk=9\r\nK=2\r\n[a]\r\nk=3\r\n[B]\r\nq='it''s'\r\nr=\"x\"\"\r\nnoequals\r\n");
}

TEST(IniFile, LineBreaksInAWrittenValueCannotAddKeys) {
  Scratch dir;
  const std::string path = dir.Path("u.svu");
  TIniFile ini(path);
  ini.WriteString("USER", "FULL NAME", "Eve\r\n[USER]\r\nPASSWORD=");
  EXPECT_EQ(ini.ReadString("USER", "PASSWORD", "none"), "none");
  EXPECT_EQ(ini.ReadString("USER", "FULL NAME", ""), "Eve  [USER]  PASSWORD=");
}

TEST(IniFile, SeesChangesMadeByAnotherWriter) {
  Scratch dir;
  const std::string path = dir.Path("s.ini");
  TIniFile ini(path);
  ini.WriteString("S", "k", "1");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
  ASSERT_TRUE(WriteWholeFile(path, "[S]\r\nk=22\r\n"));
  EXPECT_EQ(ini.ReadString("S", "k", ""), "22");
}

TEST(IniFile, EraseAndDeleteKeepTheRest) {
  Scratch dir;
  const std::string path = dir.Path("e.ini");
  ASSERT_TRUE(WriteWholeFile(path, "; top\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n"));
  TIniFile ini(path);
  ini.DeleteKey("a", "X");
  ini.DeleteKey("A", "nothing");
  EXPECT_EQ(Contents(path), "; top\r\n[A]\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
  ini.EraseSection("a");
  EXPECT_EQ(Contents(path), "; top\r\n[B]\r\nz=3\r\n");
  TStringList values;
  ini.ReadSectionValues("B", values);
  EXPECT_EQ(values.Text(), "z=3\r\n");
  // A section without keys does not count as existing.
  ini.DeleteKey("B", "z");
  EXPECT_FALSE(ini.SectionExists("B"));
}

TEST(IniFile, WriteToReadOnlyFileRaisesAndLeavesItAlone) {
  Scratch dir;
  const std::string path = dir.Path("ro.ini");
  ASSERT_TRUE(WriteWholeFile(path, "[A]\r\nx=1\r\n"));
  ASSERT_TRUE(SetReadOnly(path, true));
  TIniFile ini(path);
  try {
    ini.WriteString("A", "x", "2");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + path);
  }
  EXPECT_EQ(Contents(path), "[A]\r\nx=1\r\n");
  EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
}

TEST(IniFile, WritingKeepsTheFileModeAndFollowsALink) {
  Scratch dir;
  const std::string real = dir.Path("real.ini"), link = dir.Path("link.ini");
  ASSERT_TRUE(WriteWholeFile(real, "[A]\r\n"));
  ::chmod(real.c_str(), 0600);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  TIniFile ini(link);
  ini.WriteString("A", "x", "1");
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Contents(real), "[A]\r\nx=1\r\n");
  EXPECT_TRUE(ListFiles(dir.Root(), "*tmp*").empty());
  if (::geteuid() != 0) return;  // only root can give a link away
  // Another account's link in a folder shared with it (users on a share): never read or written
  // through.
  ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
  TIniFile theirs(link);
  EXPECT_THROW(theirs.WriteString("A", "y", "2"), EIniReadError);
  EXPECT_THROW(theirs.ReadString("A", "x", ""), EIniReadError);
  EXPECT_EQ(Contents(real), "[A]\r\nx=1\r\n");
}

// A link of our own that comes to point at something other than a file between the read and the
// write (a pipe here; a device such as /dev/zero for a root that wrote through it) is never
// replaced by the written file.
TEST(IniFile, ALinkToWhatIsNoFileIsNeverWrittenThrough) {
  Scratch dir;
  const std::string pipe = dir.Path("pipe"), link = dir.Path("link.ini");
  TIniFile ini(link);
  ini.BeginUpdate();
  ini.WriteString("A", "x", "1");  // read while nothing was there; stored at the end
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(pipe.c_str(), link.c_str()), 0);
  EXPECT_THROW(ini.EndUpdate(), EIniFileException);
  struct stat st;
  ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(ListFiles(dir.Root(), "*tmp*").empty());
}

TEST(IniFile, EveryValueWrittenReadsBackAsWritten) {
  Scratch dir;
  const std::string path = dir.Path("ann.svu");
  const std::vector<std::string> values = {" pw ",   "\"q\"",     "'q'", "\tx",  "x ",    "\"",
                                           "\"half", "a \"b\" c", "' '", "\"\"", "plain", ""};
  TIniFile ini(path);
  for (size_t i = 0; i < values.size(); ++i) ini.WriteString("USER", "K" + std::to_string(i), values[i]);
  TIniFile again(path);
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(again.ReadString("USER", "K" + std::to_string(i), "?"), values[i]) << i;
  // Only what a read would change gets the extra quotes; the rest is stored as it stands.
  const std::string text = Contents(path);
  EXPECT_NE(text.find("K0=\" pw \"\r\n"), std::string::npos);
  EXPECT_NE(text.find("K1=\"\"q\"\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("K6=\"half\r\nK7=a \"b\" c\r\n"), std::string::npos);
  EXPECT_NE(text.find("K10=plain\r\nK11=\r\n"), std::string::npos);
}

TEST(IniFile, FilesAreCreatedAndRewrittenForTheirOwnerOnly) {
  Scratch dir;
  const std::string made = dir.Path("made.svu"), old = dir.Path("old.ini");
  const mode_t mask = ::umask(0);  // the widest a creation could give
  TIniFile(made).WriteString("USER", "PASSWORD", "pw");
  ASSERT_TRUE(WriteWholeFile(old, "[A]\r\nx=1\r\n"));
  ASSERT_EQ(::chmod(old.c_str(), 0664), 0);
  TIniFile(old).WriteString("A", "x", "2");
  ::umask(mask);
  struct stat st;
  ASSERT_EQ(::stat(made.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Contents(old), "[A]\r\nx=2\r\n");
}

TEST(IniFile, AFileThatCannotBeReadIsNeverTakenAsEmptyNorWrittenOver) {
  Scratch dir;
  const std::string fifo = dir.Path("bob.svu"), big = dir.Path("Default.svu");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(WriteWholeFile(big, "[Template 0]\r\nName=News\r\n"));
  ASSERT_EQ(::truncate(big.c_str(), SmallFileLimit + 1), 0);
  for (const std::string& path : {fifo, big}) {
    SCOPED_TRACE(path);
    TIniFile ini(path);
    EXPECT_NE(ini.ReadFailure(), "");
    EXPECT_EQ(ini.ReadFailure().rfind("Unable to read " + path + ": ", 0), 0u) << ini.ReadFailure();
    try {
      ini.ReadString("USER", "PASSWORD", "x");
      ADD_FAILURE() << "read as empty";
    } catch (const EIniReadError& e) {
      EXPECT_EQ(e.Message(), ini.ReadFailure());
    }
    EXPECT_THROW(ini.WriteString("Template 0", "Name", "Mine"), EIniReadError);
    ini.BeginUpdate();
    EXPECT_THROW(ini.WriteString("Template 0", "Name", "Mine"), EIniReadError);
    ini.EndUpdate();
    EXPECT_THROW(ini.EraseSection("Template 0"), EIniReadError);
  }
  struct stat st;
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(FileSize(big), SmallFileLimit + 1);
  EXPECT_EQ(Contents(big).substr(0, 24), "[Template 0]\r\nName=News\r");
  // Nothing at the name is no failure: the file is made by the first write.
  TIniFile fresh(dir.Path("new.svu"));
  EXPECT_EQ(fresh.ReadFailure(), "");
  EXPECT_EQ(fresh.ReadString("USER", "PASSWORD", "x"), "x");
}

TEST(IniFile, InAFolderSharedWithAGroupFilesKeepTheFoldersGroupAndLetItReadAndWrite) {
  Scratch dir;
  const gid_t group = ::geteuid() == 0 ? gid_t(65534) : ::getegid();
  const std::string shared = dir.Path("users");
  ASSERT_TRUE(CreateDir(shared));
  ASSERT_EQ(::chown(shared.c_str(), uid_t(-1), group), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 02775), 0);
  const std::string made = shared + "/bob.svu", old = shared + "/Default.svu";
  ASSERT_TRUE(WriteWholeFile(old, "[Template 0]\r\nName=News\r\n", 0600));
  ASSERT_EQ(::chown(old.c_str(), uid_t(-1), ::getegid()), 0);
  const mode_t mask = ::umask(077);  // the narrowest a creation could give
  TIniFile(made).WriteString("USER", "PASSWORD", "pw");
  TIniFile(old).WriteString("Template 1", "Name", "Sports");
  ::umask(mask);
  for (const std::string& path : {made, old}) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u) << path;
    EXPECT_EQ(st.st_gid, group) << path;
  }
  EXPECT_EQ(Contents(old), "[Template 0]\r\nName=News\r\n[Template 1]\r\nName=Sports\r\n");
}

TEST(IniFile, AFileThatMustExistIsNotMadeAgainOnceRemoved) {
  Scratch dir;
  const std::string path = dir.Path("bob.svu");
  ASSERT_TRUE(WriteWholeFile(path, "[USER]\r\nPASSWORD=pw\r\n"));
  TIniFile ini(path);
  ini.SetMustExist(true);
  ini.WriteString("USER", "FULL NAME", "Bob");
  EXPECT_EQ(Contents(path), "[USER]\r\nPASSWORD=pw\r\nFULL NAME=Bob\r\n");
  EXPECT_TRUE(ListFiles(dir.Root(), "*tmp*").empty());
  // Removed on another workstation, once read and once not yet read.
  ini.BeginUpdate();
  ini.WriteString("USER", "PASSWORD", "new");
  ASSERT_TRUE(DeleteFile(path));
  EXPECT_THROW(ini.EndUpdate(), EIniFileGone);
  EXPECT_FALSE(FileExists(path));
  TIniFile later(path);
  later.SetMustExist(true);
  EXPECT_THROW(later.WriteString("USER", "PASSWORD", "new"), EIniFileGone);
  EXPECT_FALSE(FileExists(path));
  EXPECT_TRUE(ListFiles(dir.Root(), "*").empty());
  // A file of no name reads as empty and takes no write.
  TIniFile none({});
  EXPECT_EQ(none.ReadString("A", "x", "d"), "d");
  EXPECT_THROW(none.WriteString("A", "x", "1"), EIniFileException);
}
