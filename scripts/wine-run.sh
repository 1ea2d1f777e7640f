#!/usr/bin/env bash
# Runs a Windows program under wine: headless, quiet, time-limited, and in a
# wine prefix of its own under the build tree.
set -u
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${WINEPREFIX:-${VEK_WINEPREFIX:-${TMPDIR:-/tmp}/vekwin32-wine}}"
unset DISPLAY WAYLAND_DISPLAY
limit="${VEK_WINE_TIMEOUT:-900}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot --init >/dev/null 2>&1 || true
fi
timeout --kill-after=10 "$limit" wine "$@"
