#!/usr/bin/env bash
# The typical road of the library, with vek, on the two versions of the file
# set in examples/fileset: bundle both versions, diff the bundles, keep the
# script, rebuild the new bundle from the old one with the script, check the
# checksums, write the files back and compare them with the originals. Then
# the tree road: one update from the v1 tree to the v2 tree, applied to a
# copy of v1.
#
# usage: typical_road.sh VEK WORKDIR
# Prints a short report; exit status 0 when every check holds.
set -u
vek="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$2"
here="$(cd "$(dirname "$0")" && pwd)"
set_dir="$here/fileset"
texts=(README.txt station.c station.h station.ini)
binary=logo.ico
problems=0

rm -rf "$work"
mkdir -p "$work/rebuilt"
work="$(cd "$work" && pwd)"

die() {
  echo "example: $*" >&2
  exit 2
}
bytes() { wc -c <"$1" | tr -d ' '; }
lines() { wc -l <"$1" | tr -d ' '; }
sum() { "$vek" crc "$1" | cut -c1-4; }
check() {  # check CONDITION-STATUS WHAT
  if [ "$1" = 0 ]; then echo "ok"; else problems=$((problems + 1)); echo "MISMATCH"; fi
}

# 1. One bundle per version: the text files line by line, the icon uuencoded
#    in the tenth place, which a text bundle keeps for a binary file.
for version in v1 v2; do
  (cd "$set_dir/$version" && "$vek" bundle --tenth "$binary" -o "$work/$version.vek" "${texts[@]}") ||
    die "vek bundle failed for $version"
done

# 2. The edit script that turns the old bundle into the new one; kept.
"$vek" diff "$work/v1.vek" "$work/v2.vek" >"$work/v1-to-v2.ed"
[ $? = 1 ] || die "vek diff found no differences or failed"

# 3. The new bundle rebuilt from the old one and the script.
"$vek" patch "$work/v1.vek" "$work/v1-to-v2.ed" -o "$work/v2-rebuilt.vek" ||
  die "vek patch refused the script"

# 4. Checksums: of the rebuilt bundle, of the bundle made from the files, and
#    of the files themselves as a bundle (computed by the library from disk).
sum_new="$(sum "$work/v2.vek")"
sum_rebuilt="$(sum "$work/v2-rebuilt.vek")"
sum_files="$(cd "$set_dir/v2" && "$vek" crc --tenth "$binary" "${texts[@]}" | cut -c1-4)"

# 5. The files written back from the rebuilt bundle.
(cd "$work/rebuilt" && "$vek" unbundle --lf --tenth "$binary" "$work/v2-rebuilt.vek" "${texts[@]}") ||
  die "vek unbundle failed"

# 6. The tree road: the update that turns the v1 tree into v2, applied to a
#    copy of v1 all or nothing.
cp -R "$set_dir/v1" "$work/tree"
"$vek" diff -r "$set_dir/v1" "$set_dir/v2" -o "$work/v1-to-v2.upd"
[ $? = 1 ] || die "vek diff -r found no differences or failed"
paths="$("$vek" patch -r --dry-run "$work/tree" "$work/v1-to-v2.upd" | wc -l | tr -d ' ')"
"$vek" patch -r "$work/tree" "$work/v1-to-v2.upd" || die "vek patch -r refused the update"

files=${#texts[@]}
files=$((files + 1))
echo "VekWin32 example: the typical road on examples/fileset ($files files, versions v1 and v2)"
echo
printf '  bundle    v1 -> v1.vek           %6s bytes %4s lines  checksum %s\n' \
  "$(bytes "$work/v1.vek")" "$(lines "$work/v1.vek")" "$(sum "$work/v1.vek")"
printf '            v2 -> v2.vek           %6s bytes %4s lines  checksum %s\n' \
  "$(bytes "$work/v2.vek")" "$(lines "$work/v2.vek")" "$sum_new"
printf '  diff      v1.vek -> v2.vek       %6s bytes %4s lines  script kept as %s\n' \
  "$(bytes "$work/v1-to-v2.ed")" "$(lines "$work/v1-to-v2.ed")" "$work/v1-to-v2.ed"
printf '  patch     v1.vek + script        %6s bytes %4s lines  -> v2-rebuilt.vek\n' \
  "$(bytes "$work/v2-rebuilt.vek")" "$(lines "$work/v2-rebuilt.vek")"
cmp -s "$work/v2.vek" "$work/v2-rebuilt.vek"
printf '  compare   v2-rebuilt.vek = v2.vek byte for byte: %s\n' "$(check $?)"
[ "$sum_rebuilt" = "$sum_new" ] && [ "$sum_files" = "$sum_new" ]
printf '  checksums rebuilt %s, bundle %s, v2 files on disk %s: %s\n' \
  "$sum_rebuilt" "$sum_new" "$sum_files" "$(check $?)"
echo "  unbundle  v2-rebuilt.vek -> $files files, compared with examples/fileset/v2:"
for name in "${texts[@]}" "$binary"; do
  cmp -s "$set_dir/v2/$name" "$work/rebuilt/$name"
  printf '              %-12s %6s bytes  identical: %s\n' "$name" \
    "$(bytes "$work/rebuilt/$name")" "$(check $?)"
done
printf '  diff -r   v1/ -> v2/             %6s bytes %4s lines  update of %s paths, kept as %s\n' \
  "$(bytes "$work/v1-to-v2.upd")" "$(lines "$work/v1-to-v2.upd")" "$paths" "$work/v1-to-v2.upd"
diff -r "$set_dir/v2" "$work/tree" >/dev/null
printf '  patch -r  copy of v1/ + update = v2/ byte for byte: %s\n' "$(check $?)"
echo
if [ "$problems" = 0 ]; then
  echo "Result: v2 rebuilt from v1 and a $(bytes "$work/v1-to-v2.ed")-byte script; all $files files identical."
else
  echo "Result: $problems check(s) failed."
  exit 1
fi
