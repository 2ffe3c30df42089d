// The Windows entry routine. Its name, linkage and calling convention must match exactly: if
// they do not, the linker silently supplies a default one and hostPointer is never reset.
#include <windows.h>

#include "plugin/evaluate.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) surf::hostPointer = nullptr;
  return TRUE;
}
