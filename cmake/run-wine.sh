#!/bin/sh
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

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$WINE" wineboot --init >/dev/null 2>&1 || true
            "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
# A wine server that stays up between programs: one that quits when its last
# client ends can reset the connection of a program starting at that moment.
# When one is already running this only finds that out.
"$(dirname "$WINE")/wineserver" -p600 >/dev/null 2>&1 || true
exec "$WINE" "$@"
