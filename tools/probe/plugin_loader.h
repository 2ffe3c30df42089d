// plugin_loader.h - loads a coating plug-in by path and binds its two exports by name, the way
// a host application does. The only platform-specific code of surf-probe lives behind this.
#ifndef SURF_PROBE_PLUGIN_LOADER_H
#define SURF_PROBE_PLUGIN_LOADER_H

#include <string>

#include "plugin/coating_records.h"

namespace probe {

// The plug-in's file name on this platform: surf.dll or surf.so.
extern const char *const kPluginFileName;

// The directory holding the running executable, with a trailing separator; empty if the
// platform will not say.
std::string executableDirectory();

class PluginLibrary {
 public:
  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary &) = delete;
  PluginLibrary &operator=(const PluginLibrary &) = delete;
  ~PluginLibrary();

  // Loads the library at `path` and binds fnInitDll and fnEvaluateCoating. Returns an empty
  // string on success, otherwise what went wrong (the system's reason, or the missing symbol).
  std::string open(const std::string &path);

  FnInitDll initDll() const { return initDll_; }
  FnEvaluateCoating evaluateCoating() const { return evaluateCoating_; }
  const std::string &path() const { return path_; }

 private:
  void close();

  void *handle_ = nullptr;
  FnInitDll initDll_ = nullptr;
  FnEvaluateCoating evaluateCoating_ = nullptr;
  std::string path_;
};

}  // namespace probe

#endif
