#!/usr/bin/env bash
# Builds tests/api/msvc_host.c for Microsoft's ABI, as a host made with
# Microsoft's tools would be (clang --target=TRIPLE, lld-link against the
# import library VekWin32.lib), checks that it imports the exports by their
# plain names from VEKWIN32.dll, and runs it under wine beside the DLL; it
# also looks exports up with GetProcAddress by name and ordinal.
#
# usage: msvc_host_test.sh TRIPLE INCLUDE_DIR IMPORT_LIB DLL RUNNER
#   TRIPLE is i686-pc-windows-msvc or x86_64-pc-windows-msvc.
set -eu
triple="$1" include="$2" lib="$3" dll="$4" runner="$5"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/vek-msvc-host.XXXXXX")"
trap 'rm -rf "$work"' EXIT
clang=$(command -v clang || command -v clang-14)
lld_link=$(command -v lld-link || command -v lld-link-14)

# The header, with every function-pointer type taking its export, is clean C
# for this compiler too.
"$clang" --target="$triple" -std=c99 -Wall -Wextra -pedantic -Werror -ffreestanding \
  -I"$include" -c "$here/header_check.c" -o "$work/header_check.obj"
"$clang" --target="$triple" -std=c99 -Wall -Wextra -Werror -O1 -ffreestanding -fno-stack-protector \
  -I"$include" -c "$here/msvc_host.c" -o "$work/host.obj"
bash "$here/kernel32_lib.sh" "$triple" "$work/kernel32.lib"
"$lld_link" /nologo /entry:host_entry /subsystem:console /nodefaultlib \
  "$work/host.obj" "$lib" "$work/kernel32.lib" /out:"$work/msvc_host.exe"

imports=$(llvm-objdump -p "$work/msvc_host.exe" 2>/dev/null || llvm-objdump-14 -p "$work/msvc_host.exe")
echo "$imports" | grep -q "DLL Name: VEKWIN32.dll" || { echo "host does not import VEKWIN32.dll"; exit 1; }
for name in InitBuf AddLines GetBufStats Crc Diff EdBuf GetLine GetLines EdCmd TestBuf DiffWhole; do
  echo "$imports" | grep -Eq "^ +[0-9]+ +$name\$" || { echo "host does not import $name by its plain name"; exit 1; }
done

cp "$dll" "$work/"
status=0
"$runner" "$work/msvc_host.exe" || status=$?
[ "$status" = 0 ] || { echo "msvc host: check $status failed"; exit 1; }
echo "msvc host ($triple): all checks passed"
