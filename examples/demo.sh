#!/bin/sh
# SPDX-License-Identifier: MIT
# Packs the sample resources of this folder into a resource set with vashpak
# and shows what was made: the set's size, its header and its table.  Then
# extracts the set with tarnvex into a fresh folder, rebuilds it from the
# reslist.txt that tarnvex wrote, and shows that the sets match.  Last, it
# wraps a small raw file into a resource file with vashpak --wrap, packs,
# lists and extracts that, and unwraps it with tarnvex --unwrap to the raw
# bytes it came from; and it unwraps a sample and wraps its payload back
# into the same resource file.
#
# usage: VASHPAK=/path/to/vashpak TARNVEX=/path/to/tarnvex sh examples/demo.sh WORKDIR
#
# WORKDIR is made, or emptied when an earlier run of this script made it (it
# holds the file .resource-set-demo); any other folder that is not empty is
# refused and left as it is.  The samples are copied into it and the set is
# written there as demo.set.  `cmake --build build --target demo` runs this
# script with the freshly built programs.  The commands it prints can be
# pasted into bash as they stand.
set -eu

if [ "$#" -ne 1 ] || [ -z "$1" ]; then
    echo "usage: VASHPAK=/path/to/vashpak TARNVEX=/path/to/tarnvex sh $0 WORKDIR" >&2
    exit 2
fi
work=$1
case $work in
    / | . | ..) echo "demo: refusing to use \"$work\" as the work folder" >&2; exit 2 ;;
esac

examples=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd)

# Without VASHPAK or TARNVEX, take the program from PATH; a relative path is
# made absolute before the script changes folder.
absolute() {
    case $1 in
        /*) echo "$1" ;;
        */*) echo "$(pwd)/$1" ;;
        *) echo "$1" ;;
    esac
}
vashpak=$(absolute "${VASHPAK:-vashpak}")
tarnvex=$(absolute "${TARNVEX:-tarnvex}")

# The folder is the demo's own when it holds this file.
marker=.resource-set-demo
if [ -e "$work" ] || [ -L "$work" ]; then
    if [ -f "$work/$marker" ]; then
        rm -rf -- "$work"
    elif [ ! -d "$work" ] || [ -n "$(ls -A -- "$work")" ]; then
        echo "demo: \"$work\" exists and was not made by the demo; give a new or empty folder" >&2
        exit 2
    fi
fi
mkdir -p -- "$work"
echo "Made by examples/demo.sh, which empties this folder when it runs here again." >"$work/$marker"
cp -- "$examples"/*.res "$examples"/resources.lst "$work"/
cd -- "$work"

# le32 OFFSET [SET]: the 32-bit little-endian word at OFFSET in SET (by
# default demo.set), read byte by byte so that the host's own byte order does
# not matter.
le32() {
    od -An -v -tu1 -j "$1" -N 4 "${2:-demo.set}" |
        { read -r b0 b1 b2 b3; echo $((b0 + 256 * b1 + 65536 * b2 + 16777216 * b3)); }
}

# dump OFFSET LENGTH: hex dump of part of demo.set, offsets in decimal.
dump() {
    od -A d -v -t x1 -j "$1" -N "$2" demo.set | awk 'NF > 1 { print "    " $0 }'
}

# body FILE: the length of a resource's body in the set, its file less the
# 12-byte resource header.
body() {
    echo $(($(wc -c < "$1") - 12))
}

# run WHAT PROGRAM ARGUMENT...: runs the program, and stops the demo when it
# fails.
run() {
    what=$1
    shift
    status=0
    "$@" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "demo: $what failed with exit status $status" >&2
        exit 1
    fi
}

echo "Work folder: $(pwd)"
echo "resources.lst names: $(paste -s -d ' ' resources.lst)"
echo "\$ vashpak demo.set @resources.lst '!discard' credits.res level1.res"
run vashpak "$vashpak" demo.set @resources.lst '!discard' credits.res level1.res
size=$(wc -c < demo.set | tr -d ' ')
echo "exit status 0; demo.set is $size bytes"
echo

count=$(le32 8)
keep_count=$(le32 12)
keep_end=$(le32 16)
echo "Header, bytes 0-19:"
dump 0 20
echo "    0-3    magic       \"$(dd if=demo.set bs=1 count=4 2>/dev/null)\""
echo "    4-7    reserved    $(le32 4)"
echo "    8-11   count       $count   resources in the table"
echo "    12-15  keep count  $keep_count   resources before the !discard"
echo "    16-19  keep end    $keep_end $(printf '(0x%x)' "$keep_end"): first byte after the kept bodies"
echo

table_end=$((20 + 56 * count))
echo "Table, bytes 20-$((table_end - 1)), 56 bytes an entry: name (36 bytes, zero-padded),"
echo "word1, word2 (copied from the resource file), payload size, two reserved words"
i=0
while [ "$i" -lt "$count" ]; do
    at=$((20 + 56 * i))
    name=$(dd if=demo.set bs=1 skip="$at" count=36 2>/dev/null | tr -d '\000')
    echo "  entry $i: $name, word1 $(le32 $((at + 36))), word2 $(le32 $((at + 40))), size $(le32 $((at + 44)))"
    dump "$at" 56
    i=$((i + 1))
done
echo

# The same numbers worked out from the sample files themselves.
head=$((20 + 56 * 5))
kept=$(($(body greeting.res) + $(body palette.res) + $(body empty.res)))
rest=$(($(body credits.res) + $(body level1.res)))
echo "The bodies (each file from byte 12 on) follow the table in table order;"
echo "the first, greeting.res's: 8-byte body header, then its payload"
dump "$head" "$(body greeting.res)"
echo "keep end = 20 + 56 x 5 + $kept (bodies of the 3 kept resources) = $((head + kept))"
echo "set size = keep end + $rest (bodies after the !discard) = $((head + kept + rest))"
if [ "$count" -ne 5 ] || [ "$keep_count" -ne 3 ] ||
   [ "$keep_end" -ne $((head + kept)) ] || [ "$size" -ne $((head + kept + rest)) ]; then
    echo "demo: demo.set does not hold what was expected" >&2
    exit 1
fi
echo

# The round trip: extract into a fresh folder, then pack again from the
# listfile the extractor wrote.
mkdir extracted
cd extracted
echo "\$ cd extracted && tarnvex ../demo.set"
run tarnvex "$tarnvex" ../demo.set
echo "exit status 0; reslist.txt names: $(paste -s -d ' ' reslist.txt)"
for name in $(cat reslist.txt); do
    if ! cmp -s "$name" "../$name"; then
        echo "demo: extracted $name differs from the sample" >&2
        exit 1
    fi
done
echo "Every extracted file is byte for byte the sample it was packed from."
echo

echo "\$ vashpak ../rebuilt.set @reslist.txt"
"$vashpak" ../rebuilt.set @reslist.txt
cd ..
echo "reslist.txt has no !discard, so rebuilt.set keeps every resource (keep count = count)."
echo "It differs from demo.set only in bytes 12-19:"
echo "    keep count  demo.set $(le32 12)  rebuilt.set $(le32 12 rebuilt.set)"
echo "    keep end    demo.set $(le32 16)  rebuilt.set $(le32 16 rebuilt.set) (its whole length)"
differing=$(cmp -l demo.set rebuilt.set | awk '$1 < 13 || $1 > 20' | wc -l)
echo "\$ vashpak plain.set @resources.lst credits.res level1.res"
"$vashpak" plain.set @resources.lst credits.res level1.res
if [ "$differing" -ne 0 ] || ! cmp -s plain.set rebuilt.set; then
    echo "demo: the rebuilt set does not match" >&2
    exit 1
fi
echo "rebuilt.set and plain.set, the same resources packed without !discard, are identical."
echo

# A resource file of a raw file's bytes: the bytes 0SER, the two words, the
# usual body header, then the raw file.
printf 'Wrapped by vashpak --wrap.\n' >note.txt
raw_size=$(wc -c < note.txt | tr -d ' ')
echo "note.txt holds: $(cat note.txt)"
echo "\$ vashpak --wrap note.txt note.res 5 0x10"
run "vashpak --wrap" "$vashpak" --wrap note.txt note.res 5 0x10
wrapped_size=$(wc -c < note.res | tr -d ' ')
echo "exit status 0; note.txt is $raw_size bytes, note.res $wrapped_size: a 20-byte header, then note.txt"
od -A d -v -t x1 -N 20 note.res | awk 'NF > 1 { print "    " $0 }'
magic=$(dd if=note.res bs=1 count=4 2>/dev/null)
body_header=$(od -An -v -t x1 -j 12 -N 8 note.res | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
echo "    0-3    magic        \"$magic\""
echo "    4-7    word1        $(le32 4 note.res)"
echo "    8-11   word2        $(le32 8 note.res) (0x10)"
echo "    12-19  body header  $body_header"
if [ "$magic" != 0SER ] || [ "$(le32 4 note.res)" -ne 5 ] || [ "$(le32 8 note.res)" -ne 16 ] ||
   [ "$body_header" != "00 00 00 00 21 49 47 4d" ] || [ "$wrapped_size" -ne $((raw_size + 20)) ] ||
   ! tail -c +21 note.res | cmp -s - note.txt; then
    echo "demo: note.res is not note.txt wrapped with the words 5 and 16" >&2
    exit 1
fi
echo

# It packs, lists with its words, extracts, and unwraps to the raw bytes.
echo "\$ vashpak wrapped.set note.res && tarnvex -v -l wrapped.set"
run vashpak "$vashpak" wrapped.set note.res
run "tarnvex -v -l" "$tarnvex" -v -l wrapped.set >listing.txt
sed 's/^/    /' listing.txt
if [ "$(sed -n 3p listing.txt)" != "0: note.res, $raw_size, 0x00000005, 0x00000010, 84" ]; then
    echo "demo: tarnvex -v -l does not list note.res with its size and words" >&2
    exit 1
fi
mkdir unwrapped
cd unwrapped
echo "\$ cd unwrapped && tarnvex ../wrapped.set > /dev/null"
run tarnvex "$tarnvex" ../wrapped.set >/dev/null
echo "\$ tarnvex --unwrap note.res note.txt"
run "tarnvex --unwrap" "$tarnvex" --unwrap note.res note.txt
if ! cmp -s note.res ../note.res || ! cmp -s note.txt ../note.txt; then
    echo "demo: the extracted note.res, or the note.txt unwrapped from it, differs" >&2
    exit 1
fi
cd ..
echo "The extracted note.res is the one wrapped, and note.txt unwrapped from it is the raw file."
echo

# A sample's payload, and the same resource file wrapped again from it.
word1=$(le32 4 greeting.res)
word2=$(le32 8 greeting.res)
echo "\$ tarnvex --unwrap greeting.res - > greeting.txt"
run "tarnvex --unwrap" "$tarnvex" --unwrap greeting.res - >greeting.txt
echo "greeting.txt holds: $(cat greeting.txt)"
echo "\$ vashpak --wrap greeting.txt greeting-again.res $word1 $word2"
run "vashpak --wrap" "$vashpak" --wrap greeting.txt greeting-again.res "$word1" "$word2"
if ! cmp -s greeting.res greeting-again.res; then
    echo "demo: greeting.txt wrapped with greeting.res's words is not greeting.res" >&2
    exit 1
fi
echo "greeting-again.res, its payload wrapped with its words $word1 and $word2, is greeting.res byte for byte."
