# Runs surf-crosscheck.exe under Wine against the results of the native build with the same
# dataset:
#
#   cmake -DWINE=<wine> -DHOST=<surf-crosscheck.exe> -DPLUGIN=<surf.dll>
#         -DREFERENCE_DIR=<native build tree> -DWORK=<scratch dir> -P run_crosscheck.cmake
#
# The native tree's own surf-crosscheck writes the reference with its surf.so; the Windows host
# then evaluates the same hits with the DLL and compares. Without Wine the test is skipped.
cmake_minimum_required(VERSION 3.20)

foreach(var HOST PLUGIN REFERENCE_DIR WORK)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_crosscheck.cmake: ${var} not given")
  endif()
endforeach()
if(NOT WINE OR NOT EXISTS "${WINE}")
  message("windows_wine_crosscheck: skipped: Wine not found (apt-get install -y wine wine64)")
  return()
endif()

set(native_host ${REFERENCE_DIR}/surf-crosscheck)
set(native_plugin ${REFERENCE_DIR}/surf.so)
if(NOT EXISTS ${native_host} OR NOT EXISTS ${native_plugin})
  message(FATAL_ERROR "The native reference build ${REFERENCE_DIR} has no surf.so and "
          "surf-crosscheck: build it first (cmake --preset native && cmake --build --preset "
          "native, or native-b for datasetB), or point SURF_REFERENCE_BUILD_DIR elsewhere.")
endif()

set(reference ${WORK}/reference.txt)
file(REMOVE ${reference})
execute_process(COMMAND ${native_host} dump ${native_plugin} ${reference} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "The native reference run failed (${rc})")
endif()

# Quiet Wine, and no prompts to install .NET or a browser engine into a new prefix.
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
# Under qemu's i386 emulation (a kernel without 32-bit programs) Wine needs its fixed addresses
# reserved from the start; see tests/windows/run.sh.
if(NOT DEFINED ENV{QEMU_RESERVED_VA})
  set(ENV{QEMU_RESERVED_VA} 0xffff0000)
endif()
string(TIMESTAMP started "%s")
execute_process(COMMAND ${WINE} ${HOST} check ${PLUGIN} ${reference}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")
message("${out}")
message("windows_wine_crosscheck: Wine run took ${seconds} s")
# The exit status alone is not trusted: a run that crashed can end with 0 under Wine.
if(NOT rc EQUAL 0 OR NOT out MATCHES "\nsurf-crosscheck check: [^\n]* 0 failed\n")
  message("${err}")
  message(FATAL_ERROR "surf-crosscheck under Wine failed (exit status ${rc})")
endif()
