#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the DIAGNOSTICS section of each manual page lists every line its
# program prints, as the sources print it, and no line the program does not
# print.  The comparison itself is in man_messages.pl.
#
# usage: bash tests/docs/check_man_messages.sh SOURCE_DIR PAGE_DIR
#
# vashpak is built from packer/ and format/, tarnvex from extractor/ and
# format/.  Each page is formatted for a plain terminal, with bold and italic
# kept as overstrikes and lines long enough that no message is broken.
set -u

if [ "$#" -ne 2 ]; then
    echo "usage: $0 SOURCE_DIR PAGE_DIR" >&2
    exit 2
fi
source_dir=$1
page_dir=$2
here=$(cd -- "$(dirname -- "$0")" && pwd)

for tool in groff perl; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "check_man_messages: $tool is not installed (Debian: groff-base, perl-base); the manual pages cannot be checked" >&2
        exit 1
    fi
done

scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT

failed=0
for program in vashpak:packer tarnvex:extractor; do
    name=${program%%:*}
    folder=${program#*:}
    page=$page_dir/$name.1
    if [ ! -f "$page" ]; then
        echo "check_man_messages: missing page $page" >&2
        failed=1
        continue
    fi
    sources=()
    for file in "$source_dir/$folder"/*.cpp "$source_dir/$folder"/*.hpp \
        "$source_dir"/format/*.cpp "$source_dir"/format/*.hpp; do
        [ -f "$file" ] && sources+=("$file")
    done
    if [ "${#sources[@]}" -eq 0 ]; then
        echo "check_man_messages: no sources for $name in $source_dir/$folder" >&2
        failed=1
        continue
    fi
    if ! groff -man -Tascii -P-c -rLL=200n -rIN=7n -rSN=3n "$page" >"$scratch/$name.txt" 2>"$scratch/$name.err"; then
        echo "check_man_messages: groff failed on $page:" >&2
        cat "$scratch/$name.err" >&2
        failed=1
        continue
    fi
    LC_ALL=C perl "$here/man_messages.pl" "$name.1" "$scratch/$name.txt" "${sources[@]}" || failed=1
done
exit "$failed"
