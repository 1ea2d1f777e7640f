#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds a tiny C host against
# the installed files both ways: pkg-config and find_package(VekWin32). Both
# hosts must rebuild a file with Diff and EdBuf and agree with the installed
# vek on the script and the checksum.
#
# usage: install_test.sh BUILD_DIR
#        install_test.sh --installed PREFIX
#   --installed: the files are already installed under PREFIX (say, a
#   package unpacked into a fresh root); nothing is installed.
#        install_test.sh --windows TOOLCHAIN_FILE RUNNER BUILD_DIR
#   --windows: the build is a Windows DLL (32- or 64-bit, as the toolchain
#   file says); the hosts are built with that MinGW toolchain and run, like
#   vek.exe, through RUNNER (wine).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
windows=""
run=()
cc=cc
if [ "$1" = --windows ]; then
  windows=1
  toolchain="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
  run=("$(cd "$(dirname "$3")" && pwd)/$(basename "$3")")
  cc="$(sed -n 's/^set(VEK_MINGW_TRIPLE \(.*\))$/\1/p' "$toolchain")-gcc"
  shift 3
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-install-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
if [ "$1" = --installed ]; then
  prefix="$(cd "$2" && pwd)"
else
  prefix="$work/prefix"
  cmake --install "$1" --prefix "$prefix" >/dev/null
fi
failures=0
fail() { failures=$((failures + 1)); echo "FAIL $*" >&2; }

exe=""
[ -n "$windows" ] && exe=.exe
for path in include/vekwin32.h "bin/vek$exe" share/man/man1/vek.1; do
  [ -s "$prefix/$path" ] || fail "not installed: $path"
done
pc="$(find "$prefix" -name vekwin32.pc)"
config="$(find "$prefix" -name VekWin32Config.cmake)"
[ -n "$pc" ] || fail "no pkg-config file installed"
[ -n "$config" ] || fail "no CMake package config installed"
# vek holds the library and the C++ runtime itself: it loads no shared
# library but the system's C library, and needs no search path for one.
if [ -n "$windows" ]; then
  [ -s "$prefix/bin/VekWin32.dll" ] || fail "DLL not installed"
  [ -n "$(find "$prefix" -name 'libVekWin32.dll.a')" ] || fail "import library not installed"
  imports="$("${cc%gcc}objdump" -p "$prefix/bin/vek.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')"
  echo "$imports" | grep -Eqv '^(kernel32|msvcrt|advapi32|bcrypt|api-ms-win-.*)\.dll$' &&
    fail "vek.exe loads more than the system's DLLs: $(echo $imports)"
else
  [ -n "$(find "$prefix" -name 'libvekwin32.so*')" ] || fail "library not installed"
  dynamic="$(readelf -d "$prefix/bin/vek")"
  # (the dynamic loader, which the C library brings, may be named, and so
  # may a sanitizer build's runtime, which no shipped vek carries)
  needed="$(echo "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
    grep -Ev '^(ld-linux|libasan|libubsan|libtsan)' | tr '\n' ' ')"
  [ "$needed" = "libc.so.6 " ] || fail "vek needs more than the C library: $needed"
  echo "$dynamic" | grep -Eq '\((RUNPATH|RPATH)\)' && fail "vek carries a library search path"
fi

cd "$work"
printf 'one\ntwo\nthree\nfour\n' >old
printf 'one\n2\nthree\nfour\nfive\n' >new
vek() { "${run[@]}" "$prefix/bin/vek$exe" "$@"; }
vek diff old new >vek-script && fail "installed vek diff: exit 0 for different files"
want_sum="$(vek crc new | cut -c1-4)"

# pkg-config: flags found from the installed file alone
export PKG_CONFIG_PATH="$(dirname "$pc")"
libdir="$(pkg-config --variable=libdir vekwin32)"
rpath="-Wl,-rpath,$libdir"
[ -n "$windows" ] && rpath=""
$cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags vekwin32) "$here/install_host/host.c" \
  $(pkg-config --libs vekwin32) $rpath -o "host-pc$exe" || fail "pkg-config build"
# find_package: a CMake project that knows only the prefix
toolchain_arg=()
[ -n "$windows" ] && toolchain_arg=("-DCMAKE_TOOLCHAIN_FILE=$toolchain" "-DCMAKE_FIND_ROOT_PATH=$prefix")
cmake -S "$here/install_host" -B cm -DCMAKE_PREFIX_PATH="$prefix" "${toolchain_arg[@]}" >/dev/null ||
  fail "find_package configure"
cmake --build cm >/dev/null || fail "find_package build"
if [ -n "$windows" ]; then
  # Windows finds a DLL beside the program.
  cp "$prefix/bin/VekWin32.dll" . && cp "$prefix/bin/VekWin32.dll" cm/
fi

for host in "./host-pc$exe" "cm/host$exe"; do
  if ! "${run[@]}" "$host" old new >"$host.out"; then
    fail "$host did not rebuild the new file"
    continue
  fi
  head -n -1 "$host.out" | tr -d '\r' >"$host.script"
  cmp -s "$host.script" vek-script || fail "$host: script differs from the installed vek's"
  [ "$(tail -1 "$host.out" | tr -d '\r')" = "checksum $want_sum" ] ||
    fail "$host: checksum differs from vek crc"
done
echo "install test: $failures failures"
[ "$failures" = 0 ]
