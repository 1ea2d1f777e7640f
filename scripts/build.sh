#!/usr/bin/env bash
# Configures and builds one of the project's standard builds, the same way
# for the tests and for the packages:
#   linux      build/linux      Release, benchmarks included
#   asan       build/asan       Debug, AddressSanitizer + UBSan, failure injection
#   tsan       build/tsan       ThreadSanitizer, the export tests and vek only
#   windows    build/windows    32-bit VekWin32.dll (win32), MinGW cross build
#   windows64  build/windows64  64-bit VekWin32.dll (win64), MinGW cross build
# usage: scripts/build.sh NAME...   (warnings are errors in all of them)
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"
for name in "$@"; do
  case "$name" in
    linux) options=(-DCMAKE_BUILD_TYPE=Release -DVEK_BUILD_BENCH=ON) ;;
    asan) options=(-DCMAKE_BUILD_TYPE=Debug -DVEK_SANITIZE=ON -DVEK_FAULT_INJECTION=ON) ;;
    tsan) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEK_THREAD_SANITIZER=ON) ;;
    windows) options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release) ;;
    windows64) options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release) ;;
    *) echo "unknown build '$name' (linux, asan, tsan, windows, windows64)" >&2; exit 2 ;;
  esac
  targets=()
  [ "$name" = tsan ] && targets=(--target vek_export_tests vek)
  cmake -S . -B "build/$name" -DVEK_WERROR=ON "${options[@]}" >/dev/null
  cmake --build "build/$name" -j"$jobs" "${targets[@]}"
done
