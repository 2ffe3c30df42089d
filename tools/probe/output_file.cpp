#include "tools/probe/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/probe/errors.h"
#include "tools/probe/input_text.h"
#include "tools/probe/process.h"

#include <fcntl.h>
#include <sys/stat.h>

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

// What stands at `path`, in the words of a refusal; empty for a regular file (or nothing).
std::string nonRegularKind(const std::string &path) {
  std::error_code error;
  switch (fs::symlink_status(path, error).type()) {
    case fs::file_type::not_found:
    case fs::file_type::regular: return "";
    case fs::file_type::symlink: return "a symbolic link";
    case fs::file_type::directory: return "a directory";
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::character: return "a character device";
    case fs::file_type::block: return "a block device";
    case fs::file_type::socket: return "a socket";
    default: return error ? "something that cannot be examined (" + error.message() + ")"
                          : "not a regular file";
  }
}

// Creates `path` for writing, readable by its owner only, failing if anything (a file, a link)
// is already there, so a name that happens to be taken is never truncated or followed.
std::FILE *createNew(const std::string &path) {
#if defined(_WIN32)
  const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  return fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
}

// --force replaces a regular file and nothing else: renaming over a link, a FIFO or a device
// node would destroy it (and as root, replace /dev/full by a file).
void refuseUnlessRegular(const std::string &path) {
  const std::string kind = nonRegularKind(path);
  if (!kind.empty())
    throw InputError("-o " + inQuotes(path) + ": is " + kind +
                     "; --force replaces only a regular file");
}

// The finished file takes the permission bits (not set-user-ID, set-group-ID or sticky) and
// owner of the file it replaces, so private results stay private. Throws ToolFailure (and the user's file stays as it was) when either
// cannot be kept.
void takeModeAndOwner(const std::string &temporary, const std::string &replaced) {
#if defined(_WIN32)
  (void)temporary, (void)replaced;
#else
  struct stat existing;
  const std::string name = "-o " + inQuotes(replaced);
  if (stat(replaced.c_str(), &existing) != 0)
    throw ToolFailure(name + ": cannot read its permissions: " + std::strerror(errno));
  if (chown(temporary.c_str(), existing.st_uid, existing.st_gid) != 0)
    throw ToolFailure(name + ": cannot give the new file the owner of the one it replaces (" +
                      std::strerror(errno) + "); the file was left as it was");
  if (chmod(temporary.c_str(), existing.st_mode & 0777) != 0)
    throw ToolFailure(name + ": cannot give the new file the permissions of the one it replaces (" +
                      std::strerror(errno) + "); the file was left as it was");
#endif
}

// A file the run creates gets the permissions any new file gets: 0666 less the umask.
void giveNewFileMode(const std::string &temporary) {
#if defined(_WIN32)
  (void)temporary;
#else
  const mode_t mask = umask(0);
  umask(mask);
  chmod(temporary.c_str(), 0666 & ~mask);
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
  const std::string name = "-o " + inQuotes(path_);
  if (pathExists(path_)) {
    if (!force_) throw InputError(name + ": the file exists; pass --force to replace it");
    refuseUnlessRegular(path_);
  }
  temporary_ = temporaryPathFor(path_);
  if (!registerTemporaryFile(temporary_))
    throw ToolFailure(name + ": the file name is too long");
  file_ = createNew(temporary_);
  if (file_ == nullptr) {
    const int reason = errno;
    forgetTemporaryFile(temporary_);
    throw ToolFailure(name + ": cannot create " + inQuotes(temporary_) + ": " +
                      std::strerror(reason));
  }
}

OutputTarget::~OutputTarget() {
  if (toStandardOutput() || committed_) return;
  if (file_ != nullptr) std::fclose(file_);
  std::error_code ignored;
  fs::remove(temporary_, ignored);
  forgetTemporaryFile(temporary_);
}

void OutputTarget::write(const std::string &text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    const std::string where = toStandardOutput() ? "standard output" : inQuotes(temporary_);
    throw ToolFailure("writing " + where + " failed: " + std::strerror(errno));
  }
}

std::string OutputTarget::handOver() {
  if (file_ != nullptr && std::fclose(file_) != 0)
    throw ToolFailure("closing " + inQuotes(temporary_) + " failed: " + std::strerror(errno));
  file_ = nullptr;
  return temporary_;
}

void OutputTarget::commit() {
  if (toStandardOutput()) {
    if (std::fflush(stdout) != 0)
      throw ToolFailure(std::string("writing standard output failed: ") + std::strerror(errno));
    return;
  }
  const std::string name = "-o " + inQuotes(path_);
  const bool closed = file_ == nullptr || std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed)
    throw ToolFailure("writing " + inQuotes(temporary_) + " failed: " + std::strerror(errno));
  if (!force_ || !pathExists(path_)) {
    giveNewFileMode(temporary_);
    // The file may have appeared while we were computing: it is kept, not replaced.
    if (!moveIntoPlaceIfFree(temporary_, path_)) {
      if (errno == EEXIST) throw InputError(name + ": the file exists; pass --force to replace it");
      throw ToolFailure(name + ": cannot move the finished output into place: " +
                        std::strerror(errno));
    }
  } else {
    // Checked again: what stands there now is what the rename replaces.
    refuseUnlessRegular(path_);
    takeModeAndOwner(temporary_, path_);
    std::error_code error;
    fs::rename(temporary_, path_, error);
    if (error)
      throw ToolFailure(name + ": cannot move the finished output into place: " + error.message());
  }
  committed_ = true;
  forgetTemporaryFile(temporary_);
}

}  // namespace probe
