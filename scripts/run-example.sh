#!/usr/bin/env bash
# The main job: builds the library and vek, then runs the typical road on
# the example file set (examples/fileset): bundle both versions, diff them,
# keep the script, rebuild the new bundle from the old one, check the
# checksums, write the files back and compare them with the originals.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh main
build="$root/build/main"
log="$build-build.log"
mkdir -p "$(dirname "$log")"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVEK_BUILD_TESTS=OFF &&
       cmake --build "$build" -j"$(nproc)"; } >"$log" 2>&1; then
  tail -30 "$log" >&2
  echo "run-example: the build failed; the whole log is in $log" >&2
  exit 2
fi
exec bash examples/typical_road.sh "$build/bin/vek" "$build/example"
