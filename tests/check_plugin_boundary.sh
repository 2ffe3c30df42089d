#!/bin/sh
# The plug-in exports exactly fnInitDll and fnEvaluateCoating and needs nothing beyond the C
# runtime and the maths library: a host machine need not have the C++ or GCC runtimes.
set -u
plugin=$1
status=0

exports=$(nm -D --defined-only "$plugin" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$exports" != "fnEvaluateCoating fnInitDll " ]; then
  echo "$plugin: exports '$exports', expected exactly 'fnEvaluateCoating fnInitDll'"
  status=1
fi

needed=$(readelf -d "$plugin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
for lib in $needed; do
  case $lib in
    libc.so.*|libm.so.*) ;;
    *) echo "$plugin: needs $lib; only libc and libm are allowed"; status=1 ;;
  esac
done

# Writable relocated data would mean the table is not read in place from read-only data.
if readelf -S -W "$plugin" | grep -q '\.data\.rel\.ro'; then
  hex=$(readelf -S -W "$plugin" | awk '$2 == ".data.rel.ro" {print $6}')
  size=$((0x${hex:-0}))
  if [ "$size" -gt 4096 ]; then
    echo "$plugin: $size bytes of relocated data; the table belongs in .rodata"
    status=1
  fi
fi

[ $status -eq 0 ] && echo "$plugin: exports and imports as expected ($needed)"
exit $status
