// The headless recorder, run as the real program from the data folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Capture(const std::string& args, const test::TempDir& dir) {
  std::string command = "cd '" INTRO_SOURCE_DIR "/data' && '" INTRO_BINARY_DIR
                        "/bin/intro-capture' " +
                        args + " >'" + dir.File("stdout") + "' 2>'" +
                        dir.File("stderr") + "' </dev/null";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          test::ReadFile(dir.File("stdout")),
          test::ReadFile(dir.File("stderr"))};
}

TEST(Capture, HelpPrintsUsageOnStdoutWithStatus0) {
  test::TempDir dir;
  Outcome run = Capture("--help", dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("usage: intro-capture"), std::string::npos);
}

TEST(Capture, BadArgumentsPrintUsageOnStderrWithStatus2) {
  test::TempDir dir;
  for (const char* args :
       {"--size 100x100", "--size 640", "--frames -1", "--every 0", "--keys 5",
        "--keys 5:enter", "--keys x:q", "--bogus", "--out", "--keys 5:q,",
        "--keys ''", "--keys ,5:q", "--frames=+5", "--fps=30x",
        "--cells=yes"}) {
    Outcome run = Capture(args, dir);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("usage: intro-capture"), std::string::npos) << args;
  }
}

// The recorder reads its command line as every program does: a value after
// the option or after an equals sign.
TEST(Capture, TakesValuesAfterAnEqualsSign) {
  test::TempDir dir;
  Outcome run = Capture("--fps=30 --frames=2 --out=" + dir.File("f"), dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("2 presentations, 2 written"), std::string::npos)
      << run.out;
}

TEST(Capture, WritesTheChosenPresentationsAndTheirCells) {
  test::TempDir dir;
  const std::string out = dir.File("frames/nested");
  Outcome run = Capture(
      "--size 320x200 --frames 40 --from 4 --every 5 --cells "
      "--keys 3:space,12:q --out " +
          out,
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("40 presentations, 8 written"), std::string::npos)
      << run.out;
  std::vector<std::string> expected;
  for (int n = 4; n < 40; n += 5) {
    char name[32];
    std::snprintf(name, sizeof name, "cells-%06d.txt", n);
    expected.push_back(name);
    std::snprintf(name, sizeof name, "frame-%06d.ppm", n);
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(test::Listing(out), expected);

  test::ImagePtr frame(IMGLoad((out + "/frame-000009.ppm").c_str()));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->width, 320);
  EXPECT_EQ(frame->height, 200);
  // Presentation 9 is in scene 2 (space at 3): its cells hold the logo.
  std::string cells = test::ReadFile(out + "/cells-000009.txt");
  EXPECT_EQ(std::count(cells.begin(), cells.end(), '\n'), 25);
  EXPECT_EQ(cells.find('\n'), 40u);
  EXPECT_NE(cells.find("000"), std::string::npos) << cells;
}

TEST(Capture, SameScriptGivesByteIdenticalFiles) {
  test::TempDir dir;
  const std::string args =
      "--size 640x480 --frames 430 --from 180 --every 50 --keys 300:space";
  ASSERT_EQ(Capture(args + " --out " + dir.File("a"), dir).status, 0);
  ASSERT_EQ(Capture(args + " --out " + dir.File("b"), dir).status, 0);
  auto names = test::Listing(dir.File("a"));
  ASSERT_EQ(names.size(), 5u);  // 180, 230, 280, 330, 380
  EXPECT_EQ(names, test::Listing(dir.File("b")));
  for (const auto& name : names)
    EXPECT_EQ(test::ReadFile(dir.File("a/" + name)),
              test::ReadFile(dir.File("b/" + name)))
        << name;
}

TEST(Capture, QuitEndsTheRunAfterItsFade) {
  test::TempDir dir;
  Outcome run = Capture(
      "--size 320x200 --frames 5000 --from 300 --keys 10:escape "
      "--out " +
          dir.File("f"),
      dir);
  ASSERT_EQ(run.status, 0) << run.err;
  // 11 presentations of the scene, 256 of the fade.
  EXPECT_NE(run.out.find("267 presentations, 0 written"), std::string::npos)
      << run.out;
}

TEST(Capture, UnwritableFolderIsAnError) {
  test::TempDir dir;
  test::WriteFile(dir.File("file"), "x");
  Outcome run = Capture("--frames 3 --out " + dir.File("file"), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot create folder"), std::string::npos) << run.err;
}

}  // namespace
