#!/usr/bin/env bash
# The failure sweep of vek itself: for each writing command on a small
# scenario, one run counts the file operations vek makes (open, write,
# sync, close, rename, stat; VEK_FAULT_COUNT=1), then one run per operation
# fails that one (VEK_FAULT_AT=n). Every run must end either as the run
# without a fault does (a failure vek can step around) or with status 2, a
# message naming a file of the scenario, and every target as it was; no run
# may leave a temporary behind or touch another file.
#
# usage: vek_fault_sweep.sh VEK   (VEK built with VEK_FAULT_INJECTION)
set -u
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-fault-sweep.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
total_faults=0
total_refused=0

# The scenario's files, made afresh before every run.
setup() {
  rm -rf "$work/s" && mkdir -p "$work/s/tmp" "$work/s/sub" && cd "$work/s" || exit 2
  printf 'one\ntwo\nthree\n' >old.txt
  printf 'one\n2\nthree\nfour\n' >new.txt
  printf 'before\n' >res
  cp old.txt file.txt
  chmod 640 file.txt
  ln -s sub/target.txt link.txt
  cp old.txt sub/target.txt
  printf '2c\nTWO\n.\n' >s.ed
  head -c 700 /dev/zero | tr '\0' 'x' >pic.bin
  printf 'kept\n' >t1
  "$real_vek" bundle -b -o bin.vek pic.bin old.txt 2>/dev/null
  "$real_vek" bundle -t -o text.vek new.txt old.txt 2>/dev/null
  printf 'old bundle\n' >out.vek
  # Two trees and the update between them: a file changed by script, one
  # by contents, one in mode only, one added in a new folder, one removed
  # with its folder, one removed beside others, a link changed, a file
  # that becomes a folder.
  mkdir -p tree/keep tree/gone tree2/keep tree2/new
  printf 'a\nb\nc\n' >tree/keep/text && printf 'a\nB\nc\nd\n' >tree2/keep/text
  printf 'x\0y' >tree/bin && printf 'x\0z' >tree2/bin
  printf 'm\n' >tree/mode && printf 'm\n' >tree2/mode && chmod 755 tree2/mode
  printf 'bye\n' >tree/gone/f && printf 'old\n' >tree/keep/old
  printf 'new\n' >tree2/new/f
  ln -s keep/text tree/ln && ln -s bin tree2/ln
  printf 'a file\n' >tree/turn && mkdir tree2/turn && printf 'in\n' >tree2/turn/inner
  "$real_vek" diff -r tree tree2 -o tree.upd 2>/dev/null
  rm -rf tree2
}
real_vek="$vek"
# state: every file with its mode and checksum (links as their targets),
# every folder with its mode.
state() {
  find . -mindepth 1 | sort | while read -r f; do
    if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"
    elif [ -d "$f" ]; then echo "$f/ $(stat -c %a "$f")"
    else echo "$f $(stat -c %a "$f") $(cksum <"$f")"; fi
  done
}

# sweep LABEL TARGETS STATUS -- ARGS...: TARGETS is a space-separated list
# of the files the command may change, STATUS its status without a fault.
sweep() {
  local label="$1" targets="$2" ok="$3"
  shift 4
  setup
  local before after_ok
  before="$(state)"
  VEK_FAULT_COUNT=1 TMPDIR="$work/s/tmp" "$vek" "$@" >"$work/out" 2>"$work/err"
  local status=$? count
  count="$(sed -n 's/^vek-fault-count //p' "$work/err")"
  after_ok="$(state)"
  if [ "$status" != "$ok" ] || [ -z "$count" ]; then
    echo "FAIL [$label] the run without a fault: status $status" >&2
    sed 's/^/    /' "$work/err" >&2
    failures=$((failures + 1))
    return
  fi
  local n refused=0
  for n in $(seq 1 "$count"); do
    setup
    VEK_FAULT_AT=$n TMPDIR="$work/s/tmp" "$vek" "$@" >"$work/out" 2>"$work/err"
    status=$?
    local now
    now="$(state)"
    if [ "$status" = "$ok" ]; then
      [ "$now" = "$after_ok" ] || { echo "FAIL [$label] fault $n: status 0 but the files differ from a clean run" >&2; failures=$((failures + 1)); }
      continue
    fi
    refused=$((refused + 1))
    if [ "$status" != 2 ]; then
      echo "FAIL [$label] fault $n: status $status, expected 2" >&2
      failures=$((failures + 1))
    fi
    if [ "$now" != "$before" ]; then
      echo "FAIL [$label] fault $n: the files changed:" >&2
      diff <(echo "$before") <(echo "$now") | sed 's/^/    /' >&2
      failures=$((failures + 1))
    fi
    local named=0 f
    for f in $targets "${@:2}"; do
      case "$f" in -*|'') continue ;; esac
      grep -qF -- "$f" "$work/err" && named=1
    done
    if [ "$named" = 0 ]; then
      echo "FAIL [$label] fault $n: the message names no file:" >&2
      sed 's/^/    /' "$work/err" >&2
      failures=$((failures + 1))
    fi
  done
  # The same operations interrupted by SIGINT: the run ends as the signal
  # ends it, every target old (or, past the last rename, new), nothing left.
  for n in $(seq 1 "$count"); do
    setup
    VEK_FAULT_AT=$n VEK_FAULT_SIGNAL=2 TMPDIR="$work/s/tmp" "$vek" "$@" >"$work/out" 2>"$work/err"
    status=$?
    local now
    now="$(state)"
    if [ "$status" != 130 ] || { [ "$now" != "$before" ] && [ "$now" != "$after_ok" ]; }; then
      echo "FAIL [$label] SIGINT at operation $n: status $status, files:" >&2
      diff <(echo "$before") <(echo "$now") | sed 's/^/    /' >&2
      failures=$((failures + 1))
    fi
  done
  echo "[  sweep   ] vek $label: $count file operations, each failed once: $refused refused (status 2, targets as they were), $((count - refused)) stepped around; each interrupted by SIGINT once"
  total_faults=$((total_faults + count))
  total_refused=$((total_refused + refused))
}

sweep "diff -o" "res" 1 -- diff -o res old.txt new.txt
sweep "patch in place" "file.txt" 0 -- patch -o file.txt file.txt s.ed
sweep "patch through a link" "link.txt sub/target.txt" 0 -- patch -o link.txt link.txt s.ed
sweep "bundle -t" "out.vek" 0 -- bundle -t -o out.vek old.txt new.txt
sweep "bundle from a pipe" "out.vek" 0 -- bundle -b -o out.vek /dev/stdin old.txt </dev/null
sweep "unbundle -b" "t1 t2" 0 -- unbundle -b bin.vek t1 t2
sweep "unbundle --lf through a link" "link.txt t2" 0 -- unbundle --lf text.vek link.txt t2
sweep "patch -r" "tree" 0 -- patch -r tree tree.upd
# Where the file system has no hard links the old files are renamed aside.
VEK_FAULT_NO_LINKS=1 sweep "unbundle -b without hard links" "t1 old.txt" 0 -- unbundle -b bin.vek t1 old.txt
VEK_FAULT_NO_LINKS=1 sweep "patch -r without hard links" "tree" 0 -- patch -r tree tree.upd
echo "[  sweep   ] vek: $total_faults faults injected, $total_refused refused, $failures failures"
[ "$failures" = 0 ]
