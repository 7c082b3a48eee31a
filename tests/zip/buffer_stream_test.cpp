#include "zip/buffer_stream.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "tests/support/temp_dir.h"
#include "zip/memory_stream.h"
#include "zip/zip_errors.h"

namespace klv::zip {
namespace {

// A memory stream that counts the reads that reach it.
class CountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  size_t Read(void* destination, size_t count) override {
    ++reads;
    return TMemoryStream::Read(destination, count);
  }
  int reads = 0;
};

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 256);
  return s;
}

TEST(BufferStream, SeekToCurrentPositionKeepsTheBuffer) {
  const std::string data = Bytes(20000);
  CountingStream inner(data);
  TBufferStream stream(inner, 8192);
  char a[46], b[46];
  ASSERT_EQ(stream.Read(a, 46), 46u);
  EXPECT_EQ(stream.Seek(0, SeekOrigin::kCurrent), 46);
  ASSERT_EQ(stream.Read(b, 46), 46u);
  EXPECT_EQ(inner.reads, 1);
  EXPECT_EQ(std::string(b, 46), data.substr(46, 46));
}

TEST(BufferStream, SeekInsideTheBufferedDataNeedsNoRefill) {
  const std::string data = Bytes(20000);
  CountingStream inner(data);
  TBufferStream stream(inner, 8192);
  char c[10];
  stream.Read(c, 10);
  stream.Seek(4000, SeekOrigin::kCurrent);  // forward, still inside
  ASSERT_EQ(stream.Read(c, 10), 10u);
  EXPECT_EQ(std::string(c, 10), data.substr(4010, 10));
  stream.Seek(5, SeekOrigin::kBeginning);  // backward, still inside
  ASSERT_EQ(stream.Read(c, 10), 10u);
  EXPECT_EQ(std::string(c, 10), data.substr(5, 10));
  EXPECT_EQ(inner.reads, 1);
  stream.Seek(9000, SeekOrigin::kBeginning);  // outside: refill from there
  ASSERT_EQ(stream.Read(c, 10), 10u);
  EXPECT_EQ(std::string(c, 10), data.substr(9000, 10));
  EXPECT_EQ(inner.reads, 2);
}

TEST(BufferStream, SeekFromTheEndIgnoresTheSign) {
  const std::string data = Bytes(100);
  TMemoryStream inner(data);
  TBufferStream stream(inner, 16);
  EXPECT_EQ(stream.Seek(-22, SeekOrigin::kEnd), 78);
  EXPECT_EQ(stream.Seek(22, SeekOrigin::kEnd), 78);
}

TEST(BufferStream, ReadPastTheEndAnswersWhatExistsThenZero) {
  const std::string data = Bytes(100);
  TMemoryStream inner(data);
  TBufferStream stream(inner, 16);
  stream.Seek(90, SeekOrigin::kBeginning);
  char c[50];
  EXPECT_EQ(stream.Read(c, 50), 10u);
  EXPECT_EQ(std::string(c, 10), data.substr(90));
  EXPECT_EQ(stream.Read(c, 50), 0u);
}

TEST(BufferStream, ReadsOfEveryLengthGiveTheSameBytes) {
  const std::string data = Bytes(70000);
  TMemoryStream inner(data);
  TBufferStream stream(inner, 8192);
  std::string got;
  size_t step = 1;
  while (got.size() < data.size()) {
    std::string block(step, '\0');
    block.resize(stream.Read(block.data(), step));
    if (block.empty()) break;
    got += block;
    step = step * 3 % 40000 + 1;  // small, large and whole-buffer reads mixed
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(stream.Position(), 70000);
}

TEST(BufferStream, WritesAreFlushedInOrder) {
  TMemoryStream inner;
  int flushes = 0;
  {
    TBufferStream stream(inner, 10);
    stream.OnAfterFlush = [&] { ++flushes; };
    EXPECT_EQ(stream.Write("abcdefgh", 8), 8u);
    EXPECT_EQ(stream.Write("ijklmnop", 8), 8u);
    EXPECT_EQ(stream.Position(), 16);
    EXPECT_EQ(stream.Size(), 16);
  }
  EXPECT_EQ(inner.View(), "abcdefghijklmnop");
  EXPECT_EQ(flushes, 2);
}

TEST(BufferStream, PutBackNeedsRoom) {
  TMemoryStream inner(std::string("xyz"));
  TBufferStream stream(inner, 8);
  EXPECT_THROW(stream.PutBack('a'), EStreamError);
  char c;
  stream.Read(&c, 1);
  stream.PutBack('q');
  stream.Read(&c, 1);
  EXPECT_EQ(c, 'q');
}

TEST(BufferStream, SeekBeforeTheStartRaises) {
  TMemoryStream inner(std::string("xyz"));
  TBufferStream stream(inner, 8);
  EXPECT_THROW(stream.Seek(-1, SeekOrigin::kCurrent), EStreamError);
}

TEST(BufferedFileStream, ReadsAFileAndReportsItsSize) {
  klv::testing::TempDir dir;
  const std::string data = Bytes(30000);
  const std::string path = dir.Write("a.bin", data);
  TBufferedFileStream stream(path, 8192, false, FileMode::kRead);
  EXPECT_EQ(stream.Size(), 30000);
  std::string got(30000, '\0');
  EXPECT_EQ(stream.Read(got.data(), got.size()), 30000u);
  EXPECT_EQ(got, data);
}

TEST(BufferedFileStream, MissingFileRaisesTheSystemError) {
  EXPECT_THROW(TBufferedFileStream("/nonexistent/x.zip", 8192, false, FileMode::kRead),
               std::runtime_error);
}

TEST(MemoryStream, GrowsAndReadsZerosPastWhatWasWritten) {
  TMemoryStream stream;
  stream.SetSize(8);
  stream.SetPosition(0);
  stream.Write("ab", 2);
  EXPECT_EQ(stream.View(), std::string("ab\0\0\0\0\0\0", 8));
  stream.SetPosition(20);
  stream.Write("z", 1);
  EXPECT_EQ(stream.Size(), 21);
  EXPECT_EQ(stream.View()[15], '\0');
  stream.SetSize(1);
  stream.SetSize(3);
  EXPECT_EQ(stream.View(), std::string("a\0\0", 3));
}

}  // namespace
}  // namespace klv::zip
