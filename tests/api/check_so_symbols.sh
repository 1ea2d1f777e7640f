#!/usr/bin/env bash
# The shared library exports exactly the eighteen functions, VekOpen,
# VekClose and the eighteen twins on a context.
set -eu
expected="AddLine AddLines CheckType Crc CrcFile Diff DiffWhole EdBuf EdCmd GetBufStats GetLine GetLines InitBuf LoadFiles ReadBuf TestBuf VekAddLine VekAddLines VekCheckType VekClose VekCrc VekCrcFile VekDiff VekDiffWhole VekEdBuf VekEdCmd VekGetBufStats VekGetLine VekGetLines VekInitBuf VekLoadFiles VekOpen VekReadBuf VekTestBuf VekWriteBuf VekWriteFiles WriteBuf WriteFiles"
actual=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "38 exports, nothing else"
