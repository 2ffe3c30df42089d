# surf-probe.exe under Wine names the dataset a DLL records in its version resource:
#
#   cmake -DWINE=<wine> -DPROBE=<surf-probe.exe> -DPLUGIN=<surf.dll> -DNAME=<dataset name>
#         -DDATA=<data file> -P run_probe_identity.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT WINE OR NOT EXISTS "${WINE}")
  message("windows_wine_probe_identity: skipped: Wine not found (apt-get install -y wine wine64)")
  return()
endif()
file(SHA256 "${DATA}" digest)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
# Under qemu's i386 emulation, as for the cross-check (tests/windows/run.sh).
if(NOT DEFINED ENV{QEMU_RESERVED_VA})
  set(ENV{QEMU_RESERVED_VA} 0xffff0000)
endif()
execute_process(COMMAND ${WINE} ${PROBE} --plugin ${PLUGIN}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(expected "dataset ${NAME}, data file SHA-256 ${digest}")
string(FIND "${out}" "${expected}" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  message("${out}${err}")
  message(FATAL_ERROR "surf-probe.exe did not report '${expected}' (exit status ${rc})")
endif()
message("windows_wine_probe_identity: surf-probe.exe reports ${expected}")
