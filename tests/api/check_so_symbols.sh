#!/usr/bin/env bash
# The shared library exports exactly the eighteen functions.
set -eu
expected="AddLine AddLines CheckType Crc CrcFile Diff DiffWhole EdBuf EdCmd GetBufStats GetLine GetLines InitBuf LoadFiles ReadBuf TestBuf WriteBuf WriteFiles"
actual=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "18 exports, nothing else"
