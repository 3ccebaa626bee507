// What the test programs' present and poll record and play.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "demo/demo.h"
#include "img/img.h"

namespace test {

struct ScriptedKey {
  int32_t presentation;  // pressed before the poll of this presentation
  int32_t sym;           // SDL key symbol; released before the next poll
};

struct Harness {
  std::vector<ScriptedKey> keys;
  // Called with the presentation number (from 0) and the frame shown.
  std::function<void(int32_t, const Image*)> onPresent;
  // Stops the run by pressing 'q' once this many presentations were shown
  // (0: never), so a scene that ignores its script cannot run forever.
  int32_t quitAfter = 0;

  void OnPresent(int32_t n, const Image* frame) {
    if (onPresent) onPresent(n, frame);
    if (quitAfter > 0 && n + 1 == quitAfter) keys.push_back({n, 'q'});
  }
  void Reset();
};

extern Harness harness;

// The windowed intro's configuration at width x height, presenting and
// polling through the harness.
DemoConfig HarnessConfig(int32_t width, int32_t height);

}  // namespace test
