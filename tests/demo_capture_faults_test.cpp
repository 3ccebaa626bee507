// The recorder in a hostile environment, run as the real program: data files
// that are no regular files, a refused video mode, key scripts SDL cannot
// take, a full disk and every allocation of a whole run failing in turn.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;  // exit status; -1 after a signal
  std::string out, err;
};

// Runs intro-capture in folder with the given environment assignments; a run
// that hangs is stopped after a minute and gives status 124.
Outcome Capture(const std::string& args, const test::TempDir& dir,
                const std::string& folder, const std::string& env = "") {
  const std::string command =
      "cd '" + folder + "' && exec timeout -k 5 60 env " + env + " '" +
      INTRO_BINARY_DIR "/bin/intro-capture' " + args + " >'" +
      dir.File("stdout") + "' 2>'" + dir.File("stderr") + "' </dev/null";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          test::ReadFile(dir.File("stdout")),
          test::ReadFile(dir.File("stderr"))};
}

// A copy of the data folder inside dir.
std::string DataCopy(const test::TempDir& dir) {
  const std::string data = dir.File("data");
  fs::copy(INTRO_SOURCE_DIR "/data", data);
  return data;
}

// The lines of text, without the recorder's progress reports.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(" presentations, ") == std::string::npos ||
        line.find(" of ") == std::string::npos)
      lines.push_back(line);
  return lines;
}

// ---- Data files -------------------------------------------------------------

enum class Node { kFifo, kFolder, kHuge, kDevice };

struct DataCase {
  const char* name;
  const char* file;
  Node node;
  int status;        // 1: start-up fails; 0: the intro runs on black frames
  const char* why;   // in the line that names the file
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << c.name; }

std::string PrintCase(const testing::TestParamInfo<DataCase>& info) {
  return info.param.name;
}

class CaptureDataFile : public testing::TestWithParam<DataCase> {};

TEST_P(CaptureDataFile, IsNamedWithItsReasonInsteadOfRead) {
  const DataCase& c = GetParam();
  test::TempDir dir;
  const std::string data = DataCopy(dir);
  const std::string path = data + "/" + c.file;
  ASSERT_EQ(unlink(path.c_str()), 0);
  switch (c.node) {
    case Node::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      break;
    case Node::kFolder:
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
      break;
    case Node::kHuge:  // sparse: 2 GiB of zeros that take no room
      test::WriteFile(path, "");
      fs::resize_file(path, uintmax_t{2} << 30);
      break;
    case Node::kDevice:  // only opened and looked at, never read
      fs::create_symlink("/dev/zero", path);
      break;
  }
  Outcome run = Capture("--size 320x200 --frames 5 --out " + dir.File("f"),
                        dir, data);
  EXPECT_EQ(run.status, c.status) << run.err;
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_NE(lines[0].find(std::string("\"") + c.file + "\""), std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find(c.why), std::string::npos) << lines[0];
  if (c.status == 0) {
    EXPECT_NE(run.out.find("5 presentations, 5 written"), std::string::npos)
        << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, CaptureDataFile,
    testing::Values(
        DataCase{"MapAsFifo", "WorldMap.txt", Node::kFifo, 1, "FIFO"},
        DataCase{"FrameAsFifo", "manRun03.txt", Node::kFifo, 1, "FIFO"},
        DataCase{"MapAsFolder", "WorldMap.txt", Node::kFolder, 1, "folder"},
        DataCase{"MapOf2GiB", "WorldMap.txt", Node::kHuge, 1, "64 MiB"},
        DataCase{"FontAsFifo", "font8x8.ppm", Node::kFifo, 0, "FIFO"},
        DataCase{"FontAsEndlessDevice", "font8x8.ppm", Node::kDevice, 0,
                 "character device"}),
    PrintCase);

// ---- Key scripts ------------------------------------------------------------

// n copies of item joined by commas.
std::string Repeat(const std::string& item, int n) {
  std::string list;
  for (int i = 0; i < n; ++i) list += (i ? "," : "") + item;
  return list;
}

TEST(CaptureKeys, OnlySymbolsSdlDefinesAreAccepted) {
  test::TempDir dir;
  // 37 lies in a gap of SDL's symbols, 297 after F15, 323 past the last.
  for (const char* key : {"0", "37", "297", "323", "512", "65535", "-1"}) {
    Outcome run = Capture(std::string("--frames 3 --keys 1:") + key, dir,
                          INTRO_SOURCE_DIR "/data");
    EXPECT_EQ(run.status, 2) << key;
    EXPECT_NE(run.err.find("usage: intro-capture"), std::string::npos) << key;
  }
  // The first and last of SDL's runs of symbols are keys.
  Outcome run = Capture("--frames 3 --keys 0:8,1:127,1:160,2:296,2:300,2:322",
                        dir, INTRO_SOURCE_DIR "/data");
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(CaptureKeys, MoreKeysForOnePresentationThanTheQueueTakesAreRefused) {
  test::TempDir dir;
  Outcome refused = Capture("--frames 2000 --keys " + Repeat("5:97", 200) +
                                ",5:q --out " + dir.File("f"),
                            dir, INTRO_SOURCE_DIR "/data");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("201 keys for presentation 5"), std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out, "");

  // Fifty keys fit, and the last press among them still counts: the quit ends
  // the run after presentation 5 and its 256-step fade.
  Outcome quit = Capture("--frames 2000 --from 9999 --keys " +
                             Repeat("5:97", 49) + ",5:q --out " + dir.File("f"),
                         dir, INTRO_SOURCE_DIR "/data");
  ASSERT_EQ(quit.status, 0) << quit.err;
  EXPECT_NE(quit.out.find("262 presentations"), std::string::npos) << quit.out;
}

// ---- Failures of the environment --------------------------------------------

TEST(CaptureFaults, AFrameThatCannotBeWrittenEndsTheRunWithStatus1) {
  test::TempDir dir;
  // The file size limit stands for a full disk: writes past it fail (the
  // signal that would otherwise kill the writer is ignored).
  const std::string command =
      "cd '" INTRO_SOURCE_DIR "/data' && trap '' XFSZ && ulimit -f 64 && "
      "exec '" INTRO_BINARY_DIR "/bin/intro-capture' --size 320x200 "
      "--frames 20 --out '" +
      dir.File("f") + "' >/dev/null 2>'" + dir.File("stderr") + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = test::ReadFile(dir.File("stderr"));
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  EXPECT_NE(err.find("frame-000000.ppm"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

#ifdef INTRO_PRELOAD_FAULTS

constexpr char kPreload[] = "LD_PRELOAD=" INTRO_PRELOAD_FAULTS;

TEST(CaptureFaults, ARefusedVideoModeIsAStartUpFailureWithSdlsReason) {
  test::TempDir dir;
  Outcome run = Capture("--frames 5 --out " + dir.File("f"), dir,
                        INTRO_SOURCE_DIR "/data",
                        std::string(kPreload) + " INTRO_REFUSE_VIDEO_MODE=1");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.err),
            std::vector<std::string>{"intro: the video mode 640x480 was "
                                     "refused: the test refuses every video "
                                     "mode"});
  EXPECT_EQ(run.out, "");
}

// The whole run, start-up, both scenes' frames, three saves, the fade and the
// release, with its k-th allocation failing, for every k.
TEST(CaptureFaults, EveryAllocationFailureIsOneLineAndStatus1OrChangesNothing) {
  test::TempDir dir;
  const std::string args = "--size 320x200 --frames 400 --every 100 "
                           "--keys 20:q --out " +
                           dir.File("f");
  const std::string data = INTRO_SOURCE_DIR "/data";
  const Outcome clean = Capture(args, dir, data, kPreload);
  ASSERT_EQ(clean.status, 0) << clean.err;
  const std::string summary = "277 presentations, 3 written";
  ASSERT_NE(clean.out.find(summary), std::string::npos) << clean.out;

  int failures = 0, tolerated = 0;
  for (long k = 0; k < 2000; ++k) {
    SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
    const std::string report = dir.File("report");
    unlink(report.c_str());
    Outcome run = Capture(args, dir, data,
                          std::string(kPreload) + " INTRO_FAIL_ALLOCATION=" +
                              std::to_string(k) + " INTRO_FAULT_REPORT='" +
                              report + "'");
    const bool injected = test::ReadFile(report) == "injected\n";
    const std::vector<std::string> lines = Lines(run.err);
    if (run.status == 1) {
      EXPECT_TRUE(injected);
      ASSERT_EQ(lines.size(), 1u) << run.err;
      EXPECT_NE(lines[0].find("out of memory"), std::string::npos) << lines[0];
      ++failures;
    } else {
      // A failure the run could do without (a stream buffer): same result.
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(lines, std::vector<std::string>{}) << run.err;
      EXPECT_NE(run.out.find(summary), std::string::npos) << run.out;
      tolerated += injected;
    }
    if (!injected) {
      // Start-up and every save make allocations of their own.
      EXPECT_GE(failures, 40);
      RecordProperty("allocations", static_cast<int>(k));
      RecordProperty("tolerated", tolerated);
      return;
    }
  }
  ADD_FAILURE() << "the run makes more than 2000 allocations";
}

#endif  // INTRO_PRELOAD_FAULTS

}  // namespace
