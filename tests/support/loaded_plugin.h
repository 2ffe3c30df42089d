// loaded_plugin.h - the plug-in loaded by path and its two exports bound by name, as a host does
// it: dlopen on Linux, LoadLibrary on Windows.
#ifndef SURF_TESTS_SUPPORT_LOADED_PLUGIN_H
#define SURF_TESTS_SUPPORT_LOADED_PLUGIN_H

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "plugin/coating_records.h"

namespace surf_test {

struct LoadedPlugin {
  void *module = nullptr;  // the dlopen handle, or the HMODULE
  FnInitDll init = nullptr;
  FnEvaluateCoating evaluate = nullptr;
  std::string error;  // why the plug-in or an export is missing; empty when both are bound

  bool ok() const { return init != nullptr && evaluate != nullptr; }
};

// The address of the export called `name`, or null.
inline void *exportNamed(const LoadedPlugin &plugin, const char *name) {
#if defined(_WIN32)
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(plugin.module), name));
#else
  return dlsym(plugin.module, name);
#endif
}

// A path as this platform's file functions take it: under Wine a Unix path is a path on drive
// Z:, where Wine maps the root.
inline std::string platformPath(const char *path) {
  std::string p = path;
#if defined(_WIN32)
  if (!p.empty() && p[0] == '/') {
    for (char &c : p) c = c == '/' ? '\\' : c;
    p = "Z:" + p;
  }
#endif
  return p;
}

// Loads the plug-in at `path` and binds both exports. The module stays loaded for the life of
// the process.
inline LoadedPlugin loadPlugin(const char *path) {
  LoadedPlugin p;
  const std::string where = platformPath(path);
#if defined(_WIN32)
  p.module = reinterpret_cast<void *>(LoadLibraryA(where.c_str()));
  if (p.module == nullptr) {
    p.error = "cannot load " + where + ": error " + std::to_string(GetLastError());
    return p;
  }
#else
  p.module = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (p.module == nullptr) {
    p.error = "cannot load " + where + ": " + dlerror();
    return p;
  }
#endif
  p.init = reinterpret_cast<FnInitDll>(exportNamed(p, "fnInitDll"));
  p.evaluate = reinterpret_cast<FnEvaluateCoating>(exportNamed(p, "fnEvaluateCoating"));
  if (!p.ok()) p.error = where + " does not export both fnInitDll and fnEvaluateCoating by name";
  return p;
}

#if defined(SURF_PLUGIN_PATH)
// The plug-in of this build tree, loaded once.
inline const LoadedPlugin &builtPlugin() {
  static const LoadedPlugin p = loadPlugin(SURF_PLUGIN_PATH);
  return p;
}
#endif

}  // namespace surf_test

#endif
