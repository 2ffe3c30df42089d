# Shared part of the mingw-w64 cross toolchains. The including file sets SURF_MINGW_TRIPLE
# (x86_64-w64-mingw32 or i686-w64-mingw32) and SURF_MINGW_PROCESSOR before including this.
#
# Debian ships each mingw-w64 compiler in two thread variants, -win32 and -posix. The plug-in
# starts no threads, so either serves; the win32 variant is taken first because it needs no
# threading library at all. With the posix variant the plug-in's -static link keeps
# libwinpthread-1.dll out of the import table.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SURF_MINGW_PROCESSOR})

set(SURF_MINGW_THREADS "" CACHE STRING
    "Thread variant of the ${SURF_MINGW_TRIPLE} compilers: win32, posix, or empty to pick one")
# The compiler checks' own projects read this file again and must pick the same compiler.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SURF_MINGW_THREADS)

set(_surf_candidates)
if(SURF_MINGW_THREADS)
  list(APPEND _surf_candidates -${SURF_MINGW_THREADS})
else()
  list(APPEND _surf_candidates -win32 -posix "")
endif()

unset(_surf_cxx)
foreach(suffix IN LISTS _surf_candidates)
  find_program(_surf_found_cxx NAMES ${SURF_MINGW_TRIPLE}-g++${suffix} NO_CACHE)
  find_program(_surf_found_cc NAMES ${SURF_MINGW_TRIPLE}-gcc${suffix} NO_CACHE)
  if(_surf_found_cxx AND _surf_found_cc)
    set(_surf_cxx ${_surf_found_cxx})
    set(_surf_cc ${_surf_found_cc})
    break()
  endif()
  unset(_surf_found_cxx)
  unset(_surf_found_cc)
endforeach()
if(NOT _surf_cxx)
  message(FATAL_ERROR
    "No ${SURF_MINGW_TRIPLE} C++ compiler found. On Debian or Ubuntu: apt-get install -y mingw-w64")
endif()

set(CMAKE_C_COMPILER ${_surf_cc})
set(CMAKE_CXX_COMPILER ${_surf_cxx})
find_program(CMAKE_RC_COMPILER NAMES ${SURF_MINGW_TRIPLE}-windres)
find_program(CMAKE_OBJDUMP NAMES ${SURF_MINGW_TRIPLE}-objdump)
find_program(CMAKE_NM NAMES ${SURF_MINGW_TRIPLE}-nm)

# Look for headers and libraries in the target's tree only (beside the compiler's bin directory,
# <prefix>/<triple>), for programs on the build machine.
get_filename_component(_surf_bin "${_surf_cxx}" DIRECTORY)
get_filename_component(_surf_prefix "${_surf_bin}" DIRECTORY)
set(CMAKE_FIND_ROOT_PATH ${_surf_prefix}/${SURF_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine when CMake or CTest needs to run them.
find_program(SURF_WINE NAMES wine wine64)
if(SURF_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SURF_WINE})
endif()
