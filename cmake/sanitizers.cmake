# Sanitized builds of the whole project: every target, the plug-in included, is compiled and
# linked with the sanitizers named in SURF_SANITIZE (a list: address;undefined, or thread).
#
# Brought in by the asan and tsan presets through CMAKE_PROJECT_INCLUDE, so it runs right after
# project() and before any target is defined:
#
#   cmake -S . -B build/x -DCMAKE_CXX_COMPILER=clang++ -DSURF_SANITIZE="address;undefined" \
#         -DCMAKE_PROJECT_INCLUDE=cmake/sanitizers.cmake
#
# Any report stops the program: -fno-sanitize-recover=all, and the test presets set
# ASAN_OPTIONS, UBSAN_OPTIONS and TSAN_OPTIONS accordingly.
#
# The plug-in is a module loaded with dlopen. An instrumented module calls into the sanitizer
# runtime, which lives in the executable that loads it (the test programs link it statically
# and export its entry points), so the module must be allowed undefined symbols: the
# plug-in's -Wl,--no-undefined is overridden for surf in these builds only. Such a surf.so
# works only inside a sanitized host, which is what the tests are.

if(NOT SURF_SANITIZE)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "SURF_SANITIZE needs clang; configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

list(JOIN SURF_SANITIZE "," surf_sanitizers)
message(STATUS "surf: sanitizers ${surf_sanitizers}")
add_compile_options(-fsanitize=${surf_sanitizers} -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=${surf_sanitizers})
# The tests that compare evaluations bit for bit let a not-a-number match any not-a-number here
# (tests/support/bits.h, sameResult): instrumented, clang orders the operands of some sums
# differently in the plug-in and in the reference, which chooses between two not-a-numbers.
add_compile_definitions(SURF_ANY_NAN_MATCHES)

function(surf_sanitized_plugin_linkage)
  if(TARGET surf)
    target_link_options(surf PRIVATE -Wl,-z,undefs)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL surf_sanitized_plugin_linkage)
