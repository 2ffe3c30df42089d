#include "tools/probe/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/probe/errors.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace probe {

namespace {

// The registered temporary files, in storage a signal handler may read: fixed arrays, a slot
// marked used only once its path is complete.
char temporaryPaths[kMaxTemporaryFiles][kMaxTemporaryPath];
volatile std::sig_atomic_t slotUsed[kMaxTemporaryFiles];
// The registered child process, 0 when there is none.
volatile std::sig_atomic_t childProcess = 0;

// The signals that stop a run from outside (the user, the session, the system): a caller that
// set one of them to be ignored (nohup, a job started with & by a script) keeps it ignored.
const int kStopSignals[] = {
    SIGINT, SIGTERM,
#if !defined(_WIN32)
    SIGHUP,
#endif
};
// The faults of a plug-in that crashes: always handled, as ignoring them is no choice a caller
// has (the system ends the process all the same).
const int kFaultSignals[] = {
    SIGSEGV, SIGFPE, SIGILL, SIGABRT,
#if !defined(_WIN32)
    SIGBUS,
#endif
};

// Greater than 0 while the plug-in runs (loaded, initialised or evaluating).
volatile std::sig_atomic_t insidePlugin = 0;

// The name of a fault signal; null for the stop signals, which end a run without a word.
const char *faultName(int signalNumber) {
  switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
#if !defined(_WIN32)
    case SIGBUS: return "SIGBUS";
#endif
    default: return nullptr;
  }
}

void writeToStandardError(const char *text) {
#if defined(_WIN32)
  _write(2, text, static_cast<unsigned>(std::strlen(text)));
#else
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
#endif
}

// One line for a fault, as the process would otherwise end without a word: the plug-in's crash
// when the fault came while it ran, the probe's own otherwise.
void reportFault(int signalNumber) {
  const char *name = faultName(signalNumber);
  if (name == nullptr) return;
  writeToStandardError(insidePlugin > 0 ? "surf-probe: the plug-in crashed ("
                                        : "surf-probe: crashed (");
  writeToStandardError(name);
  writeToStandardError(insidePlugin > 0 ? ")\n" : "), a fault of surf-probe itself\n");
}

// Says what fault ended the run, ends the child that writes into a temporary file, removes what
// a run left half-written, then lets the signal do what it would have done. Only
// async-signal-safe calls: strlen, write, kill, waitpid, unlink, signal, raise.
extern "C" void removeTemporaryFilesAndStop(int signalNumber) {
  reportFault(signalNumber);
#if !defined(_WIN32)
  if (const pid_t child = childProcess; child > 0) {
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
#endif
  for (int i = 0; i < kMaxTemporaryFiles; ++i)
    if (slotUsed[i]) {
#if defined(_WIN32)
      _unlink(temporaryPaths[i]);
#else
      unlink(temporaryPaths[i]);
#endif
    }
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

#if !defined(_WIN32)
// A standard stream the caller closed is reopened on the null device, read-only: writing to it
// then fails with EBADF, as writing to the closed stream would, and the descriptor cannot be
// handed to a file the probe opens (which would then receive the probe's standard output).
void occupyClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDONLY);
      if (opened != fd && opened >= 0) close(opened);  // the lowest free descriptor is fd
    }
}

// A plug-in that overruns the stack must still reach the handler: it runs on a stack of its own.
alignas(16) char handlerStack[64 * 1024];
#endif

}  // namespace

void prepareProcess() {
#if defined(_WIN32)
  for (int signalNumber : kStopSignals)
    if (std::signal(signalNumber, removeTemporaryFilesAndStop) == SIG_IGN)
      std::signal(signalNumber, SIG_IGN);
  for (int signalNumber : kFaultSignals) std::signal(signalNumber, removeTemporaryFilesAndStop);
#else
  occupyClosedStandardStreams();
  std::signal(SIGPIPE, SIG_IGN);
  stack_t stack{};
  stack.ss_sp = handlerStack;
  stack.ss_size = sizeof handlerStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_handler = removeTemporaryFilesAndStop;
  action.sa_flags = SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kStopSignals) sigaddset(&action.sa_mask, signalNumber);
  for (int signalNumber : kFaultSignals) sigaddset(&action.sa_mask, signalNumber);
  for (int signalNumber : kStopSignals) {
    struct sigaction caller {};
    if (sigaction(signalNumber, nullptr, &caller) == 0 && caller.sa_handler == SIG_IGN) continue;
    sigaction(signalNumber, &action, nullptr);
  }
  for (int signalNumber : kFaultSignals) sigaction(signalNumber, &action, nullptr);
#endif
}

PluginRunning::PluginRunning() { insidePlugin = insidePlugin + 1; }
PluginRunning::~PluginRunning() { insidePlugin = insidePlugin - 1; }

#if !defined(_WIN32)
void registerChildProcess(pid_t child) { childProcess = child; }
void forgetChildProcess() { childProcess = 0; }

StopSignalsHeld::StopSignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (int signalNumber : kStopSignals) sigaddset(&held, signalNumber);
  pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

StopSignalsHeld::~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
#endif

bool registerTemporaryFile(const std::string &path) {
  if (path.size() >= kMaxTemporaryPath) return false;
  for (int i = 0; i < kMaxTemporaryFiles; ++i)
    if (!slotUsed[i]) {
      std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
      slotUsed[i] = 1;
      return true;
    }
  return false;
}

void forgetTemporaryFile(const std::string &path) {
  for (int i = 0; i < kMaxTemporaryFiles; ++i)
    if (slotUsed[i] && path == temporaryPaths[i]) slotUsed[i] = 0;
}

void finishStandardOutput() {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int reason = errno;
  if (flushed && !std::ferror(stdout)) return;
  throw ToolFailure(std::string("writing standard output failed") +
                    (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()));
}

}  // namespace probe
