// The terminal guard: every signal's disposition while the terminal is taken.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "term/term.h"

namespace {

// Signals that end the process by default: the terminal is given back, then
// the process ends as the signal would have ended it.
constexpr int kFatal[] = {SIGHUP,  SIGQUIT,   SIGSEGV, SIGBUS,  SIGFPE,
                          SIGILL,  SIGABRT,   SIGTRAP, SIGSYS,  SIGUSR1,
                          SIGUSR2, SIGALRM,   SIGVTALRM, SIGPROF, SIGXCPU,
                          SIGXFSZ, SIGPIPE};

// Set by the handlers, taken by the main thread. Lock-free, so safe in a
// handler.
std::atomic<int> quits{0};
std::atomic<bool> resized{false}, continued{false};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

int wakePipe[2] = {-1, -1};
bool installed = false;

// The stack the handlers of faults run on: a stack overflow leaves none.
alignas(16) char faultStack[64 * 1024];

void Wake() {
  const int saved = errno;
  [[maybe_unused]] ssize_t ignored = write(wakePipe[1], "", 1);
  errno = saved;
}

void OnQuit(int) {
  ++quits;
  Wake();
}

void OnResize(int) {
  resized = true;
  Wake();
}

// Restores the default of signal, unblocks it and raises it again.
void RaiseDefault(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
}

void OnFatal(int signal) {
  TERMTtyRestore();
  RaiseDefault(signal);
  // Back here only after a fault: returning runs the faulting instruction
  // again, which now ends the process.
}

void OnStop(int);

// SIGCONT is held back while the stop is handled, so the terminal is taken
// again only once this handler is done.
void InstallStop() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGCONT);
  sigaction(SIGTSTP, &action, nullptr);
}

void OnStop(int) {
  const int saved = errno;
  TERMTtyRestore();
  RaiseDefault(SIGTSTP);  // stops here until continued
  InstallStop();
  errno = saved;
}

void OnContinue(int) {
  const int saved = errno;
  if (TERMTtyResume()) continued = true;
  Wake();
  errno = saved;
}

bool Ignored(int signal) {
  struct sigaction before {};
  return sigaction(signal, nullptr, &before) == 0 &&
         before.sa_handler == SIG_IGN;
}

}  // namespace

bool TERMGuardInstall() {
  if (installed) return true;
  if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  stack_t stack{};
  stack.ss_sp = faultStack;
  stack.ss_size = sizeof faultStack;
  if (sigaltstack(&stack, nullptr) != 0) return false;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnQuit;
  // Installed before SDL starts, which then leaves SIGINT and SIGTERM alone.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnResize;
  sigaction(SIGWINCH, &action, nullptr);
  action.sa_handler = OnContinue;
  sigaction(SIGCONT, &action, nullptr);
  if (!Ignored(SIGTSTP)) InstallStop();
  action.sa_handler = OnFatal;
  action.sa_flags = SA_ONSTACK;
  for (int signal : kFatal)
    if (!Ignored(signal)) sigaction(signal, &action, nullptr);
  installed = true;
  return true;
}

int TERMGuardWakeFd() { return wakePipe[0]; }

void TERMGuardDrain() {
  char bytes[64];
  while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
  }
}

int TERMGuardTakeQuits() { return quits.exchange(0); }
bool TERMGuardTakeResized() { return resized.exchange(false); }
bool TERMGuardTakeContinued() { return continued.exchange(false); }
