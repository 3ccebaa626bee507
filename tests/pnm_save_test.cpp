// IMGSave against what may already be at the target path, and the readers'
// bound on a header. Every node is made in a temporary folder; no real device
// is ever written.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "img/img.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

test::ImagePtr Picture() {
  return test::ImagePtr(
      test::MakeImage(3, 2, {0x102030, 0x405060, 0x708090, 1, 2, 3}));
}

// True when the file at path reads back as image.
bool Holds(const std::string& path, const Image* image) {
  std::string out;
  bool same = false;
  out = test::StdoutOf([&] {
    test::ImagePtr read(IMGLoad(path.c_str()));
    same = read && IMGEqual(read.get(), image);
  });
  return same && out.empty();
}

// ---- Nodes that are no regular file -----------------------------------------

enum class Kind { kFifo, kSocket, kFolder, kDevice, kLinkToFifo };

struct NodeCase {
  const char* name;
  Kind kind;
};
void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.name; }

class ImgSaveNode : public testing::TestWithParam<NodeCase> {};

TEST_P(ImgSaveNode, IsRefusedWithOneReportAndLeftAsItWas) {
  test::TempDir dir;
  const std::string path = dir.File("target.ppm");
  int socketFd = -1;
  switch (GetParam().kind) {
    case Kind::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      break;
    case Kind::kSocket: {
      socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      ASSERT_LT(path.size(), sizeof address.sun_path);
      std::strcpy(address.sun_path, path.c_str());
      ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address),
                     sizeof address),
                0);
      break;
    }
    case Kind::kFolder:
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
      break;
    case Kind::kDevice:  // the numbers of /dev/null, in the temporary folder
      if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod refused: " << std::strerror(errno);
      break;
    case Kind::kLinkToFifo:
      ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
      fs::create_symlink("fifo", path);
      break;
  }
  struct stat before, after;
  ASSERT_EQ(lstat(path.c_str(), &before), 0);
  const std::vector<std::string> listing = test::Listing(dir.path());

  const test::ImagePtr picture = Picture();
  bool saved = true;
  const std::string out =
      test::StdoutOf([&] { saved = IMGSave(picture.get(), path.c_str()); });
  EXPECT_FALSE(saved);
  EXPECT_EQ(out, "IMG error\n");
  ASSERT_EQ(lstat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  EXPECT_EQ(test::Listing(dir.path()), listing);
  if (socketFd >= 0) close(socketFd);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ImgSaveNode,
    testing::Values(NodeCase{"Fifo", Kind::kFifo},
                    NodeCase{"Socket", Kind::kSocket},
                    NodeCase{"Folder", Kind::kFolder},
                    NodeCase{"CharacterDevice", Kind::kDevice},
                    NodeCase{"SymlinkToFifo", Kind::kLinkToFifo}),
    [](const testing::TestParamInfo<NodeCase>& info) {
      return std::string(info.param.name);
    });

// ---- Symlinks, permission bits, names ---------------------------------------

TEST(ImgSave, WritesThroughSymlinksToWhatTheyNameWhereverThatIs) {
  test::TempDir dir;
  fs::create_directory(dir.path() / "real");
  test::WriteFile(dir.File("real/old.ppm"), "old");
  fs::create_symlink("real/old.ppm", dir.path() / "link.ppm");  // relative
  fs::create_symlink(dir.path() / "link.ppm", dir.path() / "chain.ppm");
  fs::create_symlink("real/new.ppm", dir.path() / "dangling.ppm");
  const test::ImagePtr picture = Picture();
  for (const char* name : {"chain.ppm", "dangling.ppm"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IMGSave(picture.get(), dir.File(name).c_str()));
    EXPECT_TRUE(fs::is_symlink(dir.path() / name));
  }
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ppm"));
  EXPECT_TRUE(Holds(dir.File("real/old.ppm"), picture.get()));
  EXPECT_TRUE(Holds(dir.File("real/new.ppm"), picture.get()));
  EXPECT_EQ(test::Listing(dir.path() / "real"),
            (std::vector<std::string>{"new.ppm", "old.ppm"}));
}

TEST(ImgSave, KeepsTheReplacedFilesModeSetIdBitsIncludedAndGivesANewOneTheUmasks) {
  test::TempDir dir;
  const test::ImagePtr picture = Picture();
  for (mode_t mode : {0600, 0640, 0751, 0444, 04755, 02755}) {
    SCOPED_TRACE(mode);
    const std::string path = dir.File("kept" + std::to_string(mode));
    test::WriteFile(path, "old");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    EXPECT_TRUE(IMGSave(picture.get(), path.c_str()));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_TRUE(Holds(path, picture.get()));
  }
  const mode_t old = umask(027);
  const bool saved = IMGSave(picture.get(), dir.File("new").c_str());
  umask(old);
  EXPECT_TRUE(saved);
  struct stat st;
  ASSERT_EQ(stat(dir.File("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ImgSave, AnyLegalNameWorksAndLeavesOnlyTheTarget) {
  test::TempDir dir;
  const test::ImagePtr picture = Picture();
  for (size_t length : {1u, 200u, 250u, 254u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    EXPECT_TRUE(IMGSave(picture.get(), dir.File(name).c_str()));
    EXPECT_TRUE(IMGSave(picture.get(), dir.File(name).c_str()));  // replaced
    EXPECT_TRUE(Holds(dir.File(name), picture.get()));
    EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{name});
    fs::remove(dir.path() / name);
  }
}

TEST(ImgSave, OtherHardLinksKeepTheOldContents) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.ppm"), "old");
  fs::create_hard_link(dir.path() / "a.ppm", dir.path() / "b.ppm");
  const test::ImagePtr picture = Picture();
  ASSERT_TRUE(IMGSave(picture.get(), dir.File("a.ppm").c_str()));
  EXPECT_TRUE(Holds(dir.File("a.ppm"), picture.get()));
  EXPECT_EQ(test::ReadFile(dir.File("b.ppm")), "old");
}

// A write that fails midway (here past the file size limit, as on a full
// disk) leaves the old file whole and nothing else behind.
TEST(ImgSave, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  test::TempDir dir;
  const std::string path = dir.File("frame.ppm");
  test::WriteFile(path, "old");
  const test::ImagePtr big(test::MakeImage(512, 512, {}));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool saved = IMGSave(big.get(), path.c_str());
    _exit(!saved && errno == EFBIG ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the save did not fail with EFBIG";
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"frame.ppm"});
}

// ---- The header bound -------------------------------------------------------

TEST(PnmHeaderBound, AHeaderPast64KiBIsMalformedInBothReaders) {
  test::TempDir dir;
  const test::ImagePtr pixel(test::MakeImage(1, 1, {0x616263}));
  // "P6\n#" + comment + "\n1 1\n255\n" + raster: the header is the whole input
  // but the raster's 3 bytes.
  for (size_t header : {size_t(IMG_MAX_HEADER_BYTES), size_t(IMG_MAX_HEADER_BYTES) + 1}) {
    SCOPED_TRACE(header);
    const std::string tail = "\n1 1\n255\n";
    const std::string input =
        "P6\n#" + std::string(header - 4 - tail.size(), 'c') + tail + "abc";
    ASSERT_EQ(input.size(), header + 3);
    const bool fits = header <= size_t(IMG_MAX_HEADER_BYTES);
    const std::string path = dir.File("comment.ppm");
    test::WriteFile(path, input);
    std::string out = test::StdoutOf([&] {
      test::ImagePtr loaded(IMGLoad(path.c_str()));
      test::ImagePtr parsed(IMGParse(
          reinterpret_cast<const uint8_t*>(input.data()), input.size()));
      EXPECT_EQ(loaded != nullptr, fits);
      EXPECT_EQ(parsed != nullptr, fits);
      if (fits) {
        EXPECT_TRUE(IMGEqual(loaded.get(), pixel.get()));
        EXPECT_TRUE(IMGEqual(parsed.get(), pixel.get()));
      }
    });
    EXPECT_EQ(out, fits ? "" : "IMG error\nIMG error\n");
  }
}

TEST(PnmHeaderBound, AnEndlessStreamOfBlanksEndsInAReport) {
  // /dev/zero is only read: NUL bytes are blanks to the header grammar.
  std::string out = test::StdoutOf([] {
    test::ImagePtr image(IMGLoad("/dev/zero"));
    EXPECT_EQ(image, nullptr);
  });
  EXPECT_EQ(out, "IMG error\n");
}

}  // namespace
