// process.h - what surf-probe sets up for its own process before any command runs, and the
// one list of temporary files that must not outlive it.
#ifndef SURF_PROBE_PROCESS_H
#define SURF_PROBE_PROCESS_H

#include <string>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/types.h>
#endif

namespace probe {

// Called once, first thing in main(), on the main thread:
// - a standard stream that was closed is opened on the null device for reading, so no file the
//   probe opens later takes its place, and a write to a closed standard output fails (and is
//   reported) instead of vanishing;
// - SIGPIPE is ignored, so writing to a reader that went away (a pipe to head, a gnuplot that
//   exited) is a write error with a message, not a silent death;
// - SIGINT, SIGTERM and SIGHUP, and the faults of a plug-in that crashes (SIGSEGV, SIGBUS,
//   SIGFPE, SIGILL, SIGABRT), end the registered child process, remove every registered
//   temporary file and then end the process with the same signal, as it would have ended
//   without the probe's handler; a fault is first named in one line on standard error. Of
//   SIGINT, SIGTERM and SIGHUP, one the caller set to be ignored (nohup, a job a script started
//   with &) stays ignored.
void prepareProcess();

// Marks, while it lives, that the plug-in runs (its loading, fnInitDll, fnEvaluateCoating): a
// fault then is reported on standard error as the plug-in's crash, otherwise as the probe's
// own. Main thread only; may nest.
class PluginRunning {
 public:
  PluginRunning();
  ~PluginRunning();
  PluginRunning(const PluginRunning &) = delete;
  PluginRunning &operator=(const PluginRunning &) = delete;
};

// Registers `path` for removal if a signal ends the process, until forgetTemporaryFile. At most
// kMaxTemporaryFiles at once, each shorter than kMaxTemporaryPath bytes; returns false (and
// registers nothing) beyond that, and the caller must not create the file. Main thread only.
constexpr int kMaxTemporaryFiles = 4;
constexpr std::size_t kMaxTemporaryPath = 4096;
bool registerTemporaryFile(const std::string &path);
void forgetTemporaryFile(const std::string &path);

#if !defined(_WIN32)
// A child process that writes into a registered temporary file (gnuplot drawing the chart): the
// signal handler ends it with SIGKILL and waits for it before it removes the files, as a child
// left running would write the file again. Register it from within a StopSignalsHeld that was
// in force when it was started, so no stop signal comes between its start and its
// registration; forget it once it has ended but before it is waited for (waitid with WNOWAIT),
// so its pid cannot be handed to another process meanwhile. One at a time; main thread only.
void registerChildProcess(pid_t child);
void forgetChildProcess();

// While it lives, SIGINT, SIGTERM and SIGHUP wait (are blocked) in the calling thread.
// `previous()` is the signal mask in force before, for a child started meanwhile to start with.
class StopSignalsHeld {
 public:
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld &) = delete;
  StopSignalsHeld &operator=(const StopSignalsHeld &) = delete;
  const sigset_t &previous() const { return previous_; }

 private:
  sigset_t previous_;
};
#endif

// Flushes standard output and tells whether everything written to it arrived. Throws
// ToolFailure with the system's reason when it did not (closed, full disk, reader gone).
void finishStandardOutput();

}  // namespace probe

#endif
