// Image transforms: distribution tables, scaling, rotation and line points,
// checked against worked examples and against plain per-pixel references
// written from the mappings' definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/sintab.h"
#include "img/img.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;
using test::MakeImage;
using test::Pixels;
using test::StdoutOf;

using Values = std::vector<int32_t>;

// Copies a free()-owned table of known length and releases it.
Values TakeTable(int32_t* table, size_t length) {
  if (!table) return {};
  Values v(table, table + length);
  std::free(table);
  return v;
}

Values TakePoints(int32_t* list) {
  if (!list) return {};
  return TakeTable(list, static_cast<size_t>(list[0]) + 1);
}

// The first pixel where two images differ, for failure messages.
std::string FirstDifference(const Image* actual,
                            const std::vector<uint32_t>& want, int32_t width) {
  const auto got = Pixels(actual);
  for (size_t i = 0; i < got.size() && i < want.size(); ++i)
    if (got[i] != want[i])
      return "pixel (" + std::to_string(i % width) + ", " +
             std::to_string(i / width) + "): got " + std::to_string(got[i]) +
             ", want " + std::to_string(want[i]);
  return got.size() == want.size() ? "none" : "sizes differ";
}

ImagePtr RandomImage(std::mt19937& rng, int32_t w, int32_t h) {
  std::vector<uint32_t> values(static_cast<size_t>(w) * h);
  for (auto& v : values) v = rng();
  return ImagePtr(MakeImage(w, h, values));
}

// A w x h image whose pixels are 1, 2, 3, ... in index order.
ImagePtr Counting(int32_t w, int32_t h) {
  std::vector<uint32_t> values(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = static_cast<uint32_t>(i + 1);
  return ImagePtr(MakeImage(w, h, values));
}

// ---- IMGSpread --------------------------------------------------------------

struct SpreadCase {
  int32_t a, b;
  Values expected;
};

class ImgSpreadExamples : public testing::TestWithParam<SpreadCase> {};

TEST_P(ImgSpreadExamples, GivesCounts) {
  const SpreadCase& c = GetParam();
  Values got;
  EXPECT_EQ(StdoutOf([&] {
              got = TakeTable(IMGSpread(c.a, c.b), c.expected.size());
            }),
            "");
  EXPECT_EQ(got, c.expected) << c.a << ", " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ImgSpreadExamples,
    testing::Values(SpreadCase{2, 4, {2, 2, 1}}, SpreadCase{4, 2, {2, 2, 1}},
                    SpreadCase{-2, 4, {2, 2, 1}}, SpreadCase{2, -4, {2, 2, 1}},
                    SpreadCase{3, 4, {2, 1, 1, 1}}, SpreadCase{2, 3, {2, 1, 1}},
                    SpreadCase{3, 7, {3, 2, 2, 1}},
                    SpreadCase{4, 4, {1, 1, 1, 1, 1}}, SpreadCase{0, 3, {4}},
                    SpreadCase{3, 0, {4}}, SpreadCase{0, 0, {1}}),
    [](const testing::TestParamInfo<SpreadCase>& info) {
      return "Of" + test::NameNumber(info.param.a) + "And" +
             test::NameNumber(info.param.b);
    });

TEST(ImgSpread, EntriesMatchCeilingFormula) {
  // Entry j = ceil((j + 1) * big / small) - ceil(j * big / small); last is 1.
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const int64_t big = 1 + rng() % 400;
    const int64_t small = 1 + rng() % big;
    const Values got = TakeTable(
        IMGSpread(static_cast<int32_t>(big), static_cast<int32_t>(small)),
        static_cast<size_t>(small) + 1);
    ASSERT_EQ(got.size(), static_cast<size_t>(small) + 1);
    auto ceilDiv = [](int64_t p, int64_t q) { return (p + q - 1) / q; };
    for (int64_t j = 0; j < small; ++j)
      ASSERT_EQ(got[j], ceilDiv((j + 1) * big, small) - ceilDiv(j * big, small))
          << big << ", " << small << " entry " << j;
    EXPECT_EQ(got[small], 1);
  }
}

TEST(ImgSpread, UnrepresentableCountsReportOnce) {
  // |INT32_MIN| is not a 32-bit value, nor is the single count INT32_MAX + 1.
  for (auto [a, b] : {std::pair{INT32_MIN, 1}, std::pair{1, INT32_MIN},
                      std::pair{INT32_MAX, 0}, std::pair{0, INT32_MIN}}) {
    int32_t* table = reinterpret_cast<int32_t*>(1);
    EXPECT_EQ(StdoutOf([&] { table = IMGSpread(a, b); }), "IMG error\n");
    EXPECT_EQ(table, nullptr);
  }
}

// ---- IMGScale ---------------------------------------------------------------

// The source index for destination index d on one axis, from the mapping's
// definition: a growing axis gives destination d to the source k with
// k * new / old <= d < (k + 1) * new / old (rounded up), i.e. floor(d * old /
// new); a shrinking axis groups the sources k with floor(k * new / old) = d and
// takes the first or last of the group.
int32_t ReferenceSource(int64_t d, int64_t oldLen, int64_t newLen, bool last) {
  if (newLen >= oldLen) return static_cast<int32_t>(d * oldLen / newLen);
  auto ceilDiv = [](int64_t p, int64_t q) { return (p + q - 1) / q; };
  return static_cast<int32_t>(last ? ceilDiv((d + 1) * oldLen, newLen) - 1
                                   : ceilDiv(d * oldLen, newLen));
}

std::vector<uint32_t> ReferenceScale(const Image* s, int32_t w, int32_t h) {
  std::vector<uint32_t> out;
  const bool widthShrinks = w < s->width;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t sy = ReferenceSource(y, s->height, h, widthShrinks);
    for (int32_t x = 0; x < w; ++x)
      out.push_back(IMGGetPixel(s, ReferenceSource(x, s->width, w, true), sy));
  }
  return out;
}

struct ScaleCase {
  const char* name;
  int32_t sw, sh;
  int32_t w, h;
  std::vector<uint32_t> expected;  // pixels of the counting source 1, 2, ...
};

class ImgScaleExamples : public testing::TestWithParam<ScaleCase> {};

TEST_P(ImgScaleExamples, PicksSourcePixels) {
  const ScaleCase& c = GetParam();
  ImagePtr source = Counting(c.sw, c.sh);
  ImagePtr result(IMGScale(source.get(), c.w, c.h));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->width, c.w);
  EXPECT_EQ(result->height, c.h);
  EXPECT_EQ(Pixels(result.get()), c.expected);
}

// With a b c d ... as 1 2 3 4 ...
INSTANTIATE_TEST_SUITE_P(
    Examples, ImgScaleExamples,
    testing::Values(
        ScaleCase{"RowShrinks", 4, 1, 2, 1, {2, 4}},
        ScaleCase{"RowGrows", 2, 1, 5, 1, {1, 1, 1, 2, 2}},
        ScaleCase{"ColumnShrinksTakesFirst", 1, 4, 1, 2, {1, 3}},
        ScaleCase{"BothShrinkTakeLast", 4, 4, 2, 2, {6, 8, 14, 16}},
        ScaleCase{"BothGrow", 2, 2, 4, 3, {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4}},
        ScaleCase{"WidthShrinksHeightGrows", 4, 2, 2, 3, {2, 4, 2, 4, 6, 8}},
        ScaleCase{"WidthGrowsHeightShrinks", 2, 4, 3, 2, {1, 1, 2, 5, 5, 6}},
        ScaleCase{"ColumnsThreeToTwo", 3, 1, 2, 1, {2, 3}},
        ScaleCase{"ToZeroWidth", 3, 3, 0, 4, {}},
        ScaleCase{"ToZeroHeight", 3, 3, 4, 0, {}},
        ScaleCase{"FromZeroWidth", 0, 3, 2, 2, {0, 0, 0, 0}},
        ScaleCase{"FromZeroHeight", 3, 0, 3, 1, {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImgScale, SameSizeIsCopy) {
  std::mt19937 rng(3);
  ImagePtr source = RandomImage(rng, 13, 7);
  ImagePtr result(IMGScale(source.get(), 13, 7));
  ASSERT_TRUE(result);
  EXPECT_TRUE(IMGEqual(result.get(), source.get()));
}

TEST(ImgScale, MatchesReferenceForRandomSizes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    const int32_t sw = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t sh = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t w = static_cast<int32_t>(rng() % 90);
    const int32_t h = static_cast<int32_t>(rng() % 90);
    ImagePtr source = RandomImage(rng, sw, sh);
    ImagePtr result(IMGScale(source.get(), w, h));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->width, w);
    ASSERT_EQ(result->height, h);
    const auto want = ReferenceScale(source.get(), w, h);
    ASSERT_EQ(Pixels(result.get()), want)
        << sw << "x" << sh << " -> " << w << "x" << h << ": "
        << FirstDifference(result.get(), want, w);
  }
}

TEST(ImgScale, WholeFactorsMatchReference) {
  // Doubled, halved and unchanged widths, odd sizes included, with every kind
  // of height change.
  std::mt19937 rng(23);
  for (int32_t sw = 1; sw <= 19; ++sw) {
    for (int32_t w : {sw, 2 * sw, sw / 2}) {
      for (auto [sh, h] : {std::pair{5, 5}, std::pair{3, 7}, std::pair{8, 3}}) {
        ImagePtr source = RandomImage(rng, sw, sh);
        ImagePtr result(IMGScale(source.get(), w, h));
        ASSERT_TRUE(result);
        const auto want = ReferenceScale(source.get(), w, h);
        ASSERT_EQ(Pixels(result.get()), want)
            << sw << "x" << sh << " -> " << w << "x" << h << ": "
            << FirstDifference(result.get(), want, w);
      }
    }
  }
}

TEST(ImgScale, BadArgumentsReportOnce) {
  ImagePtr source = Counting(4, 4);
  struct Case {
    const Image* source;
    int32_t w, h;
  };
  for (const Case& c :
       {Case{nullptr, 2, 2}, Case{source.get(), -1, 2},
        Case{source.get(), 2, -1}, Case{source.get(), 65536, 65536},
        Case{source.get(), INT32_MAX, 2}}) {
    Image* result = reinterpret_cast<Image*>(1);
    EXPECT_EQ(StdoutOf([&] { result = IMGScale(c.source, c.w, c.h); }),
              "IMG error\n")
        << c.w << "x" << c.h;
    EXPECT_EQ(result, nullptr);
  }
}

// ---- IMGRotate --------------------------------------------------------------

// The rotation formula, pixel by pixel, with separately shifted products.
std::vector<uint32_t> ReferenceRotate(const Image* s, int32_t angle) {
  const int32_t w = (s->width * 92667) >> 16;
  const int32_t h = (s->height * 92667) >> 16;
  const int64_t n = 1024;
  const int32_t sinTerm =
      intro::SINTAB[((-static_cast<int64_t>(angle)) % n + n) % n];
  const int32_t cosTerm =
      intro::SINTAB[((-static_cast<int64_t>(angle) - 256) % n + n) % n];
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const int32_t dx = x - w / 2;
      const int32_t dy = y - h / 2;
      const int32_t u = ((dx * cosTerm) >> 15) - ((dy * sinTerm) >> 15);
      const int32_t v = ((dx * sinTerm) >> 15) + ((dy * cosTerm) >> 15);
      out.push_back(IMGGetPixel(s, s->width / 2 + u, s->height / 2 + v));
    }
  }
  return out;
}

struct RotateCase {
  int32_t angle;
  std::vector<uint32_t> expected;
};

class ImgRotateFourByFour : public testing::TestWithParam<RotateCase> {};

TEST_P(ImgRotateFourByFour, GivesExpectedRows) {
  ImagePtr source = Counting(4, 4);
  ImagePtr result(IMGRotate(source.get(), GetParam().angle));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->width, 5);
  EXPECT_EQ(result->height, 5);
  EXPECT_EQ(Pixels(result.get()), GetParam().expected);
}

// Rows of the 5 x 5 results of turning the 4 x 4 counting image.
const std::vector<uint32_t> kUpright = {1,  2,  3,  3,  4,   //
                                        5,  6,  7,  7,  8,   //
                                        9,  10, 11, 11, 12,  //
                                        9,  10, 11, 11, 12,  //
                                        13, 14, 15, 15, 16};
const std::vector<uint32_t> kHalfTurn = {16, 15, 15, 14, 13,  //
                                         12, 11, 11, 10, 9,   //
                                         12, 11, 11, 10, 9,   //
                                         8,  7,  7,  6,  5,   //
                                         4,  3,  3,  2,  1};
const std::vector<uint32_t> kQuarterLeft = {0, 0, 0,  0,  0,   //
                                            4, 8, 12, 12, 16,  //
                                            3, 7, 11, 11, 15,  //
                                            3, 7, 11, 11, 15,  //
                                            2, 6, 10, 10, 14};
const std::vector<uint32_t> kQuarterRight = {14, 10, 10, 6, 2,  //
                                             15, 11, 11, 7, 3,  //
                                             15, 11, 11, 7, 3,  //
                                             16, 12, 12, 8, 4,  //
                                             0,  0,  0,  0, 0};

INSTANTIATE_TEST_SUITE_P(Angles, ImgRotateFourByFour,
                         testing::Values(RotateCase{512, kUpright},
                                         RotateCase{0, kHalfTurn},
                                         RotateCase{768, kQuarterLeft},
                                         RotateCase{256, kQuarterRight},
                                         RotateCase{1024, kHalfTurn},
                                         RotateCase{-1024, kHalfTurn},
                                         RotateCase{-256, kQuarterLeft},
                                         RotateCase{512 + 4096, kUpright},
                                         RotateCase{INT32_MIN, kHalfTurn}),
                         [](const testing::TestParamInfo<RotateCase>& info) {
                           return "Angle" + test::NameNumber(info.param.angle);
                         });

TEST(ImgRotate, OnePixelIsCopiedAtEveryAngle) {
  ImagePtr source(MakeImage(1, 1, {0xABCDEF}));
  for (int32_t angle = -1100; angle <= 1100; angle += 7) {
    ImagePtr result(IMGRotate(source.get(), angle));
    ASSERT_TRUE(result);
    EXPECT_EQ(Pixels(result.get()), std::vector<uint32_t>{0xABCDEF}) << angle;
  }
}

TEST(ImgRotate, ResultSizeUsesFactorBelowSqrt2) {
  for (auto [side, grown] :
       {std::pair{640, 904}, std::pair{320, 452}, std::pair{4, 5},
        std::pair{1, 1}, std::pair{0, 0}}) {
    ImagePtr source(MakeImage(side, 1, {}));
    ImagePtr result(IMGRotate(source.get(), 100));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, grown) << side;
    EXPECT_EQ(result->height, 1);
  }
}

TEST(ImgRotate, MatchesReferenceForRandomSizesAndAngles) {
  std::mt19937 rng(13);
  for (int round = 0; round < 300; ++round) {
    const int32_t sw = 1 + static_cast<int32_t>(rng() % 48);
    const int32_t sh = 1 + static_cast<int32_t>(rng() % 48);
    const int32_t angle = static_cast<int32_t>(rng() % 4096) - 2048;
    ImagePtr source = RandomImage(rng, sw, sh);
    ImagePtr result(IMGRotate(source.get(), angle));
    ASSERT_TRUE(result);
    const auto want = ReferenceRotate(source.get(), angle);
    ASSERT_EQ(Pixels(result.get()), want)
        << sw << "x" << sh << " at " << angle << ": "
        << FirstDifference(result.get(), want, result->width);
  }
}

TEST(ImgRotate, LargeSourceMatchesReferenceAtSteepAngles) {
  // Wide rows reach the far ends of the products; angles near the quarter
  // turns make the sampled runs start and end at single columns.
  std::mt19937 rng(17);
  ImagePtr source = RandomImage(rng, 301, 97);
  for (int32_t angle : {1, 85, 127, 255, 257, 383, 511, 513, 767, 1023}) {
    ImagePtr result(IMGRotate(source.get(), angle));
    ASSERT_TRUE(result);
    const auto want = ReferenceRotate(source.get(), angle);
    ASSERT_EQ(Pixels(result.get()), want)
        << "angle " << angle << ": "
        << FirstDifference(result.get(), want, result->width);
  }
}

TEST(ImgRotate, WidestSourceIsAccepted) {
  ImagePtr source(MakeImage(23174, 1, {}));
  ImagePtr result(IMGRotate(source.get(), 0));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->width, 32767);
}

TEST(ImgRotate, OversizedOrNoneReportsOnce) {
  ImagePtr wide(MakeImage(23175, 1, {}));
  ImagePtr tall(MakeImage(1, 23175, {}));
  for (const Image* source : {static_cast<const Image*>(nullptr),
                              static_cast<const Image*>(wide.get()),
                              static_cast<const Image*>(tall.get())}) {
    Image* result = reinterpret_cast<Image*>(1);
    EXPECT_EQ(StdoutOf([&] { result = IMGRotate(source, 512); }),
              "IMG error\n");
    EXPECT_EQ(result, nullptr);
  }
}

// ---- IMGLinePoints ----------------------------------------------------------

struct LineCase {
  int32_t x0, y0, x1, y1;
  Values expected;  // count, then x, y pairs
};

class ImgLinePointsExamples : public testing::TestWithParam<LineCase> {};

TEST_P(ImgLinePointsExamples, GivesPoints) {
  const LineCase& c = GetParam();
  EXPECT_EQ(TakePoints(IMGLinePoints(c.x0, c.y0, c.x1, c.y1)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ImgLinePointsExamples,
    testing::Values(
        LineCase{0, 0, 0, 0, {2, 0, 0}}, LineCase{0, 0, 1, 0, {4, 0, 0, 1, 0}},
        LineCase{0, 0, 0, -1, {4, 0, 0, 0, -1}},
        LineCase{0, 0, 3, 3, {8, 0, 0, 1, 1, 2, 2, 3, 3}},
        LineCase{0, 0, 2, 5, {12, 0, 0, 1, 1, 1, 2, 1, 3, 2, 4, 2, 5}},
        LineCase{3, 3, 0, 1, {8, 3, 3, 2, 2, 1, 1, 0, 1}},
        LineCase{0, 0, 5, -3, {12, 0, 0, 1, -1, 2, -1, 3, -2, 4, -3, 5, -3}},
        LineCase{0, 0, 4, 1, {10, 0, 0, 1, 0, 2, 1, 3, 1, 4, 1}},
        LineCase{0, 0, 5, 2, {12, 0, 0, 1, 1, 2, 1, 3, 1, 4, 2, 5, 2}},
        // Regression: the step after the last point leaves the 32-bit range.
        LineCase{INT32_MAX - 2,
                 INT32_MIN + 1,
                 INT32_MAX,
                 INT32_MIN,
                 {6, INT32_MAX - 2, INT32_MIN + 1, INT32_MAX - 1, INT32_MIN,
                  INT32_MAX, INT32_MIN}}),
    [](const testing::TestParamInfo<LineCase>& info) {
      const LineCase& c = info.param;
      return "X" + test::NameNumber(c.x0) + "Y" + test::NameNumber(c.y0) +
             "ToX" + test::NameNumber(c.x1) + "Y" + test::NameNumber(c.y1);
    });

TEST(ImgLinePoints, RandomLinesStepOneAndEndAtEndPoint) {
  std::mt19937 rng(19);
  for (int round = 0; round < 500; ++round) {
    const int32_t x0 = static_cast<int32_t>(rng() % 101) - 50;
    const int32_t y0 = static_cast<int32_t>(rng() % 101) - 50;
    const int32_t x1 = static_cast<int32_t>(rng() % 101) - 50;
    const int32_t y1 = static_cast<int32_t>(rng() % 101) - 50;
    const Values p = TakePoints(IMGLinePoints(x0, y0, x1, y1));
    const int32_t steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    ASSERT_EQ(p.size(), static_cast<size_t>(2 * steps + 3));
    EXPECT_EQ(p[1], x0);
    EXPECT_EQ(p[2], y0);
    EXPECT_EQ(p[p.size() - 2], x1);
    EXPECT_EQ(p[p.size() - 1], y1);
    for (size_t i = 3; i + 1 < p.size(); i += 2) {
      ASSERT_LE(std::abs(p[i] - p[i - 2]), 1);
      ASSERT_LE(std::abs(p[i + 1] - p[i - 1]), 1);
    }
  }
}

TEST(ImgLinePoints, TooLongForListReportsOnce) {
  // Element 0 counts 2M + 2 values, so M may be at most 2^30 - 2.
  struct Case {
    int32_t x0, y0, x1, y1;
  };
  for (const Case& c :
       {Case{0, 0, (1 << 30) - 1, 0}, Case{0, 0, 3, (1 << 30) - 1},
        Case{INT32_MIN, 0, INT32_MAX, 0}, Case{0, INT32_MAX, 0, INT32_MIN}}) {
    int32_t* list = reinterpret_cast<int32_t*>(1);
    EXPECT_EQ(StdoutOf([&] { list = IMGLinePoints(c.x0, c.y0, c.x1, c.y1); }),
              "IMG error\n");
    EXPECT_EQ(list, nullptr);
  }
}

}  // namespace
