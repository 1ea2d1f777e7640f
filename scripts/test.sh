#!/usr/bin/env bash
# Builds and runs every test: Linux (warnings as errors), Linux under
# AddressSanitizer + UBSan with the failure-injection sweeps, the thread
# tests under ThreadSanitizer, each fuzz target
# for a short while, the 32-bit and the 64-bit Windows DLL under wine, the
# packages made from those builds, and a clang-format check of all sources.
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
scripts/build.sh linux
ctest --test-dir build/linux --output-on-failure -j"$jobs"

echo "== linux, AddressSanitizer + UBSan, with failure injection"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j"$jobs"

echo "== linux, ThreadSanitizer: contexts and exports on several threads, vek diff -r's walk ahead"
scripts/build.sh tsan
ctest --test-dir build/tsan -R "context_threads|vek_tree_update" --output-on-failure

echo "== fuzz targets, briefly (scripts/fuzz.sh runs them longer)"
VEK_FUZZ_JOBS="$jobs" scripts/fuzz.sh "${VEK_FUZZ_SECONDS:-20}"

echo "== windows, 32-bit DLL (wine)"
scripts/build.sh windows
ctest --test-dir build/windows --output-on-failure

echo "== windows, 64-bit DLL (wine)"
scripts/build.sh windows64
ctest --test-dir build/windows64 --output-on-failure

echo "== packages"
scripts/package.sh
tests/package/package_test.sh build
