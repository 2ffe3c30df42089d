#include "tools/probe/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/probe/errors.h"

#include <fcntl.h>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#define SURF_PROBE_PID _getpid()
#else
#include <unistd.h>
#define SURF_PROBE_PID getpid()
#endif

namespace probe {

namespace fs = std::filesystem;

namespace {

bool pathExists(const std::string &path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error)) || fs::exists(path, error);
}

// Creates `path` for writing, failing if anything (a file, a link) is already there, so a
// name that happens to be taken is never truncated or followed.
std::FILE *createNew(const std::string &path) {
#if defined(_WIN32)
  const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, 0644);
  return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
  return fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
}

// Moves the finished file to `to` unless something is there already, in one step, so a file
// that appeared in the meantime is not replaced. Returns false with errno EEXIST if it was.
bool moveIntoPlaceIfFree(const std::string &from, const std::string &to) {
#if defined(_WIN32)
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  errno = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EIO;
  return false;
#else
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  // A file system without hard links: check, then rename, which leaves a moment's gap.
  if (pathExists(to)) {
    errno = EEXIST;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

std::string temporaryPathFor(const std::string &path) {
  return path + ".surf-probe-" + std::to_string(SURF_PROBE_PID) + ".tmp";
}

OutputTarget::OutputTarget(const std::string &path, bool force) : path_(path), force_(force) {
  if (path_.empty()) {
    file_ = stdout;
    return;
  }
  if (!force_ && pathExists(path_))
    throw InputError("-o '" + path_ + "': the file exists; pass --force to replace it");
  temporary_ = temporaryPathFor(path_);
  file_ = createNew(temporary_);
  if (file_ == nullptr)
    throw ToolFailure("-o '" + path_ + "': cannot create '" + temporary_ +
                      "': " + std::strerror(errno));
}

OutputTarget::~OutputTarget() {
  if (toStandardOutput() || committed_) return;
  if (file_ != nullptr) std::fclose(file_);
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void OutputTarget::write(const std::string &text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    const std::string where = toStandardOutput() ? "standard output" : "'" + temporary_ + "'";
    throw ToolFailure("writing " + where + " failed: " + std::strerror(errno));
  }
}

std::string OutputTarget::handOver() {
  if (file_ != nullptr && std::fclose(file_) != 0)
    throw ToolFailure("closing '" + temporary_ + "' failed: " + std::strerror(errno));
  file_ = nullptr;
  return temporary_;
}

void OutputTarget::commit() {
  if (toStandardOutput()) {
    if (std::fflush(stdout) != 0)
      throw ToolFailure(std::string("writing standard output failed: ") + std::strerror(errno));
    return;
  }
  const bool closed = file_ == nullptr || std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) throw ToolFailure("writing '" + temporary_ + "' failed: " + std::strerror(errno));
  if (!force_) {
    // The file may have appeared while we were computing: it is kept, not replaced.
    if (!moveIntoPlaceIfFree(temporary_, path_)) {
      if (errno == EEXIST)
        throw InputError("-o '" + path_ + "': the file exists; pass --force to replace it");
      throw ToolFailure("-o '" + path_ + "': cannot move the finished output into place: " +
                        std::strerror(errno));
    }
    committed_ = true;
    return;
  }
  std::error_code error;
  fs::rename(temporary_, path_, error);
  if (error)
    throw ToolFailure("-o '" + path_ +
                      "': cannot move the finished output into place: " + error.message());
  committed_ = true;
}

}  // namespace probe
