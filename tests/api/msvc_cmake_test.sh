#!/usr/bin/env bash
# Installs a Windows build and builds tests/api/msvc_host.c against it
# through find_package(VekWin32) with an MSVC-style toolchain (clang-cl for
# TRIPLE, lld-link): the package must hand it VekWin32.lib, where a MinGW
# toolchain gets libVekWin32.dll.a. The host then runs under wine.
#
# usage: msvc_cmake_test.sh TRIPLE MINGW_TOOLCHAIN_FILE BUILD_DIR RUNNER
#   TRIPLE is i686-pc-windows-msvc or x86_64-pc-windows-msvc.
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
triple="$1" mingw_toolchain="$(absolute "$2")" build="$3" runner="$(absolute "$4")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-msvc-cmake.XXXXXX")"
trap '[ -n "${VEK_KEEP:-}" ] || rm -rf "$work"' EXIT
first() { for tool in "$@"; do command -v "$tool" && return; done; echo "none of $* found" >&2; exit 1; }
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cat >"$work/msvc.cmake" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${triple%%-*})
set(CMAKE_C_COMPILER $(first clang-cl clang-cl-14))
set(CMAKE_C_COMPILER_TARGET $triple)
set(CMAKE_LINKER $(first lld-link lld-link-14))
set(CMAKE_AR $(first llvm-lib llvm-lib-14))
set(CMAKE_MT $(first llvm-mt llvm-mt-14))
set(CMAKE_RC_COMPILER $(first llvm-rc llvm-rc-14))
# No C runtime or SDK here: the compiler is not tried on a test program.
set(CMAKE_C_COMPILER_WORKS TRUE)
TOOLCHAIN

failures=0
fail() { failures=$((failures + 1)); echo "FAIL $*" >&2; }
bash "$here/kernel32_lib.sh" "$triple" "$work/kernel32.lib"
cmake -S "$here/msvc_cmake_host" -B "$work/msvc" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$work/msvc.cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DVEK_KERNEL32_LIB="$work/kernel32.lib" >/dev/null
grep -q "/VekWin32\.lib" "$work/msvc/CMakeFiles/msvc_host.dir/link.txt" ||
  fail "MSVC-style toolchain is not given VekWin32.lib: $(cat "$work/msvc/CMakeFiles/msvc_host.dir/link.txt")"
cmake --build "$work/msvc" >"$work/msvc.log" 2>&1 || { cat "$work/msvc.log"; fail "MSVC-style build"; }

# The same package with MinGW keeps the MinGW import library.
cmake -S "$here/msvc_cmake_host" -B "$work/mingw" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$mingw_toolchain" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_FIND_ROOT_PATH="$work/prefix" >/dev/null
cat "$work"/mingw/CMakeFiles/msvc_host.dir/link*.* | grep -q "libVekWin32\.dll\.a" ||
  fail "MinGW toolchain is not given libVekWin32.dll.a"

if [ -s "$work/msvc/msvc_host.exe" ]; then
  cp "$work/prefix/bin/VekWin32.dll" "$work/msvc/"
  status=0
  "$runner" "$work/msvc/msvc_host.exe" || status=$?
  [ "$status" = 0 ] || fail "msvc host built through CMake: check $status failed"
fi
echo "msvc cmake test ($triple): $failures failures"
[ "$failures" = 0 ]
