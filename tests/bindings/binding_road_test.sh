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
    # Installed as a user would (pip install bindings/python), into a venv of
    # its own; offline, so the build tools come from the system's packages.
    python=python3
    if /usr/bin/python3 -c 'import venv, wheel, setuptools' 2>/dev/null; then
      /usr/bin/python3 -m venv --system-site-packages "$work/venv"
      cp -r "$root/bindings/python" "$work/source"
      timeout 300 "$work/venv/bin/pip" install -q --no-build-isolation --no-index "$work/source"
      python="$work/venv/bin/python"
      case "$("$python" -c 'import vekwin32; print(vekwin32.__file__)')" in
        "$work/venv/"*) ;;
        *) echo "the installed package is not the one imported" >&2; exit 1 ;;
      esac
    else
      echo "pip install not checked: the system's python3-venv, -wheel or -setuptools is missing"
      export PYTHONPATH="$root/bindings/python"
    fi
    VEKWIN32_LIBRARY="$library" VEKWIN32_VERSION="$version" VEKWIN32_FILESET="$fileset" \
      PYTHONDONTWRITEBYTECODE=1 \
      timeout 300 "$python" -m unittest discover -v -s "$root/bindings/python/tests"
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
    # Loaded at run time (VekLoad, the default), then linked (VEKWIN32_STATIC).
    for mode in dynamic static; do
      mkdir -p "$work/$mode"
      fpc -vew -Sew -FU"$work/$mode" -FE"$work/$mode" -Fu"$root/bindings/pascal" -Fl"$libdir" \
        $([ $mode = static ] && echo -dVEKWIN32_STATIC) \
        "$root/bindings/pascal/road_test.pas" >"$work/fpc.log" || { cat "$work/fpc.log"; exit 1; }
      LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" timeout 300 "$work/$mode/road_test" \
        "$fileset" "$work/$mode" "$library"
    done
    ;;
  *) echo "unknown binding $language" >&2; exit 2 ;;
esac
