#!/usr/bin/env bash
# Builds the library and runs the example host on it.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh main
cmake -S . -B build/main -DCMAKE_BUILD_TYPE=Release -DVEK_BUILD_TESTS=OFF >/dev/null
cmake --build build/main -j"$(nproc)" >/dev/null
build/main/bin/vek_example_host
