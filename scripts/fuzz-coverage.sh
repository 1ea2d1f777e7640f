#!/usr/bin/env bash
# Line and branch coverage of the library reached by the fuzz corpora:
# builds the targets with clang's source-based coverage, replays every
# corpus (the seeds in fuzz/corpus and what scripts/fuzz.sh has grown in
# build/fuzz/corpus) and prints llvm-cov's report for src/.
#
#   scripts/fuzz-coverage.sh
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
out=build/fuzz-cov
CC=clang-14 CXX=clang++-14 cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEK_FUZZ=ON -DVEK_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
cmake --build "$out" --target fuzz_targets -j"$(nproc)" >/dev/null
rm -rf "$out/prof"
mkdir -p "$out/prof"
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
objects=()
for source in fuzz/*_fuzz.cpp; do
  target="$(basename "$source" .cpp)"
  corpora=("fuzz/corpus/$target")
  [ -d "build/fuzz/corpus/$target" ] && corpora=("build/fuzz/corpus/$target" "${corpora[@]}")
  LLVM_PROFILE_FILE="$out/prof/$target.profraw" TMPDIR="$scratch" \
    timeout 1800 "$out/bin/$target" -runs=0 "${corpora[@]}" >"$out/prof/$target.log" 2>&1
  if [ "${#objects[@]}" -eq 0 ]; then
    objects+=("$out/bin/$target")
  else
    objects+=(-object "$out/bin/$target")
  fi
done
llvm-profdata-14 merge -sparse "$out"/prof/*.profraw -o "$out/prof/all.profdata"
llvm-cov-14 report "${objects[@]}" -instr-profile="$out/prof/all.profdata" \
  -ignore-filename-regex='(fuzz|tests|googletest|/usr)/' | tee "$out/report.txt"
