#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"

using namespace plat;

namespace {

std::string Bytes(const std::string& path) {
  std::string s;
  ReadWholeFile(path, s);
  return s;
}

}  // namespace

// Random seeks, reads and writes against a plain byte model, for buffer sizes around the sizes
// of the requests: every read must see exactly what was written before it.
TEST(RiffIO, BufferedFileMatchesAModelUnderRandomAccess) {
  Scratch dir;
  for (int64_t cap : {int64_t(0), int64_t(1), int64_t(7), int64_t(64), RiffFile::kDefaultBuffer}) {
    std::string path = dir.Path("model" + std::to_string(cap));
    auto f = RiffFile::Open(path, RiffMode::Create);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->SetBuffer(cap));
    std::vector<uint8_t> model;
    std::mt19937 rng(unsigned(cap) + 1);
    int64_t pos = 0;
    for (int step = 0; step < 4000; ++step) {
      int op = int(rng() % 3);
      int64_t n = int64_t(rng() % 200);
      if (rng() % 10 == 0) n = int64_t(rng() % 20000);
      if (op == 0) {
        pos = int64_t(rng() % (model.size() + 300));
        ASSERT_EQ(f->Seek(pos, SEEK_SET), pos);
      } else if (op == 1) {
        std::vector<uint8_t> data(static_cast<size_t>(n));
        for (auto& b : data) b = uint8_t(rng());
        ASSERT_EQ(f->Write(data.data(), n), n);
        if (model.size() < size_t(pos + n)) model.resize(size_t(pos + n), 0);
        if (n > 0) std::copy(data.begin(), data.end(), model.begin() + pos);
        pos += n;
      } else {
        std::vector<uint8_t> got(size_t(n) + 1, 0xEE);
        int64_t expect = std::max<int64_t>(0, std::min<int64_t>(n, int64_t(model.size()) - pos));
        ASSERT_EQ(f->Read(got.data(), n), expect) << "buffer " << cap << " step " << step;
        if (expect > 0) {
          ASSERT_TRUE(std::equal(got.begin(), got.begin() + expect, model.begin() + pos)) << "step " << step;
        }
        pos += expect;
      }
      ASSERT_EQ(f->Tell(), pos);
      ASSERT_EQ(f->Size(), int64_t(model.size()));
    }
    ASSERT_TRUE(f->Close());
    EXPECT_EQ(Bytes(path), std::string(model.begin(), model.end())) << "buffer " << cap;
  }
}

TEST(RiffIO, AscendWritesTheSizeAndAPadByteAndDescendReadsThemBack) {
  Scratch dir;
  std::string path = dir.Path("chunks.riff");
  {
    auto f = RiffFile::Open(path, RiffMode::Create);
    RiffChunk riff, a, list, b;
    riff.type = FourCC("TEST");
    ASSERT_EQ(f->CreateChunk(riff, kRiffCreateRiff), RiffResult::Ok);
    a.id = FourCC("odd ");
    ASSERT_EQ(f->CreateChunk(a), RiffResult::Ok);
    ASSERT_EQ(f->Write("abc", 3), 3);
    ASSERT_EQ(f->Ascend(a), RiffResult::Ok);
    EXPECT_EQ(a.size, 3u);
    list.type = FourCC("INFO");
    ASSERT_EQ(f->CreateChunk(list, kRiffCreateList), RiffResult::Ok);
    b.id = FourCC("even");
    ASSERT_EQ(f->CreateChunk(b), RiffResult::Ok);
    ASSERT_EQ(f->Write("ab", 2), 2);
    ASSERT_EQ(f->Ascend(b), RiffResult::Ok);
    ASSERT_EQ(f->Ascend(list), RiffResult::Ok);
    ASSERT_EQ(f->Ascend(riff), RiffResult::Ok);
    ASSERT_TRUE(f->Close());
  }
  const std::string expect = std::string("RIFF\x26\0\0\0TEST", 12) + std::string("odd \x03\0\0\0abc\0", 12) +
                             std::string("LIST\x0e\0\0\0INFO", 12) + std::string("even\x02\0\0\0ab", 10);
  EXPECT_EQ(Bytes(path), expect);

  auto f = RiffFile::Open(path, RiffMode::Read);
  RiffChunk riff, ck;
  ASSERT_EQ(f->Descend(riff), RiffResult::Ok);
  EXPECT_EQ(riff.type, FourCC("TEST"));
  ck.type = FourCC("INFO");
  ASSERT_EQ(f->Descend(ck, kRiffFindList), RiffResult::Ok);
  EXPECT_EQ(ck.dataOffset, 32);
  ck.id = FourCC("even");
  ASSERT_EQ(f->Descend(ck, kRiffFindChunk), RiffResult::Ok);
  EXPECT_EQ(ck.size, 2u);
  ASSERT_EQ(f->Ascend(ck), RiffResult::Ok);
  EXPECT_EQ(f->Descend(ck), RiffResult::ChunkNotFound);
}

TEST(RiffIO, DescendFailsOnlyOnAShortHeader) {
  // A chunk may claim far more than its parent and the file hold (an unfinished recording's RIFF
  // size is 0): descending into it still works.
  std::string img = std::string("RIFF\0\0\0\0WAVE", 12) + std::string("data\xff\xff\xff\x7f", 8) + "xyz";
  auto f = RiffFile::OpenMemory(img.data(), img.size());
  RiffChunk riff, data, none;
  ASSERT_EQ(f->Descend(riff), RiffResult::Ok);
  EXPECT_EQ(riff.size, 0u);
  ASSERT_EQ(f->Descend(data), RiffResult::Ok);
  EXPECT_EQ(data.size, 0x7fffffffu);
  EXPECT_EQ(f->Read(&none, 8), 3);
  EXPECT_EQ(f->Descend(none), RiffResult::ChunkNotFound);
  EXPECT_EQ(f->Write("x", 1), -1) << "a memory image is read-only";
}

TEST(RiffIO, OpenModes) {
  Scratch dir;
  std::string path = dir.Path("f.bin");
  auto created = RiffFile::Open(path, RiffMode::Create);
  ASSERT_TRUE(created);
  EXPECT_TRUE(created->CreatedNew());
  ASSERT_EQ(created->Write("hello", 5), 5);
  created.reset();  // flushes
  EXPECT_EQ(RiffFileSize(path), 5);
  EXPECT_FALSE(RiffFile::Open(path, RiffMode::CreateNew)) << "an existing file is someone's";
  EXPECT_EQ(Bytes(path), "hello");

  ASSERT_TRUE(SetReadOnly(path, true));
  auto ro = RiffFile::Open(path, RiffMode::ReadWriteOrRead);
  ASSERT_TRUE(ro);
  EXPECT_FALSE(ro->Writable());
  EXPECT_EQ(ro->Write("x", 1), -1);
  ro.reset();
  EXPECT_EQ(Bytes(path), "hello");
  ASSERT_TRUE(SetReadOnly(path, false));

  auto again = RiffFile::Open(path, RiffMode::Create);
  ASSERT_TRUE(again);
  EXPECT_FALSE(again->CreatedNew());
  EXPECT_EQ(again->Size(), 0);
  EXPECT_FALSE(RiffFile::Open(dir.Path("missing"), RiffMode::ReadWrite));
  EXPECT_FALSE(RiffFile::Open(dir.Root(), RiffMode::Read)) << "a folder is not a file";
}

// A cart's folder may be shared with other accounts, which can put anything at a name between the
// deck's removal of a cart and its making of the cart anew: only a file of our own with no other
// name is ever emptied or written into there, and nothing is waited on.
TEST(RiffIO, ACartIsNeverMadeOrWrittenThroughWhatOthersPutAtItsName) {
  Scratch dir;
  const std::string outside = dir.Path("outside.wav"), link = dir.Path("Link.wav"), twin = dir.Path("Twin.wav"),
                    full = dir.Path("Full.wav"), pipe = dir.Path("Pipe.wav");
  ASSERT_TRUE(WriteWholeFile(outside, "precious"));
  ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
  ASSERT_EQ(::link(outside.c_str(), twin.c_str()), 0);
  ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  // Both ends held here, so that no open of it waits and whatever went into it could be read.
  const int ends = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(ends, 0);

  for (const std::string& name : {link, twin, full, pipe}) {
    SCOPED_TRACE(name);
    errno = 0;
    EXPECT_EQ(RiffFile::Open(name, RiffMode::Create), nullptr);
    EXPECT_NE(errno, 0);
  }
  EXPECT_EQ(RiffFile::Open(twin, RiffMode::ReadWrite), nullptr);
  EXPECT_EQ(errno, EMLINK);
  // Heard, never recorded into.
  auto heard = RiffFile::Open(twin, RiffMode::ReadWriteOrRead);
  ASSERT_NE(heard, nullptr);
  EXPECT_FALSE(heard->Writable());
  heard.reset();
  EXPECT_EQ(Bytes(outside), "precious");
  char buf[16];
  EXPECT_EQ(::read(ends, buf, sizeof buf), -1) << "written into the FIFO";
  ::close(ends);
  struct stat st {};
  EXPECT_TRUE(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link was replaced";

  // A file of another account at the name, as root can make one, is not emptied either.
  if (::geteuid() == 0) {
    const std::string theirs = dir.Path("Theirs.wav");
    ASSERT_TRUE(WriteWholeFile(theirs, "theirs"));
    ASSERT_EQ(::chown(theirs.c_str(), 64102, 64102), 0);
    EXPECT_EQ(RiffFile::Open(theirs, RiffMode::Create), nullptr);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(Bytes(theirs), "theirs");
  }
  // A file of our own is made anew.
  auto again = RiffFile::Open(outside, RiffMode::Create);
  EXPECT_EQ(again, nullptr) << "it has a second name yet";
  ASSERT_EQ(::unlink(twin.c_str()), 0);
  again = RiffFile::Open(outside, RiffMode::Create);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(again->CreatedNew());
  EXPECT_EQ(again->Size(), 0);
}
