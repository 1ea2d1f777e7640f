#!/usr/bin/env bash
# Builds every package into build/packages:
#   VekWin32-<version>-win32.zip      32-bit VekWin32.dll, import libraries, .def,
#   VekWin32-<version>-win64.zip      header, vek.exe, debug files, manual,
#                                     README.txt, LICENSE.txt, example hosts,
#                                     bindings (Python, C#, Pascal)
#   VekWin32-<version>-linux-x86_64.tar.gz and vekwin32_<version>_amd64.deb
#                                     libvekwin32.so, header, pkg-config, CMake
#                                     package, vek and its man page, bindings
# It installs what it needs (as root), and packages the same builds the tests
# run (build/linux, build/windows, build/windows64).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh test
scripts/build.sh linux windows windows64
mkdir -p build/packages
for name in linux windows windows64; do
  (cd "build/$name" && cpack -B "$root/build/packages" >/dev/null)
done
rm -rf build/packages/_CPack_Packages
ls -l build/packages
