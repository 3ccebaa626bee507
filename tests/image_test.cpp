#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

using test::ImagePtr;
using test::MakeImage;
using test::Pixels;
using test::StdoutOf;

TEST(ImageLife, NewIsSixteenSquareOfZeros) {
  ImagePtr image(IMGNew());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 16);
  EXPECT_EQ(Pixels(image.get()), std::vector<uint32_t>(256, 0));
}

TEST(ImageLife, ResizeToSameSizeStillClears) {
  ImagePtr image(MakeImage(3, 2, {1, 2, 3, 4, 5, 6}));
  IMGResize(image.get(), 3, 2);
  EXPECT_EQ(Pixels(image.get()), std::vector<uint32_t>(6, 0));
}

TEST(ImageLife, FreeClearsHandleAndSecondFreeReportsOnce) {
  Image* image = IMGNew();
  EXPECT_EQ(StdoutOf([&] { IMGFree(&image); }), "");
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(StdoutOf([&] { IMGFree(&image); }), "IMG error\n");
  EXPECT_EQ(StdoutOf([] { IMGFree(nullptr); }), "IMG error\n");
}

// A size that cannot be allocated leaves a valid empty image on which every
// operation still works or reports.
TEST(ImageLife, ResizeThatCannotBeAllocatedLeavesEmptyImage) {
  for (auto [w, h] : std::vector<std::pair<int32_t, int32_t>>{
           {46341, 46341}, {INT32_MAX, 2}, {-1, 5}}) {
    ImagePtr image(IMGNew());
    EXPECT_EQ(StdoutOf([&] { IMGResize(image.get(), w, h); }), "IMG error\n");
    EXPECT_EQ(image->width, 0);
    EXPECT_EQ(image->height, 0);
    ASSERT_NE(image->pixels, nullptr);
    EXPECT_EQ(StdoutOf([&] {
                IMGClear(image.get());
                IMGSetPixel(image.get(), 0, 0, 7);
                EXPECT_EQ(IMGGetPixel(image.get(), 0, 0), 0u);
                ImagePtr copy(IMGCopy(image.get()));
                ASSERT_NE(copy, nullptr);
                EXPECT_TRUE(IMGEqual(copy.get(), image.get()));
              }),
              "");
  }
}

TEST(ImageCompare, EqualityNeedsSameShapeAndValues) {
  ImagePtr a(MakeImage(2, 8, {1, 2, 3}));
  ImagePtr b(MakeImage(8, 2, {1, 2, 3}));
  ImagePtr c(MakeImage(2, 8, {1, 2, 3}));
  ImagePtr empty1(MakeImage(0, 0, {}));
  ImagePtr empty2(MakeImage(0, 0, {}));
  std::string out = StdoutOf([&] {
    EXPECT_TRUE(IMGEqual(a.get(), a.get()));
    EXPECT_TRUE(IMGEqual(a.get(), c.get()));
    EXPECT_FALSE(IMGEqual(a.get(), b.get()));
    EXPECT_TRUE(IMGEqual(empty1.get(), empty2.get()));
    c->pixels[15] = 9;
    EXPECT_FALSE(IMGEqual(a.get(), c.get()));
  });
  EXPECT_EQ(out, "");
}

TEST(ImageCompare, CopyIsDeepAndEqual) {
  ImagePtr a(MakeImage(3, 3, {9, 8, 7, 6, 5, 4, 3, 2, 0xFF000001u}));
  ImagePtr copy(IMGCopy(a.get()));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->pixels, a->pixels);
  EXPECT_TRUE(IMGEqual(a.get(), copy.get()));
  copy->pixels[0] = 0;
  EXPECT_EQ(a->pixels[0], 9u);
  ImagePtr empty(MakeImage(0, 0, {}));
  ImagePtr emptyCopy(IMGCopy(empty.get()));
  ASSERT_NE(emptyCopy, nullptr);
  EXPECT_EQ(emptyCopy->width, 0);
}

TEST(ImagePixels, OutsideIsSilentAndTopByteSurvives) {
  ImagePtr image(MakeImage(4, 3, {}));
  std::string out = StdoutOf([&] {
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {-1, 0}, {4, 0}, {0, 3}, {0, -1}, {INT32_MIN, INT32_MAX}}) {
      IMGSetPixel(image.get(), x, y, 5);
      EXPECT_EQ(IMGGetPixel(image.get(), x, y), 0u);
    }
    IMGSetPixel(image.get(), 3, 2, 0xAB123456u);
    EXPECT_EQ(IMGGetPixel(image.get(), 3, 2), 0xAB123456u);
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(image->pixels[11], 0xAB123456u);
  EXPECT_EQ(std::count(image->pixels, image->pixels + 12, 5u), 0);
}

TEST(ImageReports, EveryOperationGivenNoneReportsOnce) {
  ImagePtr image(IMGNew());
  const std::vector<std::function<void()>> calls = {
      [] { IMGFree(nullptr); },
      [] {
        Image* none = nullptr;
        IMGFree(&none);
      },
      [&] { EXPECT_FALSE(IMGEqual(nullptr, image.get())); },
      [&] { EXPECT_FALSE(IMGEqual(image.get(), nullptr)); },
      [] { EXPECT_EQ(IMGCopy(nullptr), nullptr); },
      [] { IMGResize(nullptr, 1, 1); },
      [] { IMGClear(nullptr); },
      [] { IMGSetPixel(nullptr, 0, 0, 1); },
      [] { EXPECT_EQ(IMGGetPixel(nullptr, 0, 0), 0u); },
      [&] { IMGBlit(nullptr, image.get(), 0, 0, 0, 0, 1, 1); },
      [&] { IMGBlit(image.get(), nullptr, 0, 0, 0, 0, 1, 1); },
  };
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_EQ(StdoutOf(calls[i]), "IMG error\n") << "call " << i;
}

// One blit case: a 10 x 4 source whose pixel at column c of row r is
// 100 * r + c + 1 (every pixel opaque), onto a zeroed 6 x 4 destination.
struct BlitCase {
  const char* name;
  int sx, sy, dx, dy, w, h;
  std::vector<const char*> expected;  // destination rows, "." for 0
};

std::string Row(const Image* d, int y) {
  std::string s;
  for (int x = 0; x < d->width; ++x) {
    uint32_t v = d->pixels[y * d->width + x];
    s += v ? std::to_string(v) : ".";
    s += x + 1 < d->width ? " " : "";
  }
  return s;
}

class ImageBlit : public testing::TestWithParam<BlitCase> {};

TEST_P(ImageBlit, ClipsAsExpected) {
  const BlitCase& c = GetParam();
  std::vector<uint32_t> values;
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 10; ++col) values.push_back(100 * r + col + 1);
  ImagePtr source(MakeImage(10, 4, values));
  ImagePtr destination(MakeImage(6, 4, {}));
  std::string out = StdoutOf([&] {
    IMGBlit(source.get(), destination.get(), c.sx, c.sy, c.dx, c.dy, c.w, c.h);
  });
  EXPECT_EQ(out, "");
  for (int y = 0; y < 4; ++y)
    EXPECT_EQ(Row(destination.get(), y), c.expected[y]) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageBlit,
    testing::Values(
        BlitCase{"Inside",
                 1,
                 1,
                 2,
                 1,
                 2,
                 2,
                 {". . . . . .", ". . 102 103 . .", ". . 202 203 . .",
                  ". . . . . ."}},
        BlitCase{"DestinationLeftEdge",
                 0,
                 0,
                 -3,
                 0,
                 8,
                 1,
                 {"4 5 6 7 8 .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{
            "DestinationRightAndBottomEdges",
            0,
            0,
            4,
            2,
            5,
            5,
            {". . . . . .", ". . . . . .", ". . . . 1 2", ". . . . 101 102"}},
        BlitCase{"SourceLeftEdge",
                 -2,
                 0,
                 0,
                 0,
                 5,
                 1,
                 {". . 1 2 3 .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{
            "SourceTopEdge",
            0,
            -1,
            0,
            0,
            1,
            3,
            {". . . . . .", "1 . . . . .", "101 . . . . .", ". . . . . ."}},
        // The source's right and bottom edges are clipped too: nothing is
        // read outside the source.
        BlitCase{"SourceRightEdge",
                 8,
                 0,
                 0,
                 0,
                 6,
                 1,
                 {"9 10 . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{
            "SourceBottomEdge",
            0,
            3,
            0,
            0,
            1,
            4,
            {"301 . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{"AtDestinationWidth",
                 0,
                 0,
                 6,
                 0,
                 3,
                 3,
                 {". . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{"EndsLeftOfDestination",
                 0,
                 0,
                 -4,
                 0,
                 3,
                 3,
                 {". . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{"TouchesLeftEdgeFromOutside",
                 0,
                 0,
                 -3,
                 0,
                 3,
                 3,
                 {". . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{"HugeArgumentsDoNotOverflow",
                 INT32_MAX,
                 0,
                 0,
                 0,
                 INT32_MAX,
                 1,
                 {". . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}},
        BlitCase{"NegativeSize",
                 0,
                 0,
                 0,
                 0,
                 -2,
                 2,
                 {". . . . . .", ". . . . . .", ". . . . . .", ". . . . . ."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageBlitTransparency, ZeroKeepsDestinationAndOneIsCopied) {
  ImagePtr source(MakeImage(2, 1, {0, 1}));
  ImagePtr destination(MakeImage(2, 1, {7, 7}));
  IMGBlit(source.get(), destination.get(), 0, 0, 0, 0, 2, 1);
  EXPECT_EQ(Pixels(destination.get()), (std::vector<uint32_t>{7, 1}));
}

// The first blit walked both images through __restrict pointers, so a blit
// of an image onto itself was reordered by the vectoriser in optimised builds
// (5 5 1 2 3 3 5 ... instead of the first value running along the row).
TEST(ImageBlitRegression, RestrictPointersReorderedBlitWithinOneImage) {
  // Shifting a row right by one over itself: each pixel read was just
  // written, so the first value runs along the row.
  std::vector<uint32_t> row(33);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i ? uint32_t(i) : 5;
  ImagePtr image(MakeImage(33, 1, row));
  IMGBlit(image.get(), image.get(), 0, 0, 1, 0, 32, 1);
  EXPECT_EQ(Pixels(image.get()), std::vector<uint32_t>(33, 5));
}

}  // namespace
