#!/usr/bin/env bash
# Runs one binding's road test (bindings/LANGUAGE) against the library of a
# build, on the example file set. Exit status 77 (skipped) only when the
# language's tools are missing; scripts/install-deps.sh installs them.
# usage: binding_road_test.sh python|dotnet|pascal LIBRARY VERSION WORKDIR
set -eu
language="$1" library="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")" version="$3" work="$4"
root="$(cd "$(dirname "$0")/../.." && pwd)"
fileset="$root/examples/fileset"
libdir="$(dirname "$library")"
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}
rm -rf "$work" && mkdir -p "$work"
case "$language" in
  python)
    need python3
    cd "$work"
    VEKWIN32_LIBRARY="$library" VEKWIN32_VERSION="$version" VEKWIN32_FILESET="$fileset" \
      PYTHONPATH="$root/bindings/python" PYTHONDONTWRITEBYTECODE=1 \
      timeout 300 python3 -m unittest discover -v -s "$root/bindings/python/tests"
    ;;
  dotnet)
    need mcs mono
    mcs -nologo -warnaserror -out:"$work/road_test.exe" \
      "$root/bindings/dotnet/VekWin32.cs" "$root/bindings/dotnet/RoadTest.cs"
    # Mono maps the library's name to the file with a dllmap, as a host would.
    printf '<configuration>\n  <dllmap dll="VekWin32" target="%s" />\n</configuration>\n' \
      "$library" >"$work/road_test.exe.config"
    timeout 300 mono "$work/road_test.exe" "$fileset" "$work"
    ;;
  pascal)
    need fpc
    fpc -vew -Sew -FU"$work" -FE"$work" -Fu"$root/bindings/pascal" -Fl"$libdir" \
      "$root/bindings/pascal/road_test.pas" >"$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }
    LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" timeout 300 "$work/road_test" "$fileset" "$work"
    ;;
  *) echo "unknown binding $language" >&2; exit 2 ;;
esac
