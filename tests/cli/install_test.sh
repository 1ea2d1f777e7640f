#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds a tiny C host against
# the installed files both ways: pkg-config and find_package(VekWin32). Both
# hosts must rebuild a file with Diff and EdBuf and agree with the installed
# vek on the script and the checksum.
#
# usage: install_test.sh BUILD_DIR
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-install-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
failures=0
fail() { failures=$((failures + 1)); echo "FAIL $*" >&2; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for path in include/vekwin32.h bin/vek share/man/man1/vek.1; do
  [ -s "$prefix/$path" ] || fail "not installed: $path"
done
pc="$(find "$prefix" -name vekwin32.pc)"
config="$(find "$prefix" -name VekWin32Config.cmake)"
[ -n "$pc" ] || fail "no pkg-config file installed"
[ -n "$config" ] || fail "no CMake package config installed"
ls "$prefix"/lib*/libvekwin32.so* >/dev/null 2>&1 || ls "$prefix"/lib/*/libvekwin32.so* >/dev/null 2>&1 ||
  fail "library not installed"

cd "$work"
printf 'one\ntwo\nthree\nfour\n' >old
printf 'one\n2\nthree\nfour\nfive\n' >new
"$prefix/bin/vek" diff old new >vek-script && fail "installed vek diff: exit 0 for different files"
want_sum="$("$prefix/bin/vek" crc new | cut -c1-4)"

# pkg-config: flags found from the installed file alone
export PKG_CONFIG_PATH="$(dirname "$pc")"
libdir="$(pkg-config --variable=libdir vekwin32)"
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags vekwin32) "$here/install_host/host.c" \
  $(pkg-config --libs vekwin32) -Wl,-rpath,"$libdir" -o host-pc || fail "pkg-config build"
# find_package: a CMake project that knows only the prefix
cmake -S "$here/install_host" -B cm -DCMAKE_PREFIX_PATH="$prefix" >/dev/null || fail "find_package configure"
cmake --build cm >/dev/null || fail "find_package build"

for host in ./host-pc cm/host; do
  if ! "$host" old new >"$host.out"; then
    fail "$host did not rebuild the new file"
    continue
  fi
  head -n -1 "$host.out" >"$host.script"
  cmp -s "$host.script" vek-script || fail "$host: script differs from the installed vek's"
  [ "$(tail -1 "$host.out")" = "checksum $want_sum" ] || fail "$host: checksum differs from vek crc"
done
echo "install test: $failures failures"
[ "$failures" = 0 ]
