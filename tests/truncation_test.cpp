// Every reader cut short: each strict prefix of a complete input must give
// none and exactly one report, for the buffer and the file PNM readers over
// the complete-image seeds of the fuzz corpus and the netpbm fixtures, and for
// the text-form reader over the complete-block seeds. Under the sanitizer
// build this also shows that no prefix reads past its end or leaks.
//
// A known exception: plain rasters and the text form end with a decimal
// number, and a cut inside its digits (or in what follows them) leaves a valid
// number, only a shorter one: "... 1 2 15\n" cut to "... 1 2 1" is a complete
// image whose last value is 1. No reader can tell such a prefix from a
// complete input, so prefixes that reach the first digit of the input's last
// number are not checked. Raw rasters have no such exception: every byte
// counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Seed {
  std::string name;
  std::string bytes;
  bool required = true;  // must read whole; otherwise skipped when it does not
};

// The files of folder whose names match pattern, in name order.
std::vector<Seed> SeedsIn(const fs::path& folder, const std::string& pattern) {
  std::vector<Seed> seeds;
  const std::regex match(pattern);
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && std::regex_match(name, match))
      seeds.push_back({name, test::ReadFile(entry.path().string())});
  }
  std::sort(seeds.begin(), seeds.end(),
            [](const Seed& a, const Seed& b) { return a.name < b.name; });
  return seeds;
}

const fs::path kSource = INTRO_SOURCE_DIR;

// The complete-image seeds (named p<type>_...), which both readers must read,
// and the netpbm fixtures, of which each reader takes those it reads whole
// (plain bitmaps with unseparated digits, or widths that are no multiple of
// 8, suit only one of the two).
std::vector<Seed> PnmSeeds() {
  std::vector<Seed> seeds =
      SeedsIn(kSource / "fuzz/corpus/img_parse", "p[1-6]_.*");
  for (Seed& s : SeedsIn(kSource / "tests/data/pnm", ".*\\.p[bgp]m"))
    seeds.push_back({"fixture " + s.name, std::move(s.bytes), false});
  return seeds;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the shortest prefix that still holds a digit of the input's
// last number; inputs with no digit: their whole length.
size_t LastNumberReach(const std::string& bytes) {
  size_t end = bytes.size();
  while (end > 0 && !IsDigit(bytes[end - 1])) --end;
  while (end > 1 && IsDigit(bytes[end - 2])) --end;
  return end == 0 ? bytes.size() : end;
}

// The magic's type digit of a PNM seed (the first "P" and the byte after it).
char PnmType(const std::string& bytes) {
  const size_t p = bytes.find('P');
  return p != std::string::npos && p + 1 < bytes.size() ? bytes[p + 1] : '?';
}

// Strict prefixes that must fail: all of them for raw formats; for plain ones
// and the text form, those short of the last number.
size_t CheckedPrefixes(const std::string& bytes, bool plain) {
  return plain ? std::min(LastNumberReach(bytes), bytes.size()) : bytes.size();
}

// What one reader makes of bytes: the image (or none) and its output.
struct Outcome {
  test::ImagePtr image;
  std::string output;
};

using Reader = Outcome (*)(const std::string& bytes, const test::TempDir& dir);

Outcome Parse(const std::string& bytes, const test::TempDir&) {
  // An exact-size copy: a read past the prefix is a read past the block.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  Outcome o;
  o.output = test::StdoutOf(
      [&] { o.image.reset(IMGParse(copy.get(), bytes.size())); });
  return o;
}

Outcome Load(const std::string& bytes, const test::TempDir& dir) {
  const std::string path = dir.File("prefix.pnm");
  test::WriteFile(path, bytes);
  Outcome o;
  o.output = test::StdoutOf([&] { o.image.reset(IMGLoad(path.c_str())); });
  return o;
}

Outcome FromAscii(const std::string& bytes, const test::TempDir&) {
  // An exact-size terminated copy.
  std::unique_ptr<char[]> text(new char[bytes.size() + 1]);
  std::memcpy(text.get(), bytes.data(), bytes.size());
  text[bytes.size()] = '\0';
  Outcome o;
  o.output = test::StdoutOf([&] { o.image.reset(IMGFromASCII(text.get())); });
  return o;
}

struct Case {
  const char* name;
  Reader read;
  std::vector<Seed> (*seeds)();
  bool (*plain)(const std::string& bytes);
};

bool PlainPnm(const std::string& bytes) {
  const char type = PnmType(bytes);
  return type == '1' || type == '2' || type == '3';
}
bool AlwaysPlain(const std::string&) { return true; }
std::vector<Seed> TextFormSeeds() {
  return SeedsIn(kSource / "fuzz/corpus/img_from_ascii", "block_.*");
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Truncation : public testing::TestWithParam<Case> {};

TEST_P(Truncation, EveryCutGivesNoneAndOneReport) {
  const Case& c = GetParam();
  const test::TempDir dir;
  const std::vector<Seed> seeds = c.seeds();
  ASSERT_GE(seeds.size(), 10u) << "the seed folders are missing";
  size_t used = 0, checked = 0;
  for (const Seed& seed : seeds) {
    SCOPED_TRACE(seed.name);
    // Every seed is a complete input: read whole, it gives an image silently.
    const Outcome whole = c.read(seed.bytes, dir);
    if (!whole.image && !seed.required) continue;
    ASSERT_TRUE(whole.image) << "the seed itself does not read";
    ASSERT_EQ(whole.output, "");
    ++used;

    const size_t limit = CheckedPrefixes(seed.bytes, c.plain(seed.bytes));
    int failures = 0;
    for (size_t n = 0; n < limit && failures < 3; ++n) {
      const Outcome cut = c.read(seed.bytes.substr(0, n), dir);
      if (cut.image == nullptr && cut.output == "IMG error\n") continue;
      ++failures;
      ADD_FAILURE() << "prefix of " << n << " of " << seed.bytes.size()
                    << " bytes gave " << (cut.image ? "an image" : "none")
                    << " and output \"" << cut.output << "\"";
    }
    checked += limit;
  }
  // Most prefixes are checked: the exception covers only the last number.
  EXPECT_GE(used, 10u);
  EXPECT_GT(checked, used * 8);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, Truncation,
    testing::Values(Case{"IMGParse", Parse, PnmSeeds, PlainPnm},
                    Case{"IMGLoad", Load, PnmSeeds, PlainPnm},
                    Case{"IMGFromASCII", FromAscii, TextFormSeeds,
                         AlwaysPlain}),
    [](const testing::TestParamInfo<Case>& info) {
      return std::string(info.param.name);
    });

// The exception above in one picture: a plain image cut inside its last
// number is a complete, smaller-valued image, which is why those prefixes are
// left out rather than expected to fail.
TEST(TruncationException, CutInsideLastNumberReadsAsShorterNumber) {
  const std::string whole = "P2 1 1 255 15";
  const std::string cut = whole.substr(0, whole.size() - 1);
  const test::TempDir dir;
  for (Reader read : {Parse, Load}) {
    const Outcome o = read(cut, dir);
    ASSERT_TRUE(o.image);
    EXPECT_EQ(test::Pixels(o.image.get()), std::vector<uint32_t>{0x010101u});
  }
  EXPECT_EQ(LastNumberReach(whole), whole.size() - 1);
  EXPECT_EQ(LastNumberReach("IMG{\nP3\n1 1\n255\n 10  11  12\n}\n"), 26u);
}

}  // namespace
