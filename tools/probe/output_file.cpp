#include "tools/probe/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/probe/errors.h"

#if defined(_WIN32)
#include <process.h>
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
  file_ = std::fopen(temporary_.c_str(), "wb");
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
  // Checked again: the file may have appeared while we were computing.
  if (!force_ && pathExists(path_))
    throw InputError("-o '" + path_ + "': the file exists; pass --force to replace it");
  std::error_code error;
  fs::rename(temporary_, path_, error);
  if (error)
    throw ToolFailure("-o '" + path_ +
                      "': cannot move the finished output into place: " + error.message());
  committed_ = true;
}

}  // namespace probe
