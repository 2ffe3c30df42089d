// The Windows entry routine. Its name, linkage and calling convention must match exactly: if
// they do not, the linker silently supplies a default one and hostPointer is never reset.
#include <windows.h>

#include "plugin/evaluate.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) surf::hostPointer = nullptr;
  return TRUE;
}

// The mingw-w64 runtime's TLS callback calls _fpreset when a thread attaches; its default (an
// fninit) would put the x87 unit back to 64-bit precision in that thread. The library never
// touches the floating-point control the host has set, so this one does nothing, and the
// runtime's is not linked in at all.
extern "C" void _fpreset(void) {}
