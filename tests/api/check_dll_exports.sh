#!/usr/bin/env bash
# The DLL's export table: module name VEKWIN32.dll, the eighteen functions
# under their plain names with ordinals 1..18 in the fixed order, then
# VekOpen, VekClose and the eighteen twins on a context, 19..38, only
# system DLLs imported, and a version resource naming VERSION.
# usage: check_dll_exports.sh OBJDUMP DLL VERSION
set -eu
objdump="$1"
dll="$2"
version="$3"
dump=$("$objdump" -p "$dll")
echo "$dump" | grep -q "^Name .* VEKWIN32.dll$" || { echo "module name is not VEKWIN32.dll"; exit 1; }
expected="1 InitBuf
2 AddLine
3 EdCmd
4 EdBuf
5 GetLine
6 GetBufStats
7 Crc
8 CrcFile
9 LoadFiles
10 WriteFiles
11 WriteBuf
12 ReadBuf
13 Diff
14 CheckType
15 GetLines
16 AddLines
17 TestBuf
18 DiffWhole
19 VekOpen
20 VekClose
21 VekInitBuf
22 VekAddLine
23 VekEdCmd
24 VekEdBuf
25 VekGetLine
26 VekGetBufStats
27 VekCrc
28 VekCrcFile
29 VekLoadFiles
30 VekWriteFiles
31 VekWriteBuf
32 VekReadBuf
33 VekDiff
34 VekCheckType
35 VekGetLines
36 VekAddLines
37 VekTestBuf
38 VekDiffWhole"
# Ordinal/name lines look like "	[   0] InitBuf"; the bracket holds ordinal - base (base 1).
actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' | awk '{print $1 + 1, $2}' | sort -n)
if [ "$actual" != "$expected" ]; then
  echo "export table:"; echo "$actual"; exit 1
fi
echo "$dump" | grep -q "Ordinal Base 1" || { echo "ordinal base is not 1"; exit 1; }
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
for dll_name in $imports; do
  case "$(echo "$dll_name" | tr 'A-Z' 'a-z')" in
    kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|api-ms-win-*) ;;
    *) echo "imports a non-system DLL: $dll_name"; exit 1 ;;
  esac
done
# The version resource's strings are UTF-16: each value follows its key.
resource=$(strings -el "$dll" | tr '\n' ' ')
for pair in "FileVersion $version" "ProductVersion $version" "OriginalFilename VekWin32.dll" \
            "FileDescription VekWin32 line-buffer engine"; do
  case "$resource" in
    *"$pair"*) ;;
    *) echo "version resource lacks: $pair"; exit 1 ;;
  esac
done
echo "export table as expected; imports: $(echo $imports)"
