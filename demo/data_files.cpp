#include "demo/data_files.h"

#include <cstring>
#include <iterator>

const DemoDataFile DEMO_DATA_FILES[] = {
#include "demo/data_files.inc"
};

const int32_t DEMO_DATA_FILE_COUNT =
    static_cast<int32_t>(std::size(DEMO_DATA_FILES));

const char* DEMODataFileName(DemoDataKind kind, int32_t k) {
  for (const DemoDataFile& file : DEMO_DATA_FILES)
    if (file.kind == kind && k-- == 0) return file.name;
  return nullptr;
}

const DemoDataFile* DEMODataFileFind(const char* name) {
  if (!name) return nullptr;
  for (const DemoDataFile& file : DEMO_DATA_FILES)
    if (std::strcmp(file.name, name) == 0) return &file;
  return nullptr;
}
