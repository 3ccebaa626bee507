// The lower blit shared by IMGBlit, FONTPutChar and DEMORender: the SSE2 row
// copy must give the pixels of its scalar twin for every length and every
// pattern of transparent pixels, and leave the pixels past the row alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "img/blit_internal.h"

namespace {

TEST(BlitKernel, RowCopyMatchesItsScalarTwinAtEveryLength) {
  std::mt19937 rng(15);
  for (int64_t n = 0; n <= 21; ++n) {
    for (int trial = 0; trial < 20; ++trial) {
      SCOPED_TRACE("length " + std::to_string(n) + ", trial " +
                   std::to_string(trial));
      // Source pixels: 0 (transparent) about half the time, else values a
      // sign or mask slip would get wrong.
      std::vector<uint32_t> source(n + 3), target(n + 3);
      for (uint32_t& v : source)
        v = rng() % 2 ? 0 : (rng() % 3 ? rng() : 0x80000000u | rng() % 2);
      for (uint32_t& v : target) v = rng();
      std::vector<uint32_t> want = target, got = target;
      const int64_t offset = int64_t(rng() % 3);  // unaligned starts too
      img_internal::BlitRowScalar(source.data() + offset, want.data() + offset,
                                  n);
      img_internal::BlitRow(source.data() + offset, got.data() + offset, n);
      EXPECT_EQ(got, want);
      for (int64_t i = 0; i < n; ++i)
        EXPECT_EQ(want[offset + i],
                  source[offset + i] ? source[offset + i] : target[offset + i]);
    }
  }
}

TEST(BlitKernel, ClipKeepsExactlyTheOffsetsInsideBothImages) {
  // Every offset (i, j) of a rectangle is kept when its source and target
  // pixels both lie inside their images, whatever the signs and sizes.
  std::mt19937 rng(16);
  for (int trial = 0; trial < 2000; ++trial) {
    const int64_t sw = rng() % 7, sh = rng() % 7, dw = rng() % 7,
                  dh = rng() % 7;
    auto any = [&] { return int64_t(rng() % 17) - 8; };
    img_internal::BlitArea area{any(), any(), any(), any(), any(), any()};
    const img_internal::BlitArea given = area;
    const bool kept = img_internal::ClipArea(sw, sh, dw, dh, &area);
    for (int64_t j = 0; j < std::max<int64_t>(given.h, 0); ++j)
      for (int64_t i = 0; i < std::max<int64_t>(given.w, 0); ++i) {
        const bool inside =
            given.sx + i >= 0 && given.sx + i < sw && given.sy + j >= 0 &&
            given.sy + j < sh && given.dx + i >= 0 && given.dx + i < dw &&
            given.dy + j >= 0 && given.dy + j < dh;
        const bool inArea = kept && given.sx + i >= area.sx &&
                            given.sx + i < area.sx + area.w &&
                            given.sy + j >= area.sy &&
                            given.sy + j < area.sy + area.h;
        ASSERT_EQ(inArea, inside) << "trial " << trial << ", offset " << i
                                  << ", " << j;
      }
    if (kept) {
      EXPECT_EQ(area.dx - area.sx, given.dx - given.sx);
      EXPECT_EQ(area.dy - area.sy, given.dy - given.sy);
    }
  }
}

}  // namespace
