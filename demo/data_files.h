// The intro's data files: one list, data/files.txt, from which the build
// makes this table (and installs and packs the same files). The driver opens
// them by these names in the data folder; what each kind must hold is told
// once, in demo/data_check.h.
#pragma once

#include <cstdint>

enum class DemoDataKind : uint8_t {
  Font,    // the glyph sheet, a PNM image (font8x8.ppm)
  Map,     // the world map's text art (WorldMap.txt)
  Runner,  // one running-man frame's text art, in the order they play
  Message,  // the scroll message, one line (message.txt, optional)
  Logo,     // the block-letter logo, five rows (logo.txt, optional)
  Song,     // the soundtrack (song.txt), read by the synthesizer
};

struct DemoDataFile {
  const char* name;
  DemoDataKind kind;
  bool optional;  // a folder may leave it out: the built-in text stands in
};

// Every data file, in the list's order.
extern const DemoDataFile DEMO_DATA_FILES[];
extern const int32_t DEMO_DATA_FILE_COUNT;

// The name of the first file of kind, and of the k-th (from 0) runner frame;
// none when there is no such file.
const char* DEMODataFileName(DemoDataKind kind, int32_t k = 0);

// The table's entry named name (a bare file name), or none.
const DemoDataFile* DEMODataFileFind(const char* name);
