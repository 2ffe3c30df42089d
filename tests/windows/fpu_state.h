// fpu_state.h - reading and setting the x87 control word and reading MXCSR.
//
// A host built with the Windows platform compiler runs with the x87 unit at 53-bit precision
// (control word 0x027f); the mingw-w64 start-up leaves 64-bit precision (0x037f). The test host
// sets 0x027f itself so that maths routines that run on the x87 round as they do under such a
// host, and it checks that the plug-in leaves both control registers as it found them.
#ifndef SURF_TESTS_WINDOWS_FPU_STATE_H
#define SURF_TESTS_WINDOWS_FPU_STATE_H

#if defined(__i386__) || defined(__x86_64__)
#define SURF_HAVE_X86_FPU 1

namespace fpu {

// Precision control 53 bits, round to nearest, all exceptions masked.
constexpr unsigned kHostX87Control = 0x027f;
// MXCSR bits 0-5 are sticky exception flags that any arithmetic may raise; the rest is control.
constexpr unsigned kMxcsrControlMask = 0xffc0;

inline unsigned x87Control() {
  unsigned short cw;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}

inline void setX87Control(unsigned value) {
  unsigned short cw = static_cast<unsigned short>(value);
  __asm__ __volatile__("fldcw %0" : : "m"(cw));
}

inline unsigned mxcsrControl() {
  unsigned v;
  __asm__ __volatile__("stmxcsr %0" : "=m"(v));
  return v & kMxcsrControlMask;
}

}  // namespace fpu

#else
#define SURF_HAVE_X86_FPU 0
#endif

#endif
