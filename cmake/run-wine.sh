#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a Windows program under wine as a test runner: quietly, in a wine
# prefix of the build's own that is set up once, before the first program
# runs, so that no set-up message ever reaches a test's output.
# Usage: run-wine.sh PROGRAM.exe [ARGUMENT...]
set -e
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
: "${WINEPREFIX:=${TMPDIR:-/tmp}/resource-set-wine-$(id -u)}"
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko prompts: console programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINESERVER=$(dirname "$WINE")/wineserver
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINE" wineboot --init >/dev/null 2>&1 </dev/null 9>&- || true
        "$WINESERVER" -w 2>/dev/null 9>&- || true
    fi
    # One wine server for all the programs, up for ten minutes after the
    # last: a server that quits as its last client ends can reset the
    # connection of a program starting at that moment.  When this starts a
    # new one, wine's own background processes are started with it, here,
    # where they hold no program's output open (a test reading that output
    # would otherwise wait for them), bats' own report on descriptor 3
    # included.
    if "$WINESERVER" -p600 >/dev/null 2>&1 </dev/null 3>&- 9>&-; then
        "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null 3>&- 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"
exec "$WINE" "$@"
