#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, when missing.
# Usage: scripts/install-deps.sh [main|test]   (main: Linux build only)
set -eu
mode="${1:-test}"
packages="cmake make g++ libgtest-dev libssl-dev"
if [ "$mode" = test ]; then
  packages="$packages googletest libbenchmark-dev g++-mingw-w64-i686 wine wine32:i386 sharutils ed diffutils python3 clang-format time pkgconf clang-14 clang-tools-14 libclang-rt-14-dev g++-mingw-w64-x86-64 wine64 llvm lld clang groff-base dpkg-dev mono-mcs mono-runtime mono-devel nuget fp-compiler python3-venv python3-pip python3-wheel python3-setuptools acl attr"
fi
missing=""
for package in $packages; do
  dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing; run this script as root to install them" >&2
  exit 1
fi
case "$missing" in
  *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
# apt's notes on a fresh machine (debconf without apt-utils, ...) are kept
# in a log and shown only when the installation fails.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
echo "installing:$missing"
if ! { apt-get update -qq && apt-get install -y -qq $missing; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: installing the packages failed" >&2
  exit 1
fi
