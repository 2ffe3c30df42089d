#include "tools/probe/gnuplot.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/probe/errors.h"
#include "tools/probe/input_text.h"
#include "tools/probe/process.h"

#if defined(_WIN32)
#include <cstdio>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace probe {

const char *const kGnuplotPackage = "gnuplot-nox";

namespace {

#if defined(_WIN32)
constexpr char kPathListSeparator = ';';
constexpr const char *kExecutableSuffix = ".exe";
#else
constexpr char kPathListSeparator = ':';
constexpr const char *kExecutableSuffix = "";
#endif

bool isExecutableFile(const std::string &path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
#if defined(_WIN32)
  return true;
#else
  return access(path.c_str(), X_OK) == 0;
#endif
}

bool hasControlCharacter(const std::string &text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

std::string findOnPath(const std::string &program, const std::string &searchPath) {
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(kPathListSeparator, start);
    if (end == std::string::npos) end = searchPath.size();
    const std::string directory = searchPath.substr(start, end - start);
    if (!directory.empty()) {
      const std::string candidate = directory + "/" + program + kExecutableSuffix;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::string();
}

std::string gnuplotProgram(const std::string &chosen) {
  if (!chosen.empty()) {
    if (!isExecutableFile(chosen))
      throw InputError("--gnuplot " + inQuotes(chosen) + ": not an executable file");
    return chosen;
  }
  const char *path = std::getenv("PATH");
  const std::string found = findOnPath("gnuplot", path ? path : "");
  if (found.empty())
    throw ToolFailure(
        std::string("plot needs gnuplot, which is not on PATH; install the package ") +
        kGnuplotPackage + " (apt-get install " + kGnuplotPackage +
        ") or name the program with --gnuplot PATH");
  return found;
}

std::string gnuplotQuoted(const std::string &text) {
  const std::string shown = hasControlCharacter(text) ? visible(text) : text;
  std::string quoted = "'";
  for (char c : shown) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::string gnuplotText(const std::string &text) { return gnuplotQuoted(text) + " noenhanced"; }

std::string gnuplotOutputPath(const std::string &path, const std::string &option) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string text = error ? path : absolute.string();
  if (hasControlCharacter(text))
    throw InputError(option + " " + inQuotes(path) +
                     ": the path holds a control character, which gnuplot would read as the "
                     "end of the command; choose another name");
  return gnuplotQuoted(text);
}

void runGnuplot(const std::string &program, const std::string &script) {
  const std::string name = inQuotes(program);
#if defined(_WIN32)
  std::FILE *pipe = _popen(("\"" + program + "\"").c_str(), "wb");
  if (pipe == nullptr) throw ToolFailure("cannot start " + name);
  const bool written = std::fwrite(script.data(), 1, script.size(), pipe) == script.size();
  const int status = _pclose(pipe);
  if (!written || status != 0)
    throw ToolFailure(name + " failed to draw the chart (status " + std::to_string(status) + ")");
#else
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw ToolFailure("cannot start " + name + ": " + std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  // The probe ignores SIGPIPE; gnuplot gets the default disposition back.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char *const argv[] = {const_cast<char *>(program.c_str()), nullptr};
  pid_t child;
  int spawned;
  {
    // gnuplot writes the chart's temporary file: a signal that ends the probe ends gnuplot
    // first, or gnuplot would write the file again after the handler removed it.
    const StopSignalsHeld held;
    posix_spawnattr_setsigmask(&attributes, &held.previous());
    spawned = posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ);
    if (spawned == 0) registerChildProcess(child);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeEnds[0]);
  if (spawned != 0) {
    close(pipeEnds[1]);
    throw ToolFailure("cannot start " + name + ": " + std::strerror(spawned));
  }
  // Written in full unless gnuplot stops reading (EPIPE, as SIGPIPE is ignored).
  std::size_t written = 0;
  while (written < script.size()) {
    const ssize_t n = write(pipeEnds[1], script.data() + written, script.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  close(pipeEnds[1]);
  // Waited for in two steps: once it has ended, the handler no longer needs to end it; until it
  // is reaped, its pid stays its own.
  siginfo_t ended;
  while (waitid(P_PID, child, &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  forgetChildProcess();
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status))
    throw ToolFailure(name + " was ended by signal " + std::to_string(WTERMSIG(status)) +
                      " before it drew the chart");
  if (WEXITSTATUS(status) != 0)
    throw ToolFailure(name + " failed to draw the chart (exit status " +
                      std::to_string(WEXITSTATUS(status)) + ")");
  if (written < script.size())
    throw ToolFailure(name + " stopped reading the chart's script after " +
                      std::to_string(written) + " of " + std::to_string(script.size()) +
                      " bytes; is it gnuplot?");
#endif
}

}  // namespace probe
