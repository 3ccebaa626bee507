// Taking the terminal over and giving it back.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "term/term.h"

namespace {

// The alternate screen (its own, saving the cursor of the primary one) and
// the cursor hidden; undone by colours reset, cursor shown, primary screen.
constexpr char kEnter[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeave[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

// Read by TERMTtyRestore, which a signal handler may call.
volatile sig_atomic_t entered = 0;
volatile sig_atomic_t inputRaw = 0;
int inputFd = -1, outputFd = -1;
termios saved{};

}  // namespace

bool TERMTtySize(int fd, int32_t* cols, int32_t* rows) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return false;
  *cols = size.ws_col;
  *rows = size.ws_row;
  return true;
}

bool TERMTtyEnter(int in, int out) {
  if (!isatty(out)) return false;
  inputFd = in;
  outputFd = out;
  if (isatty(in) && tcgetattr(in, &saved) == 0) {
    termios raw = saved;
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
    if (tcsetattr(in, TCSAFLUSH, &raw) == 0) inputRaw = 1;
  }
  entered = 1;
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
