#!/usr/bin/env bash
# Code-health checks of the tree, each a rule the layout relies on:
#  - a _WIN32 conditional stands only in the platform files (src/platform,
#    cli/system); everything else is the same code on every system;
#  - no file of cli/ is over 500 lines;
#  - the system is reached from cli/ only through cli/system (system
#    headers, and the library's own file layer);
#  - vek splits line files in one place: the line feed is searched for, and
#    the 0x1A end byte of the CR LF form is looked for, only in
#    cli/lines/line_reader.cpp.
# usage: code_health.sh [ROOT]   (the source tree; default: this script's)
set -u
root="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
cd "$root" || exit 2
failures=0
fail() {
  echo "FAIL: $1" >&2
  shift
  printf '%s\n' "$@" | sed 's/^/  /' >&2
  failures=$((failures + 1))
}
[ -d src ] && [ -d cli ] || { echo "code_health: $root is not the source tree" >&2; exit 2; }

# Source files of a folder, platform files left out with `exclude`.
sources() {
  find "$1" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort
}

found=$(sources src; sources cli)
[ -n "$found" ] || { echo "code_health: no sources found under $root" >&2; exit 2; }

hits=$(printf '%s\n' $found | grep -v -e '^src/platform/' -e '^cli/system/' |
  xargs grep -nE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)\b.*_WIN32' 2>/dev/null)
[ -z "$hits" ] || fail "_WIN32 conditionals outside the platform files (src/platform, cli/system)" "$hits"

long=$(sources cli | xargs wc -l | awk '$2 != "total" && $1 > 500 { print $2 " (" $1 " lines)" }')
[ -z "$long" ] || fail "files of cli/ over 500 lines" "$long"

hits=$(sources cli | grep -v '^cli/system/' | xargs grep -nE \
  '#include[[:space:]]*[<"](sys/|unistd\.h|fcntl\.h|windows\.h|io\.h|direct\.h|dirent\.h|platform/)' \
  2>/dev/null)
[ -z "$hits" ] || fail "system headers or the library's platform layer included outside cli/system" "$hits"

reader=cli/lines/line_reader.cpp
# A search for the line feed: memchr, find or strchr given '\n'.
split_pattern="(memchr|find|strchr|memrchr)[[:space:]]*\\([^;]*'\\\\n'"
# The end byte as code spells it: a character, or a number passed on.
eof_pattern="('\\\\x1[aA]'|[(,][[:space:]]*0x1[aA][[:space:]]*[,)])"
if ! grep -qE "$split_pattern" "$reader" || ! grep -qE "$eof_pattern" "$reader"; then
  fail "$reader no longer splits lines or reads the 0x1A end byte; update this check with the reader"
fi
hits=$(sources cli | grep -vx "$reader" | xargs grep -nE "$split_pattern" 2>/dev/null)
[ -z "$hits" ] || fail "the line feed is searched for outside the line reader ($reader)" "$hits"
hits=$(sources cli | grep -vx "$reader" | xargs grep -nE "$eof_pattern" 2>/dev/null)
[ -z "$hits" ] || fail "the 0x1A end byte is handled outside the line reader ($reader)" "$hits"

if [ "$failures" -ne 0 ]; then
  echo "code health: $failures check(s) failed" >&2
  exit 1
fi
echo "code health: all checks passed"
