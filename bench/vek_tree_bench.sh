#!/usr/bin/env bash
# Trees: vek diff -r and vek patch -r against the peers a release process
# uses, as whole processes on two successive releases of a package from the
# npm registry (npm pack NAME@OLD NAME@NEW):
#   making the update   vek diff -r OLD NEW -o U   against  diff -ruN OLD NEW > P
#   applying it         vek patch -r COPY U        against  cd COPY && patch -p1 < P
#   update size         U                          against  P
#   peak memory         /usr/bin/time, against the largest file of the trees
# Applying is timed in place, forward and back in turn (vek patch -r with the
# update and with the reverse update, patch -p1 and patch -R -p1), so that no
# copy of the tree is in the figures. Times come from farm-bench --vs
# (paired runs, medians of the ratios). Both results are checked first.
#
# usage: bench/vek_tree_bench.sh VEK NAME OLD_VERSION NEW_VERSION [WORKDIR]
#   e.g. bench/vek_tree_bench.sh build/linux/bin/vek rxjs 7.8.0 7.8.1
# Needs: npm, farm-bench, diff, patch, /usr/bin/time. RUNS=N runs (default 15).
# A WORKDIR that holds both packages already (NAME-OLD.tgz, NAME-NEW.tgz)
# is not fetched again.
set -eu
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
name="$2" old_version="$3" new_version="$4"
runs="${RUNS:-15}"
if [ $# -ge 5 ]; then
  work="$5"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/vek-tree-bench.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"
rm -rf old new c c2 ./*.at-new
[ -f "$name-$old_version.tgz" ] && [ -f "$name-$new_version.tgz" ] ||
  npm pack --silent "$name@$old_version" "$name@$new_version" >/dev/null
mkdir old new
tar xzf ./*"-$old_version.tgz" -C old --strip-components=1
tar xzf ./*"-$new_version.tgz" -C new --strip-components=1

diff -ruN old new >P || true
"$vek" diff -r old new -o U || true
"$vek" diff -r new old -o R || true
cp -a old c && cp -a old c2
"$vek" patch -r c U && diff -r --no-dereference new c >/dev/null
(cd c2 && patch -p1 -s <../P) && diff -r --no-dereference new c2 >/dev/null
"$vek" patch -r c R && (cd c2 && patch -R -p1 -s <../P)

cat >toggle-vek.sh <<SCRIPT
if [ -e c.at-new ]; then "$vek" patch -r c R && rm c.at-new; else "$vek" patch -r c U && touch c.at-new; fi
SCRIPT
cat >toggle-patch.sh <<'SCRIPT'
if [ -e c2.at-new ]; then (cd c2 && patch -R -p1 -s <../P) && rm c2.at-new; else (cd c2 && patch -p1 -s <../P) && touch c2.at-new; fi
SCRIPT

files="$(find old -type f | wc -l | tr -d ' ')"
changed="$("$vek" patch -r --dry-run c U | wc -l | tr -d ' ')"
largest="$(find old new -type f -printf '%s\n' | sort -n | tail -1)"
echo "# $name $old_version -> $new_version: $files files, $changed paths differ, largest file $largest bytes"
echo
echo "## making the update: vek diff -r (A) against diff -ruN (B)"
farm-bench -n "$runs" --timeout 600 --vs "sh -c 'diff -ruN old new > P'" -- "$vek" diff -r old new -o U |
  grep -E '^(A|B) (cpu|wall) s|^A/B (cpu|wall)'
echo
echo "## applying it in place: vek patch -r (A) against patch -p1 (B)"
farm-bench -n "$runs" --timeout 600 --vs "sh toggle-patch.sh" -- sh toggle-vek.sh |
  grep -E '^(A|B) (cpu|wall) s|^A/B (cpu|wall)'
echo
echo "## sizes and peak memory"
printf 'update %s bytes, diff -ruN %s bytes: %s\n' "$(wc -c <U)" "$(wc -c <P)" \
  "$(awk -v a="$(wc -c <U)" -v b="$(wc -c <P)" 'BEGIN { printf "%.2fx", a / b }')"
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
base="$(peak "$vek" --version)" made="$(peak "$vek" diff -r old new -o U)"
applied="$(peak sh toggle-vek.sh)"
printf 'peak KiB: vek --version %s, vek diff -r %s, diff -ruN %s, vek patch -r %s, patch -p1 %s\n' \
  "$base" "$made" "$(peak sh -c 'diff -ruN old new > P')" "$applied" "$(peak sh toggle-patch.sh)"
printf 'peak above vek --version: vek diff -r %s KiB, vek patch -r %s KiB; 4 x the largest file %s KiB\n' \
  "$((made - base))" "$((applied - base))" "$((largest * 4 / 1024))"
