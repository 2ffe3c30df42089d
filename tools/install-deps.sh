#!/usr/bin/env bash
# Installs, on Debian 12, what the builds and the tests use: compilers, CMake, GoogleTest,
# Google Benchmark, clang's sanitizer and fuzzer runtimes, the mingw-w64 cross compilers, Wine
# (64- and 32-bit), gnuplot and python3. Run as root (test.sh runs it when something is missing).
#
#   tools/install-deps.sh [S ...]      install what suites S of test.sh need (all by default)
#   tools/install-deps.sh --missing S  print, one a line, the packages that suites S need and
#                                      that are not installed (nothing when all are there), and
#                                      "i386-emulation" when 32-bit programs do not run here
#
# What the installation does when the package archive is not consistent is explained at
# pin_to_complete_indexes below.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C

# What each suite of test.sh needs beyond a shell: the native suites build with g++ and the
# benchmark library and run the probe's chart test with gnuplot and the data tools with python3;
# the sanitizer and fuzzer suites build with clang; the Windows suite cross-builds and runs Wine.
packages_for_suite() {
  case $1 in
    native | native-b)
      echo cmake make g++ libgtest-dev libbenchmark-dev python3 valgrind binutils gnuplot-nox ;;
    asan | tsan | fuzz) echo cmake make clang libclang-rt-14-dev libgtest-dev ;;
    windows) echo cmake make g++ binutils mingw-w64 wine wine64 wine32:i386 ;;
    *) echo "install-deps: unknown suite '$1'" >&2; return 2 ;;
  esac
}
all_suites=(native native-b asan tsan fuzz windows)

say() { echo "install-deps: $*" >&2; }

# Whether this machine runs 32-bit x86 programs, asked of the i386 dynamic loader that Wine's
# 32-bit half brings. Some kernels refuse them outright (a virtual machine whose host runs
# 64-bit code only answers every i386 execve with "Exec format error").
i386_loader=/lib/ld-linux.so.2
i386_runs() { "$i386_loader" --help >/dev/null 2>&1; }
binfmt=/proc/sys/fs/binfmt_misc
i386_emulator=/usr/bin/qemu-i386-static

if [ "${1:-}" = --missing ]; then
  shift
  [ $# -gt 0 ] || set -- "${all_suites[@]}"
  for suite in "$@"; do packages_for_suite "$suite" >/dev/null || exit 2; done
  for suite in "$@"; do packages_for_suite "$suite"; done | tr ' ' '\n' | sort -u |
    while read -r package; do
      status=$(dpkg-query -W -f '${Status}' "$package" 2>/dev/null || true)
      [ "$status" = "install ok installed" ] || echo "$package"
    done
  if [[ " $* " == *" windows "* ]] && [ -e "$i386_loader" ] && ! i386_runs; then
    echo "i386-emulation"
  fi
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  say "must run as root (sudo $0)"
  exit 1
fi
[ $# -gt 0 ] || set -- "${all_suites[@]}"
for suite in "$@"; do packages_for_suite "$suite" >/dev/null || exit 2; done
mapfile -t packages < <(for suite in "$@"; do packages_for_suite "$suite"; done |
                        tr ' ' '\n' | sort -u)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs an apt command, its output shown and kept in $work/log. apt waits up to two minutes for
# another apt or dpkg to let go of its lock. A failure that another attempt can cure (the lock
# still held, a network that did not answer, a server error, a download cut short) is tried
# again, up to five times, 20 s apart; any other failure is final at once. Only apt's error
# lines are read ("E: ...", "Err: ..." and the reason below it), so a package's size such as
# "[503 kB]" in a progress line is not taken for a server's "503  Service Unavailable".
apt_lock_wait=(-o DPkg::Lock::Timeout=120)
apt_step() {
  local attempt status
  for attempt in 1 2 3 4 5; do
    status=0
    "$@" 2>&1 | tee "$work/log" >&2 || status=$?
    [ "$status" -eq 0 ] && return 0
    if ! grep -E '^(E:|Err:|  )' "$work/log" |
         grep -qE 'Could not get lock|Unable to acquire the dpkg frontend lock|Unable to lock|Temporary failure resolving|Could not resolve|Connection timed out|Connection failed|Unable to connect|Could not connect|Network is unreachable|Connection reset|Undetermined Error|Error reading from server|50[0-4]  [A-Z]'; then
      return "$status"
    fi
    say "'$*' failed for a reason that may pass (attempt $attempt of 5)"
    [ "$attempt" -lt 5 ] && sleep 20
  done
  return "$status"
}

# Wine's 32-bit half comes from the i386 architecture.
if printf '%s\n' "${packages[@]}" | grep -q ':i386$'; then
  dpkg --add-architecture i386
fi

# An index that arrives with the wrong size or checksum is a mirror caught mid-sync. That is
# over within minutes, or it is not over at all (one index of the security suite has stayed
# so for days), so the update is tried once more after a short wait and then the lists are
# used as they are: the installation below can live with an index that is missing.
if ! apt_step apt-get "${apt_lock_wait[@]}" update; then
  if grep -qE 'unexpected size|Hash Sum mismatch|Mirror sync in progress' "$work/log"; then
    say "an index was caught mid-sync; trying the update once more in 30 s"
    sleep 30
    apt_step apt-get "${apt_lock_wait[@]}" update || say "going on with the package lists as they are"
  else
    say "going on with the package lists as they are"
  fi
fi

# pin_to_complete_indexes FILE: the fallback for an archive whose suites are not all complete.
#
# Wine's 32-bit half installs i386 copies of libraries such as zlib1g, and a library marked
# "Multi-Arch: same" must have the same version on both architectures. When one suite's index
# is missing for one architecture (the security suite's i386 index, say), the other
# architecture's index of that suite offers newer versions that the missing one cannot match,
# and the resolver gives up ("held broken packages"). So each such library that the
# foreign-architecture packages need is pinned, on both architectures, to the newest version
# the architecture without the index can install (the complete suites' version), and so are
# the packages built from the same source, which may depend on it at exactly its version.
# Nothing else is pinned. The pins go to FILE, after the machine's own preferences, and serve
# this one installation only. A library already installed at the newer version is downgraded
# only if the installation needs its other architecture. Prints the pinned libraries, one
# "package version-used suite-version" a line; prints nothing when there is nothing to pin.
pin_to_complete_indexes() {
  local pins=$1 architectures targets incomplete key missing files arch
  architectures=$(dpkg --print-architecture; dpkg --print-foreign-architectures)
  targets=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE) $(FILENAME)' \
              'Identifier: Packages')
  # Every suite and component with an index for some architecture but not for all.
  incomplete=$(awk -v archs="$architectures" '
    BEGIN { n = split(archs, a, "\n") }
    { key = $1 " " $2 " " $3; have[key, $4] = 1; file[key] = file[key] " " $5 }
    END {
      for (key in file) {
        missing = ""
        for (i = 1; i <= n; i++) if (!((key, a[i]) in have)) missing = missing " " a[i]
        if (missing != "") print key "|" missing "|" file[key]
      }
    }' <<<"$targets")
  [ -n "$incomplete" ] || return 0
  : >"$work/mismatched"
  : >"$work/binaries"
  while IFS='|' read -r key missing files; do
    say "no${missing} index of ${key}: its Multi-Arch libraries cannot be matched on${missing}"
    # package version source multi-arch, for every package of the suite
    for file in $files; do /usr/lib/apt/apt-helper cat-file "$file"; done |
      awk 'function emit() { if (p != "") print p, v, (s == "" ? p : s), (ma == "" ? "no" : ma) }
           /^Package:/ { p = $2; v = ""; s = ""; ma = "" }
           /^Version:/ { v = $2 } /^Source:/ { s = $2 } /^Multi-Arch:/ { ma = $2 }
           /^$/ { emit(); p = "" } END { emit() }' |
      sort -u >>"$work/binaries"
    for arch in $missing; do
      # The version each of the suite's libraries can have on the architecture without an index.
      # shellcheck disable=SC2046
      apt-cache policy $(awk -v arch="$arch" '$4 == "same" { print $1 ":" arch }' "$work/binaries") |
        awk '/^[^ ].*:$/ { sub(/:$/, ""); sub(/:[^:]*$/, ""); p = $0 }
             /^  Candidate:/ { if ($2 != "(none)") print p, $2 }' |
        awk 'NR == FNR { if ($4 == "same") { v[$1] = $2; s[$1] = $3 }; next }
             ($1 in v) && v[$1] != $2 { print $1, $2, v[$1], s[$1] }' "$work/binaries" - \
        >>"$work/mismatched"
    done
  done <<<"$incomplete"
  # Only where the complete suites' version is the older one: a newer one wins anyway.
  while read -r package version suite_version source; do
    if dpkg --compare-versions "$version" lt "$suite_version"; then
      echo "$package $version $suite_version $source"
    fi
  done <"$work/mismatched" >"$work/older"
  [ -s "$work/older" ] || return 0
  write_pins() {
    { if [ -f /etc/apt/preferences ]; then cat /etc/apt/preferences; echo; fi
      awk '{ printf "Package: %s\nPin: version %s\nPin-Priority: 1001\n\n", $1, $2 }' "$1"
    } >"$2"
  }
  # Which of the libraries the foreign-architecture packages need: a dry run of their
  # installation with every such library pinned.
  write_pins "$work/older" "$work/all-pins"
  local foreign
  foreign=$(printf '%s\n' "${packages[@]}" | grep ':' || true)
  [ -n "$foreign" ] || return 0
  # shellcheck disable=SC2086
  apt-get -s -o Dir::Etc::Preferences="$work/all-pins" install $foreign 2>/dev/null |
    awk '/^Inst / { sub(/:.*/, "", $2); print $2 }' | sort -u >"$work/needed"
  [ -s "$work/needed" ] || return 0
  awk 'NR == FNR { needed[$1] = 1; next } $1 in needed' "$work/needed" "$work/older" \
    >"$work/libraries"
  [ -s "$work/libraries" ] || return 0
  # The packages built from the same sources, moved from the suite's version to the same
  # older one (each keeps its own epoch): libblkid1 2.38.1-5+deb12u1 -> 2.38.1-5+deb12u3
  # takes bsdutils 1:2.38.1-5+deb12u1 -> 1:2.38.1-5+deb12u3.
  awk 'function bare(v) { sub(/^[0-9]+:/, "", v); return v }
       NR == FNR { from[$4] = bare($3); to[$4] = bare($2); library[$1] = 1; next }
       ($3 in from) && !($1 in library) {
         epoch = ""; if (match($2, /^[0-9]+:/)) epoch = substr($2, 1, RLENGTH)
         if (bare($2) == from[$3]) print $1, epoch to[$3], $2
       }' "$work/libraries" "$work/binaries" | sort -u >"$work/siblings"
  cut -d' ' -f1-3 "$work/libraries" | cat - "$work/siblings" | sort -u >"$work/pinned"
  write_pins "$work/pinned" "$pins"
  cut -d' ' -f1-3 "$work/libraries"
}

installed_versions() { dpkg-query -W -f '${binary:Package} ${Version}\n' | sort; }

# Where the kernel refuses 32-bit programs, Wine's 32-bit half runs under qemu's user-mode
# emulation of an i386 processor: qemu-i386-static is registered with the kernel as the
# interpreter of i386 ELF files (binfmt_misc, flag F: the kernel opens it once, so it serves in
# chroots too). The registration lasts until the machine restarts; test.sh asks for it again
# then. Nothing is done where 32-bit programs run.
enable_i386_emulation() {
  [ -e "$i386_loader" ] && ! i386_runs || return 0
  say "this kernel runs no 32-bit programs: 32-bit Wine will run under qemu's i386 emulation"
  [ -x "$i386_emulator" ] || apt_step apt-get "${apt_lock_wait[@]}" install -y qemu-user-static
  mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # ELF, 32-bit, little-endian, machine 3 (i386), an executable or a shared object
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$i386_emulator"':F' \
      >"$binfmt/register"
  fi
  if ! i386_runs; then
    say "32-bit programs still do not run with $i386_emulator registered"
    return 1
  fi
  say "registered $i386_emulator as the interpreter of i386 programs ($binfmt/qemu-i386)"
}

say "installing: ${packages[*]}"
if apt_step apt-get "${apt_lock_wait[@]}" install -y "${packages[@]}"; then
  enable_i386_emulation
  exit 0
fi
if ! grep -qE 'held broken packages|unmet dependencies|Unable to correct problems' "$work/log"; then
  say "the installation failed (see above)"
  exit 1
fi
pinned=$(pin_to_complete_indexes "$work/preferences")
if [ -z "$pinned" ]; then
  say "the installation cannot be resolved, and no missing index explains it: nothing to fall back on"
  exit 1
fi
say "falling back: the libraries below are installed at the version every architecture has,"
say "and the packages built from the same sources likewise ($(($(wc -l <"$work/pinned") - $(wc -l <<<"$pinned"))) of them)"
say "(library, version used instead, version of the incomplete suite):"
sed 's/^/install-deps:   /' <<<"$pinned" >&2
installed_versions >"$work/before"
apt_step apt-get "${apt_lock_wait[@]}" -o Dir::Etc::Preferences="$work/preferences" \
  install -y --allow-downgrades \
  "${packages[@]}"
installed_versions >"$work/after"
downgraded=$(join "$work/before" "$work/after" |
             while read -r package old new; do
               if dpkg --compare-versions "$new" lt "$old"; then echo "$package $old -> $new"; fi
             done)
if [ -n "$downgraded" ]; then
  say "downgraded so that both architectures match:"
  sed 's/^/install-deps:   /' <<<"$downgraded" >&2
else
  say "nothing installed was downgraded"
fi
say "once the missing index is served again, 'apt-get upgrade' brings these libraries up to date"
enable_i386_emulation
