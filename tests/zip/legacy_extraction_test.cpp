// The legacy decoders inside the extraction: output in blocks of 32768 bytes (so progress
// events as for deflated entries), and output beyond the declared size stopped before the
// block that would pass it (or, for the methods that count their output, at that size), the
// entry then judged by its CRC-32.
#include <gtest/gtest.h>

#include "tests/zip/legacy_encoders.h"
#include "tests/zip/legacy_test_support.h"

namespace klv::zip {
namespace {

using klv::testing::FixtureArchive;

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n) s += "Recall " + std::to_string(s.size() % 9973) + " at the surgery. ";
  s.resize(n);
  return s;
}

struct MethodCase {
  const char* name;
  uint16_t method;
  uint16_t flags;
  std::string (*encode)(const std::string& data);
  // Progress when 100000 bytes are declared as 50000: shrink decodes until its input ends and
  // passes the size; reduce and implode decode until the declared count, which the
  // literal-only reduce stream meets exactly and the implode stream's last match passes.
  std::vector<int> declared_half;
};

const MethodCase kMethods[] = {
    {"shrink", 1, 0, [](const std::string& d) { return klv::testing::Shrink(d); }, {66}},
    {"reduce 2",
     3,
     0,
     [](const std::string& d) {
       klv::testing::ReduceWriter w;
       for (char c : d) w.Literal(static_cast<uint8_t>(c));
       return w.bytes();
     },
     {66, 100}},
    {"implode 8K 3 trees",
     6,
     6,
     [](const std::string& d) {
       return klv::testing::Implode(d, {.dictionary_8k = true, .literal_tree = true});
     },
     {66}},
};

struct Extracted {
  int32_t result = -1;
  std::vector<int> percents;
  std::vector<std::string> events;
  std::string output;
};

Extracted Extract(const MethodCase& m, const std::string& data, uint64_t declared_size) {
  FixtureArchive archive;
  archive.entries.push_back({.name = "KLV.EXE",
                             .data = data,
                             .method = m.method,
                             .flags = m.flags,
                             .uncompressed_size = declared_size,
                             .payload = m.encode(data)});
  klv::testing::TempDir dir;
  klv::testing::RecordingHost host;
  TUnZip unzip(&host);
  unzip.SetZipName(dir.Write("a.zip", klv::testing::BuildZip(archive)));
  unzip.DoAll = true;
  Extracted run;
  unzip.OnTotalPercentDone = [&](int p) { run.percents.push_back(p); };
  unzip.OnEndUnZip = [&](int, const std::string&) { run.events.push_back("end"); };
  unzip.OnBadCRC = [&](uint32_t, uint32_t, int) { run.events.push_back("badcrc"); };
  unzip.ReadDirectory();
  TMemoryStream stream;
  run.result = unzip.ExtractToStream(&stream, 0);
  run.output = std::string(stream.View());
  return run;
}

TEST(LegacyExtraction, OutputComesInBlocksOf32768Bytes) {
  const std::string data = Text(100000);
  for (const MethodCase& m : kMethods) {
    SCOPED_TRACE(m.name);
    const Extracted run = Extract(m, data, data.size());
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.percents, (std::vector<int>{33, 66, 98, 100}));
    EXPECT_EQ(run.events, std::vector<std::string>{"end"});
    EXPECT_TRUE(run.output == data);
  }
}

TEST(LegacyExtraction, OutputStopsAtTheDeclaredSize) {
  const std::string data = Text(100000);
  for (const MethodCase& m : kMethods) {
    SCOPED_TRACE(m.name);
    const Extracted run = Extract(m, data, 50000);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.percents, m.declared_half);
    EXPECT_EQ(run.events, std::vector<std::string>{"badcrc"});
    EXPECT_EQ(run.output.substr(0, 32768), data.substr(0, 32768));
  }
}

}  // namespace
}  // namespace klv::zip
