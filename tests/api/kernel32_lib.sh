#!/usr/bin/env bash
# Makes kernel32.lib, an import library for Microsoft's linker that holds
# only LoadLibraryA and GetProcAddress, for the hosts built without the
# Windows SDK (msvc_host.c).
# usage: kernel32_lib.sh TRIPLE OUT   (TRIPLE: i686- or x86_64-pc-windows-msvc)
set -eu
triple="$1" out="$2"
dlltool=$(command -v llvm-dlltool || command -v llvm-dlltool-14)
def="$out.def"
if [ "${triple%%-*}" = i686 ]; then
  # 32-bit __stdcall names carry their argument bytes; the DLL's do not (-k).
  printf 'LIBRARY kernel32.dll\nEXPORTS\nLoadLibraryA@4\nGetProcAddress@8\n' >"$def"
  "$dlltool" -m i386 -k -d "$def" -l "$out"
else
  printf 'LIBRARY kernel32.dll\nEXPORTS\nLoadLibraryA\nGetProcAddress\n' >"$def"
  "$dlltool" -m i386:x86-64 -d "$def" -l "$out"
fi
rm -f "$def"
