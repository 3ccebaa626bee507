// Taking the terminal over and giving it back.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "term/term.h"

namespace {

// The alternate screen (its own, saving the cursor of the primary one) and
// the cursor hidden; undone by colours reset, cursor shown, primary screen.
// Leaving starts with CAN, which ends any sequence that a frame cut short
// left open (elsewhere it does nothing), and ends synchronized output.
constexpr char kEnter[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeave[] = "\x18\x1b[?2026l\x1b[0m\x1b[?25h\x1b[?1049l";

// Read by TERMTtyRestore, which a signal handler may call.
volatile sig_atomic_t entered = 0;
volatile sig_atomic_t inputRaw = 0;
volatile sig_atomic_t taken = 0;  // TERMTtyEnter succeeded: resume may
int inputFd = -1, outputFd = -1;
termios saved{}, raw{};
bool haveRaw = false;

}  // namespace

bool TERMTtySize(int fd, int32_t* cols, int32_t* rows, bool* unknown) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return false;
  const bool none = size.ws_col == 0 || size.ws_row == 0;
  *cols = none ? TERM_UNKNOWN_COLS : size.ws_col;
  *rows = none ? TERM_UNKNOWN_ROWS : size.ws_row;
  if (unknown) *unknown = none;
  return true;
}

bool TERMTtyEnter(int in, int out) {
  if (!isatty(out)) return false;
  inputFd = in;
  outputFd = out;
  if (isatty(in) && tcgetattr(in, &saved) == 0) {
    raw = saved;
    // No echo, no line editing, no signals from keys (Ctrl-C, Ctrl-Z and
    // Ctrl-\ arrive as bytes), no flow control or CR translation on input,
    // no output processing (a line feed only moves down); reads return at
    // once with what there is.
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | BRKINT | INPCK | ISTRIP);
    raw.c_oflag &= ~OPOST;
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    haveRaw = true;
    if (tcsetattr(in, TCSAFLUSH, &raw) == 0) inputRaw = 1;
  }
  entered = 1;
  taken = 1;
  return TERMWrite(out, kEnter, sizeof kEnter - 1);
}

void TERMTtyRestore() {
  if (entered) {
    entered = 0;
    // Best effort: the terminal may be gone.
    [[maybe_unused]] ssize_t ignored = write(outputFd, kLeave, sizeof kLeave - 1);
  }
  if (inputRaw) {
    inputRaw = 0;
    tcsetattr(inputFd, TCSAFLUSH, &saved);  // typed-ahead keys are dropped
  }
}

bool TERMTtyResume() {
  if (!taken) return false;
  if (haveRaw && tcsetattr(inputFd, TCSAFLUSH, &raw) == 0) inputRaw = 1;
  entered = 1;
  [[maybe_unused]] ssize_t ignored = write(outputFd, kEnter, sizeof kEnter - 1);
  return true;
}

int TERMTtyOpenOutput(int fd) {
  // The terminal opened anew is a file description of its own: its
  // non-blocking mode is not the shell's.
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  const int own = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (own < 0) return -1;
  if (!isatty(own)) {
    close(own);
    return -1;
  }
  return own;
}

bool TERMWrite(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) < 0 && errno != EINTR) return false;
    } else {
      return false;
    }
  }
  return true;
}
