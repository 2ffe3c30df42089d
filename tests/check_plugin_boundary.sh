#!/bin/sh
# The plug-in exports exactly fnInitDll and fnEvaluateCoating and needs nothing beyond the C
# runtime and the maths library: a host machine need not have the C++ or GCC runtimes. It names
# its coating in a read-only note: the dataset's name and the SHA-256 of its data file.
#
#   check_plugin_boundary.sh <surf.so> <dataset name> <data file>
set -u
plugin=$1
dataset=$2
data_file=$3
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

# The note: allocated (so it is in the file as loaded), never writable, with both strings.
flags=$(readelf -S -W "$plugin" |
        awk '{ for (i = 1; i < NF; i++) if ($i == ".note.surf.dataset") print $(i + 1) " " $(i + 6) }')
if [ "$flags" != "NOTE A" ]; then
  echo "$plugin: note section .note.surf.dataset is '$flags', expected a read-only NOTE"
  status=1
fi
digest=$(sha256sum "$data_file" | cut -d' ' -f1)
strings_found=$(readelf -p .note.surf.dataset "$plugin" | sed -n 's/^ *\[ *[0-9a-f]*\]  //p')
for want in "dataset $dataset" "data-sha256 $digest"; do
  if ! printf '%s\n' "$strings_found" | grep -qx "$want"; then
    echo "$plugin: the dataset note lacks '$want'"
    status=1
  fi
done

[ $status -eq 0 ] && echo "$plugin: exports and imports as expected ($needed), $dataset noted"
exit $status
