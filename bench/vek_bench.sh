#!/usr/bin/env bash
# Side-by-side benchmark of vek against the usual tools, as whole processes
# on the same inputs:
#   vek diff   against  diff -e  (time and memory; script sizes)
#   vek patch  against  ed applying the same script
#   vek bundle -b  against  uuencode; vek unbundle -b against uudecode
#   vek crc -b  against  uuencode | sum -s; vek crc  against  sum -s
# Inputs are made from text and binary files found on this machine: a line
# file of 524,288 lines with about 1% and about 10% of its lines changed, an
# unrelated text of as many lines, shifted copies of its first 100,000
# lines, successive versions of the Python libraries found on the machine,
# a large binary file and a set of many small files. Every run is checked
# for a correct result before its time counts. Prints wall time and peak
# memory (/usr/bin/time) of each, the ratios vek / peer, and the script
# sizes of vek diff against diff -e, as Markdown tables.
#
# usage: bench/vek_bench.sh VEK [WORKDIR]
#   VEK      the vek program (e.g. build/linux/bin/vek)
#   WORKDIR  where the inputs go (default: a temporary folder, removed after)
# Needs: /usr/bin/time (package time), diff, ed, uuencode and uudecode (sharutils),
# sum (coreutils), python3.
# RUNS=N repeats each measurement N times (default 3) and keeps the fastest.
# FILES_ONLY=1 measures only the file commands (bundle, unbundle, crc).
set -eu
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
runs="${RUNS:-3}"
lines=524288
for tool in /usr/bin/time diff ed uuencode uudecode sum python3; do
  command -v "$tool" >/dev/null || { echo "vek_bench: $tool is missing" >&2; exit 2; }
done
if [ $# -ge 2 ]; then
  work="$2"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/vek-bench.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

# --- inputs -----------------------------------------------------------------
# Text: lines of the C headers and documentation on this machine, without
# NUL bytes and without lines that begin with '.', which an edit script
# cannot carry as text (diff -e would escape them; vek refuses them).
if [ ! -s base.txt ]; then
  { find /usr/include /usr/share/doc /usr/share/perl* /usr/lib/python3* -type f \
      \( -name '*.h' -o -name '*.txt' -o -name '*.py' -o -name '*.pm' -o -name 'README*' \) \
      -size -512k 2>/dev/null | sort | xargs cat 2>/dev/null || true; } |
    tr -d '\000\r' | grep -av '^\.' | head -n "$lines" >base.txt
  have="$(wc -l <base.txt)"
  [ "$have" -ge 1000 ] || { echo "vek_bench: only $have text lines found on this machine" >&2; exit 2; }
  if [ "$have" -lt "$lines" ]; then
    # A small machine: the text found is repeated, each pass marked.
    awk -v want="$lines" '{ text[NR] = $0 } END {
      for (n = 0; n < want; n++) { i = n % NR + 1; pass = int(n / NR)
        print (pass ? text[i] " [" pass "]" : text[i]) } }' base.txt >base.tmp && mv base.tmp base.txt
  fi
fi

# A changed copy: per line, with probability RATE, the line is replaced,
# removed, or followed by a new line (half, a quarter, a quarter); the copy
# is then cut or padded to the same line count, so both fit a buffer.
make_changed() {  # make_changed RATE SEED OUT [BASE]
  python3 - "$1" "$2" "$3" "${4:-base.txt}" <<'PY'
import random, sys
rate, seed, out, base = float(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
rng = random.Random(seed)
lines = open(base, "rb").read().split(b"\n")[:-1]
new, changed = [], 0
for line in lines:
    r = rng.random()
    if r < rate / 2:
        new.append(b"changed %d: " % rng.randrange(10**9) + line[: rng.randrange(1, 80)])
        changed += 1
    elif r < rate * 3 / 4:
        changed += 1
    elif r < rate:
        new.append(line)
        new.append(b"inserted line %d" % rng.randrange(10**9))
        changed += 1
    else:
        new.append(line)
new = new[: len(lines)]
while len(new) < len(lines):
    new.append(b"padding line %d" % len(new))
open(out, "wb").write(b"".join(l + b"\n" for l in new))
print(changed)
PY
}
[ -s new1.txt ] || echo "$(make_changed 0.01 1 new1.txt)" >new1.count
[ -s new10.txt ] || echo "$(make_changed 0.10 10 new10.txt)" >new10.count
# Unrelated: the same kinds of files, taken from the other end of the list.
if [ ! -s other.txt ]; then
  { find /usr/include /usr/share/doc /usr/share/perl* /usr/lib/python3* -type f \
      \( -name '*.h' -o -name '*.txt' -o -name '*.py' -o -name '*.pm' -o -name 'README*' \) \
      -size -512k 2>/dev/null | sort -r | xargs cat 2>/dev/null || true; } |
    tr -d '\000\r' | grep -av '^\.' | head -n "$lines" >other.txt
  while [ "$(wc -l <other.txt)" -lt "$lines" ]; do cat base.txt >>other.txt; done
  head -n "$lines" other.txt >other.tmp && mv other.tmp other.txt
fi

# Twice as long: base.txt and other.txt, 1,048,576 lines, and a copy with
# about 1% of its lines changed (more lines than a buffer holds: only the
# whole-file diff compares them).
[ -s base2.txt ] || cat base.txt other.txt >base2.txt
[ -s new2.txt ] || echo "$(make_changed 0.01 2 new2.txt base2.txt)" >new2.count

# Binary: one large file of program bytes (16 MiB), and a set of 1,000
# small files (up to 64 KiB) from /usr/lib and /usr/share.
if [ ! -s big.bin ]; then
  find /usr/lib /usr/bin -type f -size +100k 2>/dev/null | sort | head -400 | xargs cat 2>/dev/null |
    head -c $((16 * 1024 * 1024)) >big.bin || true
fi
if [ ! -d set ]; then
  mkdir set
  i=0
  find /usr/lib /usr/share -type f -size -64k -size +0 -readable 2>/dev/null | sort | head -1000 |
    while read -r f; do
      cp "$f" "set/f$i" 2>/dev/null && i=$((i + 1))
    done
fi
set_files=$(ls set | wc -l)
set_bytes=$(cat set/* | wc -c)

# --- measuring --------------------------------------------------------------
# measure NAME COMMAND: runs COMMAND (a bash string) $runs times; keeps the
# fastest wall time and the peak memory of that run in T_NAME and M_NAME.
# Wall time is taken around the process in nanoseconds (/usr/bin/time
# rounds to 10 ms); peak memory (maximum resident set) comes from
# /usr/bin/time -v.
measure() {
  local name="$1" command="$2" best="" mem="" t m start end
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -v -o time.out bash -c "$command" >/dev/null 2>run.err || true
    end=$(date +%s%N)
    t=$(awk "BEGIN{ printf \"%.3f\", ($end - $start) / 1e9 }")
    m=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.out)
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; mem="$m"; fi
  done
  eval "T_$name=$best; M_$name=$mem"
}
verify() {  # verify WHAT FILE1 FILE2
  cmp -s "$2" "$3" || { echo "vek_bench: $1: wrong result ($2 differs from $3)" >&2; exit 1; }
}
ratio() { awk "BEGIN{ if ($2 > 0) printf \"%.2f\", $1 / $2; else print \"-\" }"; }
mib() { awk "BEGIN{ printf \"%.1f\", $1 / 1024 }"; }
row() {  # row TASK VEK_NAME PEER_NAME PEER_LABEL
  local tv="T_$2" mv="M_$2" tp="T_$3" mp="M_$3"
  printf '| %s | %s s | %s MiB | %s | %s s | %s MiB | %s | %s |\n' "$1" "${!tv}" "$(mib "${!mv}")" \
    "$4" "${!tp}" "$(mib "${!mp}")" "$(ratio "${!tv}" "${!tp}")" "$(ratio "${!mv}" "${!mp}")"
}

if [ -z "${FILES_ONLY:-}" ]; then
for pct in 1 10; do
  new="new$pct.txt"
  # vek diff, checked: its script applied by ed gives the new file
  measure "vekdiff$pct" "'$vek' diff base.txt $new > vek$pct.ed; [ \$? = 1 ]"
  measure "gnudiff$pct" "diff -e base.txt $new > gnu$pct.ed; [ \$? = 1 ]"
  (cat "vek$pct.ed"; echo "w ed$pct.out"; echo q) | ed -s base.txt >/dev/null
  verify "vek diff ($pct%)" "ed$pct.out" "$new"
  # vek patch and ed on the same script (vek's)
  measure "vekpatch$pct" "'$vek' patch base.txt vek$pct.ed -o patched$pct.txt"
  verify "vek patch ($pct%)" "patched$pct.txt" "$new"
  measure "ed$pct" "(cat vek$pct.ed; echo w ed$pct.out; echo q) | ed -s base.txt"
  verify "ed ($pct%)" "ed$pct.out" "$new"
done

measure vekdiff2 "'$vek' diff base2.txt new2.txt > vek2.ed; [ \$? = 1 ]"
measure gnudiff2 "diff -e base2.txt new2.txt > gnu2.ed; [ \$? = 1 ]"
(cat vek2.ed; echo "w ed2.out"; echo q) | ed -s base2.txt >/dev/null
verify "vek diff (1,048,576 lines)" ed2.out new2.txt

measure vekdiffU "'$vek' diff base.txt other.txt > vekU.ed; [ \$? = 1 ]"
measure gnudiffU "diff -e base.txt other.txt > gnuU.ed; [ \$? = 1 ]"
(cat vekU.ed; echo "w edU.out"; echo q) | ed -s base.txt >/dev/null
verify "vek diff (unrelated)" edU.out other.txt
fi

measure vekbig "'$vek' bundle -b -o big.vek big.bin"
measure uubig "uuencode big.bin xxxx > big.uu"
(cd set && ls | sort -V) >set.list
measure vekset "cd set && xargs -n 10 sh -c 'exec \"\$0\" bundle -b -o ../set-\$1.vek \"\$@\"' '$vek' <../set.list"
measure uuset "cd set && while read -r f; do uuencode \"\$f\" xxxx; done <../set.list >../set.uu"
# the bundles decode to the files again, through vek and through uudecode
mkdir -p back
measure vekunbig "cd back && '$vek' unbundle -b ../big.vek big.bin"
verify "vek unbundle -b" back/big.bin big.bin
measure uudbig "cd back && uudecode -o uu.bin ../big.uu"
verify "uudecode" back/uu.bin big.bin
# checksums: of the bundle the file makes, and of a text file's lines
measure vekcrcbig "'$vek' crc -b big.bin > crc-big.out"
measure uusumbig "uuencode big.bin xxxx | sum -s > sum-big.out"
measure vekcrctext "'$vek' crc base.txt > crc-text.out"
measure sumtext "sum -s base.txt > sum-text.out"
# vek crc -b is the checksum of the bundle's bytes; vek crc of a line file
# that of its lines (each with a line feed) as a buffer holds them
python3 - <<'PY'
def signed_sum(data):
    high = len(data) - len(data.translate(None, bytes(range(128, 256))))
    return (sum(data) - 256 * high) % 65536
big = open("big.vek", "rb").read()
text = open("base.txt", "rb").read()
if not text.endswith(b"\n"):
    text += b"\n"
for path, want in (("crc-big.out", signed_sum(big)), ("crc-text.out", signed_sum(text))):
    got = int(open(path).read().split()[0], 16)
    if got != want:
        raise SystemExit("vek_bench: %s: %04X, expected %04X" % (path, got, want))
PY

# --- report -----------------------------------------------------------------
cat <<EOF
Inputs: base.txt $(wc -l <base.txt) lines, $(wc -c <base.txt) bytes; new1.txt with $(cat new1.count) lines changed (~1%), new10.txt with $(cat new10.count) (~10%); base2.txt $(wc -l <base2.txt) lines, new2.txt with $(cat new2.count) changed; big.bin $(wc -c <big.bin) bytes; a set of $set_files files, $set_bytes bytes.
Machine: $(nproc) cores, $(uname -sm); fastest of $runs runs each.

| task | vek time | vek peak memory | peer | peer time | peer peak memory | time ratio | memory ratio |
|---|---|---|---|---|---|---|---|
EOF
if [ -z "${FILES_ONLY:-}" ]; then
  row "diff, 1% changed" vekdiff1 gnudiff1 "diff -e"
  row "diff, 10% changed" vekdiff10 gnudiff10 "diff -e"
  row "diff, 1,048,576 lines, 1% changed" vekdiff2 gnudiff2 "diff -e"
  row "diff, unrelated texts" vekdiffU gnudiffU "diff -e"
  row "patch, 1% changed" vekpatch1 ed1 "ed"
  row "patch, 10% changed" vekpatch10 ed10 "ed"
fi
row "bundle -b, one 16 MiB file" vekbig uubig "uuencode"
row "bundle -b, $set_files small files (10 per bundle)" vekset uuset "uuencode (one per file)"
row "unbundle -b, one 16 MiB file" vekunbig uudbig "uudecode"
row "crc -b, one 16 MiB file" vekcrcbig uusumbig "uuencode piped to sum -s"
row "crc of base.txt (lines)" vekcrctext sumtext "sum -s"
[ -z "${FILES_ONLY:-}" ] || exit 0
echo
echo "Script sizes: vek $(wc -l <vek1.ed) / diff -e $(wc -l <gnu1.ed) lines (1%), vek $(wc -l <vek10.ed) / diff -e $(wc -l <gnu10.ed) lines (10%)."

# --- script sizes -------------------------------------------------------------
# vek diff (whole-file, the default) against diff -e, in bytes: shifts of
# the first 100,000 lines of base.txt, the same with lines that begin with
# '.' and lone "." lines mixed in (both scripts escape a "." text line as ed
# needs), and every pair of successive versions of the longer Python library
# modules on this machine. Each vek script is checked with ed and with vek
# patch.
python3 - "$vek" <<'PY'
import glob, os, random, re, statistics, subprocess, sys
vek = sys.argv[1]
base = open("base.txt", "rb").read().split(b"\n")[:100000]
def write(path, lines):
    open(path, "wb").write(b"".join(l + b"\n" for l in lines))
def sizes(old, new):
    v = subprocess.run([vek, "diff", old, new, "-o", "s-vek.ed"], stderr=subprocess.DEVNULL)
    if v.returncode == 2:
        return None
    gnu = subprocess.run(["diff", "-e", old, new], capture_output=True).stdout
    script = open("s-vek.ed", "rb").read()
    rebuilt = subprocess.run(["ed", "-s", old], input=script + b",p\nQ\n", capture_output=True).stdout
    patched = subprocess.run([vek, "patch", old, "s-vek.ed"], capture_output=True).stdout
    if rebuilt != open(new, "rb").read() or patched != rebuilt:
        sys.exit("vek_bench: vek's script does not rebuild %s" % new)
    return len(script), len(gnu)
def shifted(base):
    return [
        ("one line inserted at the top", [b"a line at the top"] + base),
        ("one line deleted at the top", base[1:]),
        ("2,000 lines inserted at the top", base[50000:52000] + base),
        ("a 3,000-line block moved 30,000 lines down",
         base[:30000] + base[33000:63000] + base[30000:33000] + base[63000:]),
        ("every 97th line deleted", [l for i, l in enumerate(base) if i % 97 != 96]),
    ]
rng = random.Random(18)
dotted = [rng.choice([b".", b".", b".PHONY: all", b".. note::", b".B bold"])
          if rng.random() < 0.03 else l for l in base]
print("\n| 100,000-line case | vek diff bytes | diff -e bytes | ratio |\n|---|---|---|---|")
for label, old in (("", base), (", 3% '.' lines", dotted)):
    write("s-old.txt", old)
    for name, new in shifted(old):
        write("s-new.txt", new)
        v, g = sizes("s-old.txt", "s-new.txt")
        print("| %s%s | %s | %s | %.4f |" % (name, label, format(v, ","), format(g, ","), v / g))

def version(path):
    m = re.search(r"python(\d+)\.(\d+)", path)
    return (int(m.group(1)), int(m.group(2)))
roots = {}
for root in glob.glob("/root/.pyenv/versions/*/lib/python3.*") + glob.glob("/usr/lib/python3.*"):
    if re.search(r"python3\.\d+$", root):
        roots.setdefault(version(root), root)
ordered = [roots[k] for k in sorted(roots)]
ratios, refused, with_dots, total_v, total_g, worse = [], 0, 0, 0, 0, 0
for old_root, new_root in zip(ordered, ordered[1:]):
    for old in sorted(glob.glob(old_root + "/*.py")):
        new = new_root + "/" + os.path.basename(old)
        if not os.path.exists(new) or sum(1 for _ in open(old, "rb")) < 1000:
            continue
        if open(old, "rb").read() == open(new, "rb").read():
            continue
        got = sizes(old, new)
        if got is None:
            refused += 1
            continue
        v, g = got
        with_dots += any(l.startswith(b".") for l in open(new, "rb").read().split(b"\n"))
        total_v += v; total_g += g; ratios.append(v / g); worse += v > g
if ratios:
    print("\nHistory: %d pairs of successive versions of Python library modules of 1,000 lines "
          "or more (%s), %d of them with lines that begin with '.'; vek refused %d." %
          (len(ratios), ", ".join("%d.%d" % k for k in sorted(roots)), with_dots, refused))
    print("\n| history | vek diff bytes | diff -e bytes | ratio |\n|---|---|---|---|")
    print("| all pairs | %s | %s | %.4f |" % (format(total_v, ","), format(total_g, ","), total_v / total_g))
    print("| median pair | | | %.4f |" % statistics.median(ratios))
    print("| largest ratio | | | %.4f |" % max(ratios))
    print("\nPairs where vek's script is larger than diff -e's: %d." % worse)
else:
    print("\nHistory: fewer than two Python library versions on this machine; no pairs.")
PY
