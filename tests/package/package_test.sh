#!/usr/bin/env bash
# Checks the packages in BUILD_ROOT/packages (made by scripts/package.sh):
# - each Windows zip holds exactly the files a Windows developer is promised,
#   for its own bitness, with the DLL and VekWin32.lib the Windows tests used
#   (BUILD_ROOT/windows and BUILD_ROOT/windows64), stripped, with their debug
#   files, the licence and copyright, the Windows README and manual; its
#   example hosts build from the zip alone with MinGW, as its README says,
#   and run under wine;
# - the Linux tarball holds the library with its SONAME, the licence and the
#   rest, and the Python binding in it finds that library by itself and runs
#   its road;
# - both carry the bindings (bindings/ of this tree);
# - the .deb, unpacked into a fresh root, serves a host built against it with
#   pkg-config and with find_package, and its vek runs;
# - the Python wheels and the NuGet package (binding_packages_test.sh).
# usage: package_test.sh BUILD_ROOT
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
source="$(cd "$here/../.." && pwd)"
build="$(cd "$1" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/linux/CMakeCache.txt")"
packages="$build/packages"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-package-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
source_root="$(cd "$here/../.." && pwd)"
# The binding files a package carries, relative to bindings/.
binding_files=$(cd "$source_root/bindings" && find . -type f ! -path '*/__pycache__/*' ! -path '*.egg-info/*' ! -path './python/build/*' | sed 's|^\./||' | sort)
failures=0
fail() { failures=$((failures + 1)); echo "FAIL $*" >&2; }

# machine FILE: the machine field of a PE file (i386 or x86-64)
machine() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
print({0x14C: "i386", 0x8664: "x86-64"}.get(struct.unpack_from("<H", data, pe + 4)[0], "other"))
PY
}

for flavour in win32:windows:i386:i686-w64-mingw32 win64:windows64:x86-64:x86_64-w64-mingw32; do
  IFS=: read -r system dir arch triple <<<"$flavour"
  zip="$packages/VekWin32-$version-$system.zip"
  [ -s "$zip" ] || { fail "no $zip"; continue; }
  top="VekWin32-$version-$system"
  want="$top/README.txt $top/LICENSE.txt $top/bin/VekWin32.def $top/bin/VekWin32.dll $top/bin/vek.exe
        $top/bin/VekWin32.dll.debug $top/bin/vek.exe.debug
        $top/examples/example_host.c $top/examples/loadlibrary_host.c $top/include/vekwin32.h
        $top/lib/VekWin32.lib $top/lib/cmake/VekWin32/VekWin32Config.cmake
        $top/lib/cmake/VekWin32/VekWin32ConfigVersion.cmake $top/lib/cmake/VekWin32/VekWin32Targets-release.cmake
        $top/lib/cmake/VekWin32/VekWin32Targets.cmake $top/lib/libVekWin32.dll.a $top/lib/pkgconfig/vekwin32.pc
        $top/share/man/man1/vek.1 $top/vek.txt $(for f in $binding_files; do echo "$top/bindings/$f"; done)"
  have=$(python3 -c 'import sys, zipfile
print(" ".join(sorted(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))))' "$zip")
  [ "$have" = "$(echo $want | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')" ] ||
    fail "$system zip holds: $have"
  mkdir -p "$work/$system" && python3 -m zipfile -e "$zip" "$work/$system"
  unpacked="$work/$system/$top"
  for file in bin/VekWin32.dll bin/vek.exe; do
    [ "$(machine "$unpacked/$file")" = "$arch" ] || fail "$system: $file is not $arch"
  done
  cmp -s "$unpacked/bin/VekWin32.dll" "$build/$dir/bin/VekWin32.dll" || fail "$system: not the tested DLL"
  cmp -s "$unpacked/lib/VekWin32.lib" "$build/$dir/lib/VekWin32.lib" || fail "$system: not the tested VekWin32.lib"
  cmp -s "$unpacked/bin/VekWin32.def" "$here/../../src/api/vekwin32.def" || fail "$system: .def differs"
  grep -q "^#define VEKWIN32_VERSION_STRING \"$version\"" "$unpacked/include/vekwin32.h" ||
    fail "$system: header does not carry version $version"
  strings -el "$unpacked/bin/vek.exe" | grep -A1 -x OriginalFilename | grep -qx vek.exe ||
    fail "$system: vek.exe has no version resource"
  strings -el "$unpacked/bin/vek.exe" | grep -A1 -x ProductVersion | grep -qx "$version" ||
    fail "$system: vek.exe's version resource is not $version"
  grep -q "^SYNOPSIS" "$unpacked/vek.txt" || fail "$system: vek.txt is not the rendered manual"
  grep -q "volume and file index" "$unpacked/vek.txt" &&
    ! grep -Eq "inode|SIGHUP|SIGKILL|sticky|<\(|man vek|/dev/" "$unpacked/vek.txt" ||
    fail "$system: vek.txt does not speak Windows only"
  [ "$(grep -c $'\r$' "$unpacked/vek.txt")" = "$(wc -l <"$unpacked/vek.txt")" ] ||
    fail "$system: vek.txt does not have CR LF line ends"
  for pair in README.txt:docs/windows/README.txt LICENSE.txt:LICENSE \
              examples/example_host.c:examples/example_host.c \
              examples/loadlibrary_host.c:examples/loadlibrary_host.c; do
    cmp -s "$unpacked/${pair%%:*}" "$source/${pair#*:}" || fail "$system: ${pair%%:*} is not ${pair#*:}"
  done
  for file in bin/VekWin32.dll bin/vek.exe; do
    strings -el "$unpacked/$file" | grep -A1 -x LegalCopyright | grep -q "The VekWin32 authors. MIT License" ||
      fail "$system: $file has no copyright in its version resource"
    sections="$("$triple-objdump" -h "$unpacked/$file")"
    echo "$sections" | grep -q "\.debug_info" && fail "$system: $file is not stripped"
    echo "$sections" | grep -q "\.gnu_debuglink" || fail "$system: $file names no debug file"
    "$triple-objdump" -h "$unpacked/$file.debug" | grep -q "\.debug_info" ||
      fail "$system: $file.debug holds no debug information"
  done
  # The examples, built from the zip alone as its README says, run beside the DLL.
  (
    cd "$unpacked" &&
      "$triple-gcc" -Wall -Wextra -Werror -I include examples/example_host.c -L lib -lVekWin32 \
        -static-libgcc -o bin/example_host.exe &&
      "$triple-gcc" -Wall -Wextra -Werror -I include examples/loadlibrary_host.c -static-libgcc \
        -o bin/loadlibrary_host.exe
  ) || fail "$system: the examples do not build from the zip"
  for host in example_host loadlibrary_host; do
    [ -s "$unpacked/bin/$host.exe" ] || continue
    "$source/scripts/wine-run.sh" "$unpacked/bin/$host.exe" >"$work/$system-$host.out" ||
      fail "$system: $host failed: $(cat "$work/$system-$host.out")"
  done
done

tarball="$packages/VekWin32-$version-linux-x86_64.tar.gz"
if [ -s "$tarball" ]; then
  tar -xzf "$tarball" -C "$work"
  top="$work/VekWin32-$version-linux-x86_64"
  for path in bin/vek include/vekwin32.h lib/libvekwin32.so lib/pkgconfig/vekwin32.pc \
              lib/cmake/VekWin32/VekWin32Config.cmake share/man/man1/vek.1 \
              share/doc/vekwin32/README.md share/doc/vekwin32/copyright; do
    [ -e "$top/$path" ] || fail "tarball lacks $path"
  done
  objdump -p "$top/lib/libvekwin32.so" | grep -q "SONAME *libvekwin32.so.1$" || fail "tarball: SONAME is not libvekwin32.so.1"
  for f in $binding_files; do
    cmp -s "$source_root/bindings/$f" "$top/share/vekwin32/bindings/$f" || fail "tarball: bindings/$f missing or differs"
  done
  (cd "$work" && VEKWIN32_FILESET="$source_root/examples/fileset" PYTHONDONTWRITEBYTECODE=1 \
     PYTHONPATH="$top/share/vekwin32/bindings/python" timeout 300 \
     python3 -m unittest discover -s "$top/share/vekwin32/bindings/python/tests" >"$work/python.log" 2>&1) ||
    { cat "$work/python.log"; fail "tarball: the Python binding's road fails with the tarball's library"; }
else
  fail "no $tarball"
fi

deb="$(ls "$packages"/vekwin32_"$version"_*.deb 2>/dev/null | head -1)"
if [ -n "$deb" ]; then
  [ "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: vekwin32 Version: $version " ] ||
    fail "deb: wrong name or version"
  dpkg-deb -f "$deb" Depends | grep -q "libc6" || fail "deb: no dependency on the C library"
  dpkg -x "$deb" "$work/root"
  copyright="$work/root/usr/share/doc/vekwin32/copyright"
  grep -q "^Copyright: 2026 The VekWin32 authors$" "$copyright" && grep -q "^License: Expat$" "$copyright" &&
    grep -q "^ Permission is hereby granted, free of charge" "$copyright" || fail "deb: no MIT copyright file"
  bash "$here/../cli/install_test.sh" --installed "$work/root/usr" || fail "deb: hosts built against the unpacked package"
else
  fail "no .deb"
fi

bash "$here/binding_packages_test.sh" "$build" || fail "the binding packages"

echo "package test: $failures failures"
[ "$failures" = 0 ]
