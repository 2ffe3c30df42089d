#!/bin/sh
# Checks a Windows build of the plug-in as the Windows loader and a host see it, from its PE
# headers, symbols and code:
#
#   check_pe.sh <objdump> <nm> <surf.dll> <32|64> <dataset name> <data file>
#
# - the right image format for the target;
# - imports from KERNEL32.dll and msvcrt.dll only (no GCC runtime or threading DLLs);
# - an export table named surf.dll with ordinal base 2 and exactly two entries, fnInitDll @2
#   and fnEvaluateCoating @3, undecorated, each pointing at the function of that name;
# - the entry point is the C runtime's DLL start-up, and the DllMain it calls is the library's
#   own (the one that clears the kept host pointer), not a default one supplied by the linker;
# - no instruction anywhere in the image loads the x87 control word or MXCSR or resets the x87;
# - the library's own code has no fused multiply-add and, on 32-bit, no x87 arithmetic; on
#   32-bit the two exports leave their arguments to the caller (C calling convention);
# - a version resource naming the dataset and the SHA-256 of its data file, as Explorer's
#   properties dialog shows it (file description, product version, comment).
set -u

if [ $# -ne 6 ]; then
  echo "usage: check_pe.sh <objdump> <nm> <surf.dll> <32|64> <dataset name> <data file>" >&2
  exit 2
fi
objdump=$1
nm=$2
dll=$3
bits=$4
dataset=$5
data_file=$6

passed=0
failed=0
pass() { echo "ok   $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
expect() {  # expect <what> <expected> <actual>
  if [ "$2" = "$3" ]; then pass "$1: $3"; else fail "$1: expected '$2', found '$3'"; fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$objdump" -p "$dll" >"$work/headers" || { echo "FAIL cannot read $dll"; exit 1; }
"$objdump" -d --no-show-raw-insn "$dll" >"$work/code" || { echo "FAIL cannot disassemble"; exit 1; }
"$nm" "$dll" >"$work/symbols" || { echo "FAIL cannot list symbols"; exit 1; }

# C symbols carry a leading underscore on 32-bit, and stdcall ones an @N suffix.
if [ "$bits" = 32 ]; then u=_; format='(PE32)'; dllmain=_DllMain@12; entry=_DllMainCRTStartup@12
else u=; format='(PE32+)'; dllmain=DllMain; entry=DllMainCRTStartup; fi

header() { awk -v key="$1" '$1 == key { print $2; exit }' "$work/headers"; }
symbol() {  # the address of symbol $1, as a number
  a=$(awk -v name="$1" '$3 == name && $2 ~ /^[TtBbDdRr]$/ { print $1; exit }' "$work/symbols")
  [ -n "$a" ] && echo $((0x$a))
}
function_code() {  # the disassembly of the function at address $1 (a number)
  if [ "$bits" = 32 ]; then at=$(printf '%08x' "$1"); else at=$(printf '%016x' "$1"); fi
  awk -v at="$at" '$1 == at && $2 ~ /^<.*>:$/ { f = 1; next } f && /^$/ { exit } f' "$work/code"
}

expect "image format" "$format" "$(awk '$1 == "Magic" { print $3; exit }' "$work/headers")"

imports=$(awk '/DLL Name:/ { print $3 }' "$work/headers" | sort | tr '\n' ' ')
expect "imported DLLs" "KERNEL32.dll msvcrt.dll " "$imports"

expect "export table name" "surf.dll" "$(awk '$1 == "Name" { print $3; exit }' "$work/headers")"
expect "ordinal base" "2" "$(awk '$1 == "Ordinal" && $2 == "Base" { print $3; exit }' "$work/headers")"

# Export Address Table lines: "[   0] +base[   2] 1370 Export RVA"
addresses=$(sed -n 's/^[[:space:]]*\[ *[0-9]*\] +base\[ *\([0-9]*\)\] \([0-9a-f]*\) Export RVA$/\1 \2/p' \
  "$work/headers")
expect "exported ordinals" "2 3 " "$(echo "$addresses" | awk 'NF { printf "%s ", $1 }')"

# Name table lines after "[Ordinal/Name Pointer] Table": "[   1] fnEvaluateCoating", the index
# counting from the ordinal base.
names=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { f = 1; next } f && /^[[:space:]]*$/ { exit }
  f { line = $0; sub(/^[[:space:]]*\[ */, "", line); split(line, p, /\] /); print p[1] + 2, p[2] }' \
  "$work/headers" | sort -n | tr '\n' ',')
expect "exported names" "2 fnInitDll,3 fnEvaluateCoating," "$names"

base=$((0x$(header ImageBase)))
for export in "2 fnInitDll" "3 fnEvaluateCoating"; do
  ordinal=${export% *}
  name=${export#* }
  rva=$(echo "$addresses" | awk -v o="$ordinal" '$1 == o { print $2 }')
  at=$(symbol "$u$name")
  if [ -n "$rva" ] && [ -n "$at" ] && [ $((base + 0x$rva)) -eq "$at" ]; then
    pass "ordinal $ordinal is the code of $name"
  else
    fail "ordinal $ordinal (RVA ${rva:-none}) is not the code of $name"
  fi
done

entry_rva=$(header AddressOfEntryPoint)
entry_at=$(symbol "$entry")
if [ -n "$entry_at" ] && [ $((base + 0x$entry_rva)) -eq "$entry_at" ]; then
  pass "entry point is $entry"
else
  fail "entry point (RVA $entry_rva) is not $entry"
fi

# The library's DllMain stores to surf::hostPointer, directly (32-bit) or through the
# linker's reference pointer to it (64-bit); the default one from the runtime returns 1 and
# does nothing. A DllMain with C++ linkage would leave the default one in place and show up
# as a second, mangled symbol.
others=$(awk '{ print $3 }' "$work/symbols" | grep DllMain |
  grep -v -x -e "$dllmain" -e "$entry" -e '_*DllMainCRTStartup' -e '_*native_dllmain_reason' \
    -e '\.refptr\._*native_dllmain_reason' -e '\.rdata\$\.refptr\._*native_dllmain_reason' |
  tr '\n' ' ')
expect "other DllMain symbols" "" "$others"
targets=""
for s in "${u}_ZN4surf11hostPointerE" ".refptr.${u}_ZN4surf11hostPointerE"; do
  a=$(symbol "$s")
  [ -n "$a" ] && targets="$targets $(printf '%x' "$a")"
done
main_at=$(symbol "$dllmain")
main_code=$([ -n "$main_at" ] && function_code "$main_at")
found=no
for t in $targets; do
  if echo "$main_code" | grep -q -i -e "0x$t\b" -e "# *0*$t <"; then found=yes; fi
done
if [ -n "$main_code" ] && [ -n "$targets" ] && [ $found = yes ]; then
  pass "$dllmain is the library's own: it writes surf::hostPointer"
else
  fail "$dllmain does not write surf::hostPointer: not the library's DllMain"
fi

# Nothing may change the floating-point control. This is checked in the code because a run
# cannot show all of it: Wine gives a new thread its initial FPU state back after the DLLs'
# thread-attach calls, so a DLL that changed it there would go unnoticed under Wine.
fpu=$(awk '/^[0-9a-f]+ <.*>:$/ { f = $2 }
  $0 ~ /\t(fldcw|fninit|finit|ldmxcsr|vldmxcsr|fldenv|fnldenv|frstor|fxrstor|fxrstor64|xrstor|xrstors)[ \t]/ ||
  $0 ~ /\t(fninit|finit)$/ { print f }' "$work/code" | sort -u | tr '\n' ' ')
expect "code that loads the FPU control" "" "$fpu"

# The library's own functions: C exports, DllMain and everything in namespace surf.
own=$(awk '/^[0-9a-f]+ <.*>:$/ { n = $2; sub(/^</, "", n); sub(/>:$/, "", n)
    own = (n ~ /^_*(fnInitDll|fnEvaluateCoating|DllMain(@12)?)$/ || n ~ /^_*ZN4surf/); next }
  own' "$work/code")
mnemonics() {  # the instructions of the code on stdin, one mnemonic a line
  awk -F'\t' 'NF >= 2 { split($2, w, " "); if (w[1] != "") print w[1] }'
}
if [ -z "$own" ]; then
  fail "the library's own functions were not found in the code"
else
  fused=$(echo "$own" | mnemonics | grep -c -E '^vf(n)?m(add|sub)' || true)
  expect "fused multiply-adds in the library's code" "0" "$fused"
  if [ "$bits" = 32 ]; then
    # Loads and stores (fld, fstp, fldz, fld1) are how a double comes back in ST(0), and GCC
    # takes a double's magnitude with fld/fabs/fstp; these are exact whatever the precision
    # setting, as are comparisons. What rounds on the x87 is arithmetic SSE2 should have done.
    x87=$(echo "$own" | mnemonics | grep -E '^f(i?(add|sub|subr|mul|div|divr)[pslt]?|sqrt|sin|cos|sincos|patan|ptan|prem1?|scale|rndint|xtract|2xm1|yl2x|yl2xp1)$' |
      sort | uniq -c | awk '{ printf "%s x%s ", $2, $1 }')
    expect "x87 arithmetic in the library's code" "" "$x87"
    for export in "2 fnInitDll" "3 fnEvaluateCoating"; do
      rva=$(echo "$addresses" | awk -v o="${export% *}" '$1 == o { print $2 }')
      code=$([ -n "$rva" ] && function_code $((base + 0x$rva)))
      if [ -z "$code" ]; then
        fail "no code found for ${export#* }"
      elif echo "$code" | awk -F'\t' '$2 ~ /^ret[lw]? +\$/ { found = 1 } END { exit !found }'; then
        fail "${export#* } removes its arguments itself: not the C calling convention"
      else
        pass "${export#* } leaves its arguments to the caller"
      fi
    done
    decorated=$(awk '{ print $3 }' "$work/symbols" | grep -E '^_*fn(InitDll|EvaluateCoating)@[0-9]+$' |
      tr '\n' ' ')
    expect "stdcall-decorated export symbols" "" "$decorated"
  fi
fi

# The version resource: its strings are UTF-16 in the .rsrc section.
# Data directory line: "Entry 2 0000d000 000003b4 Resource Directory [.rsrc]"
resources=$(awk '$1 == "Entry" && /Resource Directory/ { print $4; exit }' "$work/headers")
if [ -n "$resources" ] && [ $((0x$resources)) -gt 0 ]; then pass "resource directory: $resources bytes"
else fail "no resource directory"; fi
digest=$(sha256sum "$data_file" | cut -d' ' -f1)
LC_ALL=C strings -a -el "$dll" >"$work/wide"
for want in "surf coating plug-in, dataset $dataset" "1.0.0 $dataset" \
            "Coating dataset $dataset, data file SHA-256 $digest" "$digest"; do
  if grep -qxF "$want" "$work/wide"; then pass "version string '$want'"
  else fail "no version string '$want'"; fi
done

echo "check_pe: $dll: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
