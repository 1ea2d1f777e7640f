#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs
# each for a while on its seed corpus.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
#
# Defaults: 600 seconds, every target in fuzz/. VEK_FUZZ_JOBS targets run at
# once (default 1). The growing corpora live in build/fuzz/corpus/<target>;
# the seeds in fuzz/corpus/<target> are only read. A finding stops its
# target, leaves the input in build/fuzz/findings/ and makes the script fail.
# A summary line per target (runs, coverage, corpus) goes to
# build/fuzz/summary.txt.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-600}"
shift || true
if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzz.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi
jobs="${VEK_FUZZ_JOBS:-1}"

CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEK_FUZZ=ON -DVEK_BUILD_TESTS=OFF -DVEK_WERROR=ON >/dev/null
cmake --build build/fuzz --target fuzz_targets -j"$(nproc)" >/dev/null

scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
mkdir -p build/fuzz/findings build/fuzz/logs
: >build/fuzz/summary.txt

run_one() {
  local target="$1"
  local corpus="build/fuzz/corpus/$target"
  local log="build/fuzz/logs/$target.log"
  mkdir -p "$corpus"
  local status=0
  TMPDIR="$scratch" timeout --kill-after=30 $((seconds + 120)) \
    "build/fuzz/bin/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$target-" \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  local done_line
  done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)"
  if [ "$status" -ne 0 ]; then
    echo "$target: FINDING (exit $status), see $log" | tee -a build/fuzz/summary.txt
    grep -E 'finding:|ERROR:|SUMMARY:' "$log" | head -5
    return 1
  fi
  echo "$target: ${seconds}s ${done_line:-no final stats}" | tee -a build/fuzz/summary.txt
}

failed=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
