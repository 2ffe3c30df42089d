# Compiler and linker settings that every target computing a coating result shares.

# Results are compared bit for bit: each product and sum is rounded by itself (no contraction
# into fused multiply-adds, nothing that -ffast-math would allow), and on 32-bit x86 all double
# arithmetic runs in SSE2 so the x87 precision the host left cannot change a result. sin and cos
# are never folded at compile time, nor merged into one call by the compiler: the maths library
# gives them, and the code takes both from one sincos call itself only where that is shown to
# give the same bits (mueller/mueller.h).
function(surf_exact_arithmetic target)
  target_compile_options(${target} PRIVATE
    -ffp-contract=off -fno-fast-math -fno-builtin-sin -fno-builtin-cos -fno-builtin-sincos
    -fno-exceptions -fno-rtti -fvisibility=hidden -fvisibility-inlines-hidden
    -Wall -Wextra)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "i.86|x86")
    target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
  endif()
  # GCC leaves instruction scheduling before register allocation off on x86; an evaluation is
  # long chains of dependent arithmetic between maths calls, and spreading the independent
  # operations among them makes it about 2 % faster. Scheduling reorders instructions, never
  # the operations of a sum or a product, so the results keep their bits.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fschedule-insns -fsched-pressure)
  endif()
endfunction()

# The plug-in links nothing but the C runtime: the GCC support libraries go in statically and
# whatever is not used is dropped.
function(surf_plugin_linkage target)
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/plugin/dllmain.cpp
                                     ${PROJECT_SOURCE_DIR}/plugin/surf.def)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  else()
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -Wl,--as-needed
                                          -Wl,--no-undefined)
  endif()
endfunction()
