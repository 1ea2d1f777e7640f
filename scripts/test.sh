#!/usr/bin/env bash
# Builds and runs every test: Linux (warnings as errors), Linux under
# AddressSanitizer + UBSan with the failure-injection sweeps, each fuzz target
# for a short while, the Windows DLL under wine, and a clang-format check of
# all sources.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh test
jobs="$(nproc)"
export VEK_WINEPREFIX="$root/build/wineprefix"
cleanup() { WINEPREFIX="$VEK_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

echo "== format"
files=$(git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null || find src include tests bench cli examples -name '*.[ch]' -o -name '*.cpp')
clang-format --dry-run --Werror $files

echo "== linux"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=Release -DVEK_WERROR=ON -DVEK_BUILD_BENCH=ON >/dev/null
cmake --build build/linux -j"$jobs"
ctest --test-dir build/linux --output-on-failure -j"$jobs"

echo "== linux, AddressSanitizer + UBSan, with failure injection"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVEK_WERROR=ON -DVEK_SANITIZE=ON -DVEK_FAULT_INJECTION=ON >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j"$jobs"

echo "== fuzz targets, briefly (scripts/fuzz.sh runs them longer)"
VEK_FUZZ_JOBS="$jobs" scripts/fuzz.sh "${VEK_FUZZ_SECONDS:-20}"

echo "== windows (wine)"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DVEK_WERROR=ON >/dev/null
cmake --build build/windows -j"$jobs"
ctest --test-dir build/windows --output-on-failure
