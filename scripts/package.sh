#!/usr/bin/env bash
# Builds every package into build/packages:
#   VekWin32-<version>-win32.zip      32-bit VekWin32.dll, import libraries, .def,
#   VekWin32-<version>-win64.zip      header, vek.exe, debug files, manual,
#                                     README.txt, LICENSE.txt, example hosts,
#                                     bindings (Python, C#, Pascal)
#   VekWin32-<version>-linux-x86_64.tar.gz and vekwin32_<version>_amd64.deb
#                                     libvekwin32.so, header, pkg-config, CMake
#                                     package, vek and its man page, bindings
#   vekwin32-<version>-py3-none-{linux_x86_64,win32,win_amd64}.whl
#                                     the Python binding with the library of
#                                     its platform; vekwin32-<version>.tar.gz
#                                     the binding alone (sdist)
#   VekWin32.<version>.nupkg          the C# binding (VekWin32.Net.dll) with
#                                     the library of each runtime
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
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)"
python3 scripts/python-wheels.py "$version" build/packages \
  linux_x86_64="$(readlink -f build/linux/lib/libvekwin32.so)" \
  win32=build/windows/bin/VekWin32.dll win_amd64=build/windows64/bin/VekWin32.dll >/dev/null
scripts/nuget-package.sh "$version" build/packages build/linux/lib/libvekwin32.so \
  build/windows/bin/VekWin32.dll build/windows64/bin/VekWin32.dll >/dev/null
(cd build/packages && for file in vekwin32-"$version"*.whl vekwin32-"$version".tar.gz VekWin32."$version".nupkg; do
   sha256sum "$file" >"$file.sha256"
 done)
ls -l build/packages
