// errors.h - the two ways a surf-probe run can fail, and the exit status each one gives.
#ifndef SURF_PROBE_ERRORS_H
#define SURF_PROBE_ERRORS_H

#include <stdexcept>
#include <string>

namespace probe {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;   // the environment let us down: a write failed, no gnuplot, ...
constexpr int kExitBadInput = 2;  // the user asked for something we cannot do as asked

// Bad options, bad numbers, a malformed input row, a plug-in that cannot be loaded: the message
// names the option, file, line or column and says what is wrong.
struct InputError : std::runtime_error {
  explicit InputError(const std::string &message) : std::runtime_error(message) {}
};

// Everything else that stops a run: the message says what failed and, where it helps, how to fix
// it.
struct ToolFailure : std::runtime_error {
  explicit ToolFailure(const std::string &message) : std::runtime_error(message) {}
};

}  // namespace probe

#endif
