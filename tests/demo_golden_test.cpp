// Golden frames: a handful of presentations of a scripted run, checked by a
// hash of their pixels, in both configurations. Any change of a pixel (in the
// render, the scenes, the effects or the artwork) changes a hash.
//
// After an intended change of artwork or of what the intro draws, regenerate:
//   INTRO_PRINT_GOLDEN=1 SDL_VIDEODRIVER=dummy build/tests/demo_golden_test
// prints the new table for both sizes; look at the frames first (intro-capture
// with the same --keys writes them) and paste the table below.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "tests/demo_fixture.h"

namespace {

using test::IntroTest;

// FNV-1a over the pixels' bytes, low byte first.
uint64_t Hash(const Image* image) {
  uint64_t h = 14695981039346656037ull;
  const size_t n = size_t(image->width) * image->height;
  for (size_t i = 0; i < n; ++i)
    for (int b = 0; b < 32; b += 8) {
      h ^= (image->pixels[i] >> b) & 0xFF;
      h *= 1099511628211ull;
    }
  return h;
}

// The script: the whole of scene 1, scene 2 until presentation 600, a quit
// there, and the fade. The presentations checked: the pan, the first frame of
// the running man and a later one, scene 2's first frames, the quit frame,
// the fade half-way and at its end.
const std::vector<int32_t> kChecked = {0,   185, 199, 200, 333, 400,
                                       420, 555, 600, 640, 856};

struct Golden {
  int32_t width, height;
  std::map<int32_t, uint64_t> hashes;
};

class GoldenFrames : public IntroTest,
                     public testing::WithParamInterface<Golden> {};

TEST_P(GoldenFrames, MatchTheRecordedHashes) {
  const Golden& g = GetParam();
  Start(g.width, g.height);
  ASSERT_TRUE(initialised_);
  std::map<int32_t, uint64_t> seen;
  test::harness.onPresent = [&](int32_t n, const Image* frame) {
    for (int32_t c : kChecked)
      if (c == n) seen[n] = Hash(frame);
  };
  test::harness.keys = {{600, 'q'}};
  DEMORun();
  DEMOFree();
  ASSERT_EQ(seen.size(), kChecked.size());
  if (std::getenv("INTRO_PRINT_GOLDEN")) {
    std::printf("Golden{%d, %d, {", g.width, g.height);
    for (auto [n, h] : seen) std::printf("{%d, 0x%016" PRIx64 "ull}, ", n, h);
    std::printf("}},\n");
    return;
  }
  for (auto [n, h] : g.hashes)
    EXPECT_EQ(seen[n], h) << "presentation " << n << " at " << g.width << "x"
                          << g.height;
}

INSTANTIATE_TEST_SUITE_P(Configurations, GoldenFrames,
                         testing::Values(Golden{320,
                                                200,
                                                {{0, 0x03702d99714c4325ull},
                                                 {185, 0xf0d034fdcef13925ull},
                                                 {199, 0x42417019159c77a5ull},
                                                 {200, 0x7e9a86023107cca5ull},
                                                 {333, 0x6a644bbbed19ff85ull},
                                                 {400, 0xb4132bcf0dccd325ull},
                                                 {420, 0xfc96f566864f6545ull},
                                                 {555, 0x56a8568caf096dc5ull},
                                                 {600, 0xa616e129eb4793a5ull},
                                                 {640, 0xfd807884493025a5ull},
                                                 {856, 0x03702d99714c4325ull}}},
                                         Golden{
                                             640,
                                             480,
                                             {{0, 0xf318e0e2f9b92325ull},
                                              {185, 0xa2a0be0cc2662e25ull},
                                              {199, 0xdf66c2f7c5c32d65ull},
                                              {200, 0xba2d985a5e7081e5ull},
                                              {333, 0xbb4aa8e33629bf45ull},
                                              {400, 0x6fd62ab2875fb325ull},
                                              {420, 0x62db38b4c5568325ull},
                                              {555, 0xdda9a1a89b775885ull},
                                              {600, 0x16cbe967fc39a245ull},
                                              {640, 0xb0254b73a6538875ull},
                                              {856, 0xf318e0e2f9b92325ull}}}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

}  // namespace
