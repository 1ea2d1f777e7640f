#!/usr/bin/env bash
# vek against diff -e, ed and sum -s on real source files of everyday size:
# successive released versions of three JavaScript libraries, taken from
# the npm registry with `npm pack` (so the versions are those published, and
# npm checks each tarball against the registry's integrity hash):
#
#   moment     moment.js       2.10.2 .. 2.30.1   about 3,100 to 5,700 lines
#   jquery     dist/jquery.js  3.0.0 .. 3.7.1     about 10,000 to 10,700 lines
#   underscore underscore.js   1.8.0 .. 1.13.7    about 1,500 to 2,000 lines
#
# The files are fetched into WORKDIR once (about 15 MB of tarballs) and
# reused; nothing of them is kept in the repository. A last line without a
# line feed gets one.
#
# Times whole processes, vek and its peer in turn (A B A B ...), and
# reports medians of the per-round ratios vek / peer:
#   - vek --version against diff --version;
#   - vek diff against diff -e, summed over every pair of successive versions
#     (one round runs every pair once with each tool);
#   - one pair of about 4,000 lines: vek diff against diff -e, vek patch
#     against ed applying the same script (diff -e's), vek crc against sum -s.
# Every script of vek diff is first checked: applied by ed it must give the
# new version.
#
# usage: bench/real_corpus.sh VEK [WORKDIR]
#   VEK      the vek program (e.g. build/linux/bin/vek); VEK_BEFORE=OTHER
#            also times OTHER (an earlier build) as a third command
#   WORKDIR  where the corpus goes (default: a temporary folder, removed after)
# ROUNDS=N rounds for the corpus sum (default 15), PAIRS=N runs of each
# one-pair measure (default 101).
# Needs: npm, diff, ed, sum (coreutils), python3.
set -eu
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
for tool in npm diff ed sum python3; do
  command -v "$tool" >/dev/null || { echo "real_corpus: $tool is missing" >&2; exit 2; }
done
if [ $# -ge 2 ]; then
  work="$2"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/vek-corpus.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

# --- the corpus ---------------------------------------------------------------
# fetch NAME PATH VERSION...: NAME@VERSION's PATH as corpus/NAME/VERSION
fetch() {
  local name="$1" path="$2"
  shift 2
  mkdir -p tarballs "corpus/$name"
  for version in "$@"; do
    [ -s "corpus/$name/$version" ] && continue
    [ -s "tarballs/$name-$version.tgz" ] ||
      (cd tarballs && npm pack --silent "$name@$version" >/dev/null) ||
      { echo "real_corpus: npm pack $name@$version failed" >&2; exit 2; }
    python3 - "tarballs/$name-$version.tgz" "package/$path" "corpus/$name/$version" <<'PY'
import sys, tarfile
with tarfile.open(sys.argv[1]) as tar:
    data = tar.extractfile(sys.argv[2]).read()
if data and not data.endswith(b"\n"):
    data += b"\n"  # as ed and vek read such a file, without their warnings
open(sys.argv[3], "wb").write(data)
PY
  done
}
fetch moment moment.js 2.10.2 2.10.3 2.10.5 2.10.6 2.11.0 2.11.1 2.11.2 2.12.0 2.13.0 \
  2.14.0 2.14.1 2.15.0 2.15.1 2.15.2 2.16.0 2.17.0 2.17.1 2.18.0 2.18.1 2.19.0 2.19.1 \
  2.19.2 2.19.3 2.19.4 2.20.0 2.20.1 2.21.0 2.22.0 2.22.1 2.22.2 2.23.0 2.24.0 2.25.0 \
  2.25.1 2.25.2 2.25.3 2.26.0 2.27.0 2.28.0 2.29.0 2.29.1 2.29.2 2.29.3 2.29.4 2.30.0 2.30.1
fetch jquery dist/jquery.js 3.0.0 3.1.0 3.1.1 3.2.0 3.2.1 3.3.0 3.3.1 3.4.0 3.4.1 3.5.0 \
  3.5.1 3.6.0 3.6.1 3.6.2 3.6.3 3.6.4 3.7.0 3.7.1
fetch underscore underscore.js 1.8.0 1.8.1 1.8.2 1.8.3 1.9.0 1.9.1 1.9.2 1.10.0 1.10.1 \
  1.10.2 1.11.0 1.12.0 1.12.1 1.13.0 1.13.1 1.13.2 1.13.3 1.13.4 1.13.5 1.13.6 1.13.7

# --- measuring ------------------------------------------------------------------
VEK="$vek" python3 - <<'PY'
import os, statistics, subprocess, sys, time

vek = os.environ["VEK"]
before = os.environ.get("VEK_BEFORE")
rounds = int(os.environ.get("ROUNDS", "15"))
runs = int(os.environ.get("PAIRS", "101"))
devnull = os.open(os.devnull, os.O_RDWR)

def run(argv, stdin=None, stdout=None):
    """Runs argv as one process; returns its wall and cpu (user + system) seconds.
    (Its peak memory is not reported: a spawned child's starts at this script's.)"""
    actions = [(os.POSIX_SPAWN_DUP2, devnull, 2)]
    fds = []
    if stdin is not None:
        fds.append(os.open(stdin, os.O_RDONLY))
        actions.append((os.POSIX_SPAWN_DUP2, fds[-1], 0))
    else:
        actions.append((os.POSIX_SPAWN_DUP2, devnull, 0))
    if stdout is not None:
        fds.append(os.open(stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644))
        actions.append((os.POSIX_SPAWN_DUP2, fds[-1], 1))
    else:
        actions.append((os.POSIX_SPAWN_DUP2, devnull, 1))
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    for fd in fds:
        os.close(fd)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) > 1:
        sys.exit("real_corpus: %s failed" % " ".join(argv))
    return wall, usage.ru_utime + usage.ru_stime

def paired(label, commands, count):
    """Runs the commands in turn `count` times (after one unmeasured round);
    prints medians and the median ratios of the first to each other."""
    for argv, kwargs in commands:
        run(argv, **kwargs)
    walls = [[] for _ in commands]
    cpus = [[] for _ in commands]
    for _ in range(count):
        for i, (argv, kwargs) in enumerate(commands):
            wall, cpu = run(argv, **kwargs)
            walls[i].append(wall); cpus[i].append(cpu)
    report(label, walls, cpus)

def report(label, walls, cpus):
    cells = []
    for i in range(1, len(walls)):
        wall_ratio = statistics.median(a / b for a, b in zip(walls[0], walls[i]))
        cpu_ratio = statistics.median(a / b for a, b in zip(cpus[0], cpus[i]) if b > 0) \
            if any(cpus[i]) else float("nan")
        cells.append("%.2f | %.2f" % (wall_ratio, cpu_ratio))
    times = " / ".join("%.2f ms" % (1000 * statistics.median(w)) for w in walls)
    print("| %s | %s | %s |" % (label, times, " | ".join(cells)))

names = {}
for name in sorted(os.listdir("corpus")):
    versions = os.listdir(os.path.join("corpus", name))
    versions.sort(key=lambda v: [int(x) for x in v.split(".")])
    names[name] = [os.path.join("corpus", name, v) for v in versions]
pairs = [(a, b) for files in names.values() for a, b in zip(files, files[1:])
         if open(a, "rb").read() != open(b, "rb").read()]

# Every script of vek diff rebuilds the new version through ed.
script_bytes = [0, 0]
for old, new in pairs:
    script = subprocess.run([vek, "diff", old, new], capture_output=True).stdout
    rebuilt = subprocess.run(["ed", "-s", old], input=script + b",p\nQ\n",
                             capture_output=True).stdout
    if rebuilt != open(new, "rb").read():
        sys.exit("real_corpus: vek's script does not rebuild %s from %s" % (new, old))
    script_bytes[0] += len(script)
    script_bytes[1] += len(subprocess.run(["diff", "-e", old, new], capture_output=True).stdout)

def lines(path):
    return open(path, "rb").read().count(b"\n")

print("Corpus: %s; %d pairs of successive versions that differ, %s lines in all; "
      "scripts: vek diff %s bytes, diff -e %s bytes." % (
          ", ".join("%s %d versions" % (n, len(f)) for n, f in names.items()), len(pairs),
          format(sum(lines(a) + lines(b) for a, b in pairs), ","),
          format(script_bytes[0], ","), format(script_bytes[1], ",")))
tools = [vek] + ([before] if before else [])
print("\nMedians of paired runs in turn; ratios are the first command's over the others'.\n")
print("| measure | median times (%s) | %s |" % (
    " / ".join(["vek"] + (["vek before"] if before else []) + ["peer"]),
    " | ".join("wall / %s | cpu / %s" % (o, o) for o in (["before"] if before else []) + ["peer"])))
print("|---|---|%s" % ("---|---|" * len(tools)))

peers = {"version": ["diff", "--version"]}
paired("`vek --version` / `diff --version`",
       [([t, "--version"], {}) for t in tools] + [(peers["version"], {})], runs)

# The corpus sum: one round runs every pair once with each tool, in turn.
walls = [[] for _ in range(len(tools) + 1)]
cpus = [[] for _ in range(len(tools) + 1)]
for r in range(rounds + 1):
    sums = [[0.0, 0.0] for _ in range(len(tools) + 1)]
    for old, new in pairs:
        argvs = [[t, "diff", old, new] for t in tools] + [["diff", "-e", old, new]]
        for i, argv in enumerate(argvs):
            wall, cpu = run(argv)
            sums[i][0] += wall; sums[i][1] += cpu
    if r == 0:
        continue  # the first round warms the caches
    for i, (wall, cpu) in enumerate(sums):
        walls[i].append(wall); cpus[i].append(cpu)
report("`vek diff` / `diff -e`, summed over the %d pairs" % len(pairs), walls, cpus)

# One pair of about 4,000 lines.
old, new = "corpus/moment/2.14.1", "corpus/moment/2.15.0"
label = "%s lines to %s" % (format(lines(old), ","), format(lines(new), ","))
paired("`vek diff` / `diff -e`, one pair (%s)" % label,
       [([t, "diff", old, new], {}) for t in tools] + [(["diff", "-e", old, new], {})], runs)
with open("pair.ed", "wb") as f:
    f.write(subprocess.run(["diff", "-e", old, new], capture_output=True).stdout)
with open("pair-ed.in", "wb") as f:
    f.write(open("pair.ed", "rb").read() + b"w pair-ed.out\nq\n")
for out, argv, kwargs in (("pair-vek.out", [vek, "patch", old, "pair.ed"], {"stdout": "pair-vek.out"}),
                          ("pair-ed.out", ["ed", "-s", old], {"stdin": "pair-ed.in"})):
    run(argv, **kwargs)
    if open(out, "rb").read() != open(new, "rb").read():
        sys.exit("real_corpus: %s does not rebuild %s" % (argv[0], new))
paired("`vek patch` / `ed`, one pair, diff -e's script",
       [([t, "patch", old, "pair.ed"], {"stdout": "pair-vek.out"}) for t in tools] +
       [(["ed", "-s", old], {"stdin": "pair-ed.in"})], runs)
paired("`vek crc` / `sum -s`, one file (%s lines)" % format(lines(old), ","),
       [([t, "crc", old], {}) for t in tools] + [(["sum", "-s", old], {})], runs)
PY
