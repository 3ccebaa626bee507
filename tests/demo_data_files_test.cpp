// The one list of data files: what the driver opens is what the build
// installs and packs, and every file it names is in the data folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "demo/data_files.h"
#include "demo/demo.h"

namespace {

TEST(DataFiles, NameOneFontOneMapAndEveryRunnerFrameInOrder) {
  EXPECT_STREQ(DEMODataFileName(DemoDataKind::Font), "font8x8.ppm");
  EXPECT_STREQ(DEMODataFileName(DemoDataKind::Map), "WorldMap.txt");
  EXPECT_STREQ(DEMODataFileName(DemoDataKind::Song), "song.txt");
  EXPECT_EQ(DEMODataFileName(DemoDataKind::Font, 1), nullptr);
  // Frames 0-9 by digit, 10-24 by the letters a-o.
  const std::string order = "0123456789abcdefghijklmno";
  for (int k = 0; k < DEMO_FRAME_TEXTS; ++k)
    EXPECT_EQ(DEMODataFileName(DemoDataKind::Runner, k),
              "manRun0" + order.substr(k, 1) + ".txt");
  EXPECT_EQ(DEMODataFileName(DemoDataKind::Runner, DEMO_FRAME_TEXTS), nullptr);
}

// The shipped folder holds every file the intro needs and none of the
// optional ones: the intro shows its built-in message and logo from it.
TEST(DataFiles, AreAllInTheDataFolderOnceEachAndTheOptionalOnesAreNot) {
  std::set<std::string> names;
  for (int32_t i = 0; i < DEMO_DATA_FILE_COUNT; ++i) {
    const std::string name = DEMO_DATA_FILES[i].name;
    EXPECT_TRUE(names.insert(name).second) << name << " is listed twice";
    EXPECT_EQ(std::filesystem::exists(
                  std::filesystem::path(INTRO_SOURCE_DIR "/data") / name),
              !DEMO_DATA_FILES[i].optional)
        << name;
  }
  EXPECT_EQ(DEMO_DATA_FILE_COUNT, 3 + DEMO_FRAME_TEXTS + 2);
}

TEST(DataFiles, NameTheOptionalMessageAndLogo) {
  const DemoDataFile* message = DEMODataFileFind("message.txt");
  const DemoDataFile* logo = DEMODataFileFind("logo.txt");
  ASSERT_NE(message, nullptr);
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(message->kind, DemoDataKind::Message);
  EXPECT_EQ(logo->kind, DemoDataKind::Logo);
  EXPECT_TRUE(message->optional && logo->optional);
  EXPECT_FALSE(DEMODataFileFind("WorldMap.txt")->optional);
  EXPECT_EQ(DEMODataFileFind("worldmap.txt"), nullptr);
}

}  // namespace
