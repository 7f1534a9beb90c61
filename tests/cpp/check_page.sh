#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders one manual page as tests/docs/check_man.sh renders the others:
# groff, every warning on, must say nothing on its default, utf8 and ascii
# devices, and no line of the text for 80 columns may pass 78.
#
# usage: bash tests/cpp/check_page.sh PAGE
set -u
if [ "$#" -ne 1 ]; then
    echo "usage: $0 PAGE" >&2
    exit 2
fi
page=$1
command -v groff >/dev/null 2>&1 || { echo "check_page: groff is not installed" >&2; exit 1; }
[ -f "$page" ] || { echo "check_page: missing page $page" >&2; exit 1; }
failed=0
for device in default utf8 ascii; do
    device_option=()
    [ "$device" = default ] || device_option=("-T$device")
    if ! said=$(groff -man -ww -z "${device_option[@]}" "$page" 2>&1) || [ -n "$said" ]; then
        echo "check_page: groff fails or warns on $page (device $device):" >&2
        printf '%s\n' "$said" >&2
        failed=1
    fi
done
if ! text=$(groff -man -Tascii -P-c -P-b -P-u -P-o "$page" 2>/dev/null); then
    echo "check_page: groff failed on $page (plain text)" >&2
    failed=1
fi
long=$(printf '%s\n' "$text" | awk 'length($0) > 78 { printf "  line %d, %d columns: %s\n", NR, length($0), $0 }')
if [ -n "$long" ]; then
    echo "check_page: $page has lines wider than 78 columns:" >&2
    printf '%s\n' "$long" >&2
    failed=1
fi
[ "$failed" -eq 0 ] && echo "check_page: $page renders without a warning and fits 80 columns"
exit "$failed"
