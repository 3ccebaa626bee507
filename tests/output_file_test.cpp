// The common output file writer against what may stand under a name: nodes
// that are no regular file, symlinks, modes and owners, long names, a full
// disk, a killed writer; and the standard output and working folder checks.
// Every node is made in a temporary folder; no real device is ever written.
#include "common/output_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

// Writes contents to path through a new writer; true when the commit did.
bool Save(const std::string& path, const std::string& contents,
          const intro::OutputOptions& options = {}, bool sync = true) {
  intro::OutputFile file;
  return file.Open(path.c_str(), options) &&
         file.Write(contents.data(), contents.size()) && file.Commit(sync);
}

// Runs f in a child process that is killed after a few seconds; true when f
// returned true there in time. A call that would block fails rather than
// hang the test.
bool InChild(const std::function<bool()>& f) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    alarm(5);
    _exit(f() ? 0 : 1);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

constexpr size_t kDefaultBuffer = intro::OutputOptions{}.buffer;

// The two kinds of temporary file, as a parameter.
struct Temporary {
  const char* name;
  bool unnamed;
};
void PrintTo(const Temporary& t, std::ostream* os) { *os << t.name; }
const auto kTemporaries =
    testing::Values(Temporary{"Unnamed", true}, Temporary{"HiddenName", false});
std::string TemporaryName(const testing::TestParamInfo<Temporary>& info) {
  return info.param.name;
}

// ---- Nodes that are no regular file -----------------------------------------

enum class Kind {
  kFifo,
  kSocket,
  kFolder,
  kDevice,
  kLinkToFifo,
  kLinkToFolder
};

struct NodeCase {
  const char* name;
  Kind kind;
  int errnum;
  const char* reason;
};
void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.name; }

class OutputFileNode : public testing::TestWithParam<NodeCase> {};

TEST_P(OutputFileNode, IsRefusedAtOnceWithItsKindAndLeftAsItWas) {
  const NodeCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File("target");
  int socketFd = -1;
  switch (c.kind) {
    case Kind::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      break;
    case Kind::kSocket: {
      socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      ASSERT_LT(path.size(), sizeof address.sun_path);
      std::strcpy(address.sun_path, path.c_str());
      ASSERT_EQ(
          bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address),
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
    case Kind::kLinkToFolder:
      fs::create_directory(dir.path() / "folder");
      fs::create_symlink("folder", path);
      break;
  }
  struct stat before, after;
  ASSERT_EQ(lstat(path.c_str(), &before), 0);
  const std::vector<std::string> listing = test::Listing(dir.path());

  // In a child first: an open of a FIFO that blocked would hang the test.
  ASSERT_TRUE(InChild([&] {
    intro::OutputFile file;
    return !file.Open(path.c_str()) && errno == c.errnum;
  })) << "not refused at once with errno "
      << c.errnum;
  intro::OutputFile file;
  EXPECT_FALSE(file.Open(path.c_str()));
  EXPECT_EQ(file.error(), c.errnum);
  EXPECT_EQ(file.Reason(), "cannot write " + path + ": " + c.reason);
  EXPECT_FALSE(file.Write("x", 1));
  EXPECT_FALSE(file.Commit(true));
  ASSERT_EQ(lstat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  EXPECT_EQ(test::Listing(dir.path()), listing);
  if (socketFd >= 0) close(socketFd);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, OutputFileNode,
    testing::Values(NodeCase{"Fifo", Kind::kFifo, EEXIST,
                             "a FIFO, not a regular file"},
                    NodeCase{"Socket", Kind::kSocket, EEXIST,
                             "a socket, not a regular file"},
                    NodeCase{"Folder", Kind::kFolder, EISDIR,
                             "a folder, not a regular file"},
                    NodeCase{"CharacterDevice", Kind::kDevice, EEXIST,
                             "a character device, not a regular file"},
                    NodeCase{"SymlinkToFifo", Kind::kLinkToFifo, EEXIST,
                             "a FIFO, not a regular file"},
                    NodeCase{"SymlinkToFolder", Kind::kLinkToFolder, EISDIR,
                             "a folder, not a regular file"}),
    [](const testing::TestParamInfo<NodeCase>& info) {
      return std::string(info.param.name);
    });

// A FIFO that takes the name while the file is written is not replaced.
// A header finished at the end (a WAV's sizes) goes over the bytes written
// first, whatever the buffer holds, and what follows is written after it.
TEST(OutputFile, WriteAtRewritesTheStartAndWritesGoOnAtTheEnd) {
  for (size_t buffer : {size_t(0), size_t(1), size_t(7), kDefaultBuffer}) {
    test::TempDir dir;
    const std::string path = dir.File("out.wav");
    intro::OutputFile file;
    intro::OutputOptions options;
    options.buffer = buffer;
    ASSERT_TRUE(file.Open(path.c_str(), options));
    ASSERT_TRUE(file.Write("hhhh", 4));
    ASSERT_TRUE(file.Write("data", 4));
    ASSERT_TRUE(file.WriteAt(0, "HEAD", 4));
    ASSERT_TRUE(file.Write("more", 4));
    ASSERT_TRUE(file.WriteAt(1, "EA", 2));
    ASSERT_TRUE(file.Commit(false));
    EXPECT_EQ(test::ReadFile(path), "HEADdatamore") << "buffer " << buffer;
  }
}

TEST(OutputFile, CommitRefusesANodeThatAppearedUnderTheNameMeanwhile) {
  test::TempDir dir;
  for (bool existed : {false, true}) {
    SCOPED_TRACE(existed ? "replacing a file" : "a new file");
    const std::string path = dir.File(existed ? "old" : "new");
    if (existed) test::WriteFile(path, "old");
    intro::OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(file.Write("new", 3));
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    EXPECT_FALSE(file.Commit(true));
    EXPECT_TRUE(fs::is_fifo(path));
  }
  EXPECT_EQ(test::Listing(dir.path()),
            (std::vector<std::string>{"new", "old"}));
}

// ---- Regular files, through either kind of temporary ------------------------

class OutputFileTemporary : public testing::TestWithParam<Temporary> {
 protected:
  intro::OutputOptions Options() const {
    return {.unnamed = GetParam().unnamed};
  }
};

TEST_P(OutputFileTemporary, WritesThroughSymlinksToWhatTheyNameWhereverThatIs) {
  test::TempDir dir;
  fs::create_directory(dir.path() / "real");
  test::WriteFile(dir.File("real/old"), "old");
  fs::create_symlink("real/old", dir.path() / "link");  // relative
  fs::create_symlink(dir.path() / "link", dir.path() / "chain");
  fs::create_symlink("real/new", dir.path() / "dangling");
  for (const char* name : {"chain", "dangling"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(Save(dir.File(name), name, Options()));
    EXPECT_TRUE(fs::is_symlink(dir.path() / name));
  }
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(test::ReadFile(dir.File("real/old")), "chain");
  EXPECT_EQ(test::ReadFile(dir.File("real/new")), "dangling");
  EXPECT_EQ(test::Listing(dir.path() / "real"),
            (std::vector<std::string>{"new", "old"}));
}

// The set-id bits go first when the owner changes, and as root the owner is
// always given back, so they are only kept when the mode is set last.
TEST_P(OutputFileTemporary, KeepsTheModeSetIdBitsIncludedAndTheOwner) {
  test::TempDir dir;
  for (mode_t mode : {0600, 0640, 0444, 04755, 02755, 06711}) {
    SCOPED_TRACE(std::to_string(mode));
    const std::string path = dir.File("kept");
    test::WriteFile(path, "old");
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    struct stat before, after;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    EXPECT_TRUE(Save(path, "new", Options()));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(test::ReadFile(path), "new");
  }
  const mode_t old = umask(027);
  const bool saved = Save(dir.File("new"), "new", Options());
  umask(old);
  EXPECT_TRUE(saved);
  struct stat st;
  ASSERT_EQ(stat(dir.File("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Without the privilege to keep set-id bits, a write to a file clears them:
// the writer gives the mode after the last write.
TEST_P(OutputFileTemporary, AnUnprivilegedOwnerKeepsTheSetIdBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  test::TempDir dir;
  ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
  const std::string path = dir.File("tool");
  test::WriteFile(path, "old");
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(path.c_str(), 06755), 0);
  const std::string contents(100000, 'x');  // more than one buffer
  EXPECT_TRUE(InChild([&] {
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 &&
           setuid(65534) == 0 && Save(path, contents, Options());
  }));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 06755u);
  EXPECT_EQ(test::ReadFile(path), contents);
}

TEST_P(OutputFileTemporary, AnyLegalNameWorksAndLeavesOnlyTheTarget) {
  test::TempDir dir;
  for (size_t length : {1u, 250u, 254u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    EXPECT_TRUE(Save(dir.File(name), "first", Options()));
    EXPECT_TRUE(Save(dir.File(name), "second", Options(), false));
    EXPECT_EQ(test::ReadFile(dir.File(name)), "second");
    EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{name});
    fs::remove(dir.path() / name);
  }
}

// Abandoned, failed or discarded: the target keeps what it held and nothing
// else is left in the folder.
TEST_P(OutputFileTemporary, AnUncommittedFileLeavesTheTargetAndNothingElse) {
  test::TempDir dir;
  const std::string path = dir.File("target");
  test::WriteFile(path, "old");
  {
    intro::OutputFile dropped;
    ASSERT_TRUE(dropped.Open(path.c_str(), Options()));
    ASSERT_TRUE(dropped.Write("new", 3));
  }
  intro::OutputFile discarded;
  ASSERT_TRUE(discarded.Open(path.c_str(), Options()));
  ASSERT_TRUE(discarded.Write("new", 3));
  errno = 1234;
  discarded.Discard();
  EXPECT_EQ(errno, 1234);
  EXPECT_FALSE(discarded.is_open());
  EXPECT_FALSE(discarded.Commit(true));
  EXPECT_FALSE(discarded.Open(path.c_str())) << "an OutputFile opens once";
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"target"});
}

INSTANTIATE_TEST_SUITE_P(Temporaries, OutputFileTemporary, kTemporaries,
                         TemporaryName);

// ---- A full disk
// -------------------------------------------------------------

struct FullDiskCase {
  const char* name;
  bool unnamed;
  size_t buffer;  // the default: a write fails; 1 MiB: only the commit does
};
void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }

// A 64 KiB tmpfs mounted on a fresh folder, unmounted at the end.
class OutputFileFullDisk : public testing::TestWithParam<FullDiskCase> {
 protected:
  void SetUp() override {
    if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs for a full disk: "
                   << std::strerror(errno);
    mounted = true;
  }
  void TearDown() override {
    if (mounted) umount(dir.path().c_str());
  }
  test::TempDir dir;
  bool mounted = false;
};

TEST_P(OutputFileFullDisk, LeavesTheOldContentsAndNoTemporary) {
  const std::string path = dir.File("frame");
  test::WriteFile(path, "old");
  intro::OutputFile file;
  ASSERT_TRUE(file.Open(path.c_str(), {.buffer = GetParam().buffer,
                                       .unnamed = GetParam().unnamed}));
  const std::string block(16 * 1024, 'b');
  bool written = true;
  for (int i = 0; i < 8 && written; ++i)
    written = file.Write(block.data(), block.size());
  EXPECT_EQ(written, GetParam().buffer > 8 * block.size());
  EXPECT_FALSE(written && file.Commit(true));
  EXPECT_EQ(file.error(), ENOSPC);
  EXPECT_EQ(file.Reason(),
            "cannot write " + path + ": " + std::strerror(ENOSPC));
  file.Discard();
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"frame"});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OutputFileFullDisk,
    testing::Values(FullDiskCase{"UnnamedAtAWrite", true, kDefaultBuffer},
                    FullDiskCase{"HiddenNameAtAWrite", false, kDefaultBuffer},
                    FullDiskCase{"UnnamedAtTheCommit", true, 1 << 20},
                    FullDiskCase{"HiddenNameAtTheCommit", false, 1 << 20}),
    [](const testing::TestParamInfo<FullDiskCase>& info) {
      return std::string(info.param.name);
    });

// ---- A killed writer
// ---------------------------------------------------------

TEST(OutputFile, AWriterKilledMidwayLeavesNoTemporary) {
  test::TempDir dir;
  {
    const int probe =
        open(dir.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe < 0)
      GTEST_SKIP() << "no unnamed files on this file system: "
                   << std::strerror(errno);
    close(probe);
  }
  const std::string path = dir.File("big.gif");
  test::WriteFile(path, "old");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    intro::OutputFile file;
    const std::string block(100000, 'b');
    if (file.Open(path.c_str()) && file.Write(block.data(), block.size()) &&
        file.Write(block.data(), block.size()))
      (void)!write(ready[1], "w", 1);
    for (;;) pause();
  }
  close(ready[1]);
  char c = 0;
  const bool wrote = read(ready[0], &c, 1) == 1;
  close(ready[0]);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(wrote) << "the child could not write";
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"big.gif"});
}

// ---- Buffering
// ---------------------------------------------------------------

struct BufferCase {
  const char* name;
  size_t buffer;
};
void PrintTo(const BufferCase& c, std::ostream* os) { *os << c.name; }

class OutputFileBuffer : public testing::TestWithParam<BufferCase> {};

// Writes smaller, equal to and larger than the buffer, in every order, come
// out as one stream of bytes in the order given.
TEST_P(OutputFileBuffer, KeepsTheBytesInOrderWhateverTheWriteSizes) {
  test::TempDir dir;
  const std::string path = dir.File("out");
  intro::OutputFile file;
  ASSERT_TRUE(file.Open(path.c_str(), {.buffer = GetParam().buffer}));
  std::string expected;
  int k = 0;
  for (size_t size :
       {1u, 7u, 0u, 8u, 3u, 70000u, 2u, 65535u, 65536u, 1u, 200000u, 5u}) {
    std::string piece(size, '\0');
    for (char& ch : piece) ch = static_cast<char>('a' + k++ % 26);
    ASSERT_TRUE(file.Write(piece.data(), piece.size()));
    expected += piece;
  }
  ASSERT_TRUE(file.Commit(false));
  EXPECT_TRUE(test::ReadFile(path) == expected) << "the bytes differ";
}

INSTANTIATE_TEST_SUITE_P(Sizes, OutputFileBuffer,
                         testing::Values(BufferCase{"Unbuffered", 0},
                                         BufferCase{"OneByte", 1},
                                         BufferCase{"SevenBytes", 7},
                                         BufferCase{"Default", kDefaultBuffer}),
                         [](const testing::TestParamInfo<BufferCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Standard output and the working folder
// ----------------------------------

TEST(MakeAbsolute, NamesARelativePathFromTheWorkingFolderOrFails) {
  test::TempDir dir;
  const int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(here, 0);
  const fs::path gone = dir.path() / "gone";
  fs::create_directory(gone);
  ASSERT_EQ(chdir(gone.c_str()), 0);
  std::string relative = "a.gif", absolute = "/x/a.gif", empty;
  const bool made = intro::MakeAbsolute(&relative);
  ASSERT_EQ(rmdir(gone.c_str()), 0);
  std::string orphan = "b.gif";
  const bool madeOrphan = intro::MakeAbsolute(&orphan);
  const int why = errno;
  ASSERT_EQ(fchdir(here), 0);
  close(here);
  EXPECT_TRUE(made);
  EXPECT_EQ(relative, (gone / "a.gif").string());
  EXPECT_TRUE(intro::MakeAbsolute(&absolute));
  EXPECT_EQ(absolute, "/x/a.gif");
  EXPECT_FALSE(madeOrphan) << "made " << orphan;
  EXPECT_EQ(why, ENOENT);
}

}  // namespace
