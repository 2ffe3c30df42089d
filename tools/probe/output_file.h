// output_file.h - where a command's results go: standard output, or a file that appears only
// once the run has succeeded.
#ifndef SURF_PROBE_OUTPUT_FILE_H
#define SURF_PROBE_OUTPUT_FILE_H

#include <cstdio>
#include <string>

namespace probe {

// Results are written to a temporary file beside `path` and renamed over it by commit(), so a
// run that stops half-way leaves the user's file as it was; the temporary file is removed when
// the run fails, and by the signal handler of process.h when a signal ends it. Without `force`
// an existing file is never replaced. With `force` only a regular file is (never a link, a
// directory, a FIFO or a device), and the new file keeps its permission bits and owner. While
// it is being written the temporary file is readable by its owner only; a new file gets the
// usual permissions (0666 less the umask) when it is put in place.
class OutputTarget {
 public:
  // `path` empty: standard output (nothing to commit). Throws InputError when `path` exists
  // and `force` is false, or it is not a regular file; ToolFailure when the temporary file
  // cannot be created.
  OutputTarget(const std::string &path, bool force);
  OutputTarget(const OutputTarget &) = delete;
  OutputTarget &operator=(const OutputTarget &) = delete;
  // Removes the temporary file of a run that did not commit.
  ~OutputTarget();

  // Throws ToolFailure when the write fails (disk full, closed pipe, ...).
  void write(const std::string &text);
  // Flushes and puts the file in place. Throws ToolFailure if that fails.
  void commit();

  // For output another program writes (gnuplot's PNG): closes our handle on the temporary
  // file and returns its path; the other program replaces its content, commit() still puts it
  // in place. Not for standard output.
  std::string handOver();

  bool toStandardOutput() const { return path_.empty(); }
  const std::string &path() const { return path_; }
  const std::string &temporaryPath() const { return temporary_; }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE *file_ = nullptr;
  bool force_ = false;
  bool committed_ = false;
};

// The name of the temporary file for `path`: in the same directory (so the rename stays on one
// file system), unique to this process.
std::string temporaryPathFor(const std::string &path);

}  // namespace probe

#endif
