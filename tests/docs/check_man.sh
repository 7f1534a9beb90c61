#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders each manual page with groff, with every warning turned on, and fails
# when groff says anything at all or exits non-zero.
#
# usage: bash tests/docs/check_man.sh PAGE_DIR
#
# PAGE_DIR holds the pages as they are installed: the build's man folder.
#
# Each page is formatted for the default (PostScript) device and for the
# utf8 and ascii terminals that man(1) uses, where a character the terminal
# lacks would show up.  groff says nothing about a line of an example (.EX)
# that runs past the right margin, so the page is also formatted as plain
# text for a terminal of 80 columns, and no line may be longer than the 78
# columns groff's man macros fill there.
set -u

if [ "$#" -ne 1 ]; then
    echo "usage: $0 PAGE_DIR" >&2
    exit 2
fi
page_dir=$1

if ! command -v groff >/dev/null 2>&1; then
    echo "check_man: groff is not installed (Debian: apt-get install groff-base); the manual pages cannot be checked" >&2
    exit 1
fi

pages=("$page_dir/vashpak.1" "$page_dir/tarnvex.1" "$page_dir/resource_set.3" "$page_dir/resource_set_cpp.3"
    "$page_dir/resource_set_physfs.3" "$page_dir/resource_set_sdl.3")
failed=0
for page in "${pages[@]}"; do
    if [ ! -f "$page" ]; then
        echo "check_man: missing page $page" >&2
        failed=1
        continue
    fi
    page_failed=0
    for device in default utf8 ascii; do
        device_option=()
        [ "$device" = default ] || device_option=("-T$device")
        # -z formats without output: only groff's own messages remain.
        if ! said=$(groff -man -ww -z "${device_option[@]}" "$page" 2>&1); then
            echo "check_man: groff failed on $page (device $device)" >&2
            page_failed=1
        fi
        if [ -n "$said" ]; then
            echo "check_man: groff warns on $page (device $device):" >&2
            printf '%s\n' "$said" >&2
            page_failed=1
        fi
    done
    if ! text=$(groff -man -Tascii -P-c -P-b -P-u -P-o "$page" 2>/dev/null); then
        echo "check_man: groff failed on $page (plain text)" >&2
        page_failed=1
    fi
    long=$(printf '%s\n' "$text" | awk 'length($0) > 78 { printf "  line %d, %d columns: %s\n", NR, length($0), $0 }')
    if [ -n "$long" ]; then
        echo "check_man: $page has lines wider than 78 columns on a terminal of 80:" >&2
        printf '%s\n' "$long" >&2
        page_failed=1
    fi
    if [ "$page_failed" -eq 0 ]; then
        echo "check_man: $page renders without a warning and fits 80 columns"
    else
        failed=1
    fi
done
exit "$failed"
