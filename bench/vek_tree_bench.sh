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
# copy of the tree is in the figures. Each command is one process started
# directly (no shell around it), the two in turn, and the ratio is taken pair
# by pair: the median of the ratios is printed with the medians of the
# times (wall, and cpu = user + system from wait4). Both results are checked
# first.
#
# usage: bench/vek_tree_bench.sh VEK NAME OLD_VERSION NEW_VERSION [WORKDIR]
#   e.g. bench/vek_tree_bench.sh build/linux/bin/vek rxjs 7.8.0 7.8.1
# Needs: npm, python3, diff, patch, /usr/bin/time. RUNS=N pairs (default 21).
set -eu
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
name="$2" old_version="$3" new_version="$4"
runs="${RUNS:-21}"
if [ $# -ge 5 ]; then
  work="$5"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/vek-tree-bench.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"
rm -rf old new c c2
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

files="$(find old -type f | wc -l | tr -d ' ')"
changed="$("$vek" patch -r --dry-run c U | wc -l | tr -d ' ')"
largest="$(find old new -type f -printf '%s\n' | sort -n | tail -1)"
echo "# $name $old_version -> $new_version: $files files, $changed paths differ, largest file $largest bytes"
echo
VEK="$vek" RUNS="$runs" python3 - <<'PY'
import os, statistics, sys, time

vek, runs = os.environ["VEK"], int(os.environ["RUNS"])
devnull = os.open(os.devnull, os.O_RDWR)

def run(argv, stdout=None):
    """One process, started directly; its wall and cpu seconds."""
    out = devnull if stdout is None else os.open(stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    actions = [(os.POSIX_SPAWN_DUP2, devnull, 0), (os.POSIX_SPAWN_DUP2, out, 1),
               (os.POSIX_SPAWN_DUP2, devnull, 2)]
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if out != devnull:
        os.close(out)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) > 1:
        sys.exit("vek_tree_bench: %s failed" % " ".join(argv))
    return wall, usage.ru_utime + usage.ru_stime

def paired(title, rounds):
    """rounds: a list of (A, B) pairs of runs, taken in turn, `runs` times over."""
    for a, b in rounds:  # one unmeasured round
        a(); b()
    figures = {"A": ([], []), "B": ([], [])}
    for _ in range(runs):
        for a, b in rounds:
            for name, job in (("A", a), ("B", b)):
                wall, cpu = job()
                figures[name][0].append(wall)
                figures[name][1].append(cpu)
    print("## " + title)
    for kind, k in (("wall", 0), ("cpu", 1)):
        va, vb = figures["A"][k], figures["B"][k]
        ratios = [x / y for x, y in zip(va, vb) if y > 0]
        print("A %-4s s %8.4f   B %-4s s %8.4f   A/B %s median %.2f (min %.2f, max %.2f)" % (
            kind, statistics.median(va), kind, statistics.median(vb), kind,
            statistics.median(ratios), min(ratios), max(ratios)))
    print()

paired("making the update: vek diff -r (A) against diff -ruN > P (B)", [
    (lambda: run([vek, "diff", "-r", "old", "new", "-o", "U"]),
     lambda: run(["diff", "-ruN", "old", "new"], stdout="P"))])
paired("applying it in place: vek patch -r (A) against patch -p1 < P (B), forward and back", [
    (lambda: run([vek, "patch", "-r", "c", "U"]),
     lambda: run(["patch", "-s", "-p1", "-d", "c2", "-i", "../P"])),
    (lambda: run([vek, "patch", "-r", "c", "R"]),
     lambda: run(["patch", "-s", "-R", "-p1", "-d", "c2", "-i", "../P"]))])
PY
echo "## sizes and peak memory"
printf 'update %s bytes, diff -ruN %s bytes: %s\n' "$(wc -c <U)" "$(wc -c <P)" \
  "$(awk -v a="$(wc -c <U)" -v b="$(wc -c <P)" 'BEGIN { printf "%.2fx", a / b }')"
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
printf 'peak KiB: vek --version %s, vek diff -r %s, diff -ruN %s, vek patch -r %s, patch -p1 %s\n' \
  "$(peak "$vek" --version)" "$(peak "$vek" diff -r old new -o U)" \
  "$(peak diff -ruN old new)" "$(peak "$vek" patch -r c U)" "$(peak patch -s -p1 -d c2 -i ../P)"
