#include "tools/probe/plugin_loader.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace probe {

#if defined(_WIN32)
const char *const kPluginFileName = "surf.dll";
#else
const char *const kPluginFileName = "surf.so";
#endif

namespace {

// Directory part of a path, separator included.
std::string directoryOf(const std::string &path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A relative file name would send the loader searching the system's library paths; a host
// loads exactly the file it was given, so the path is made absolute first.
std::string absolutePath(const std::string &path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

#if defined(_WIN32)
std::string lastErrorText() {
  const DWORD code = GetLastError();
  char *text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string message = text ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}
#endif

}  // namespace

std::string executableDirectory() {
#if defined(_WIN32)
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return directoryOf(std::string(buffer, length));
#else
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : directoryOf(self.string());
#endif
}

PluginLibrary::~PluginLibrary() { close(); }

void PluginLibrary::close() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
  initDll_ = nullptr;
  evaluateCoating_ = nullptr;
}

std::string PluginLibrary::open(const std::string &path) {
  close();
  path_ = absolutePath(path);
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path_.c_str());
  if (module == nullptr) return "cannot load: " + lastErrorText();
  handle_ = module;
  // GetProcAddress returns a generic FARPROC; the cast through void * names the real type.
  const auto bind = [module](const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(module, name));
  };
#else
  // RTLD_LOCAL: the plug-in's symbols stay its own, as they do in a host.
  void *library = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char *reason = dlerror();
    return std::string("cannot load: ") + (reason ? reason : "unknown reason");
  }
  handle_ = library;
  const auto bind = [library](const char *name) { return dlsym(library, name); };
#endif
  void *init = bind("fnInitDll");
  void *evaluate = bind("fnEvaluateCoating");
  if (init == nullptr || evaluate == nullptr) {
    const char *missing = init == nullptr ? "fnInitDll" : "fnEvaluateCoating";
    close();
    return std::string("the library does not export ") + missing;
  }
  initDll_ = reinterpret_cast<FnInitDll>(init);
  evaluateCoating_ = reinterpret_cast<FnEvaluateCoating>(evaluate);
  return std::string();
}

}  // namespace probe
