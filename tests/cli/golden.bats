#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# One set kept in the repository, byte for byte.  Every platform packs it
# from the same inputs and must get exactly these bytes, whatever the host's
# byte order, word size or newline convention; the extractor must give the
# inputs back from it.

load helpers

GOLDEN="$BATS_TEST_DIRNAME/../golden"
# High words, an empty payload, a 4096-byte body in a subfolder, an odd
# body_header, a 32-byte name, a listfile and a discard point.
INPUTS=(a.res @inputs.lst '!discard' empty.res odd-header.res name-of-exactly-32-bytes-xyz.res)
NAMES=(a.res high-words.res sub/block.res empty.res odd-header.res name-of-exactly-32-bytes-xyz.res)

setup() {
    : "${VASHPAK:?set VASHPAK to the path of the vashpak program}"
    WORK="$BATS_TEST_TMPDIR/work"
    OUT="$BATS_TEST_TMPDIR/captured"
    mkdir -p "$WORK" "$OUT"
    cp -R "$GOLDEN/." "$WORK"
    cd "$WORK"
}

@test "the packer makes the kept set, byte for byte" {
    vashpak out.set "${INPUTS[@]}"
    expect_success
    expect_same_bytes out.set golden.set
}

@test "the kept set is the one its inputs give, worked out without the packer" {
    expected_set computed.set a.res high-words.res sub/block.res '!discard' \
        empty.res odd-header.res name-of-exactly-32-bytes-xyz.res
    expect_same_bytes computed.set golden.set
    # count 6, keep_count 3, keep_end 20 + 6 * 56 + 11 + 264 + 4096
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little golden.set | xargs)" = "6 3 4727" ]
}

@test "the extractor gives every input back, with the usual body_header" {
    mkdir -p x/sub
    cd x
    tarnvex ../golden.set
    local name i=0 total=0 size lines=("count = 6")
    for name in "${NAMES[@]}"; do
        size=$(($(wc -c <"../$name") - 20))
        lines+=("$i: $name, $size")
        i=$((i + 1))
        total=$((total + size))
    done
    expect_status 0
    expect_full_report 6 "$total" "${lines[@]}"
    expect_stderr
    expect_reslist "${NAMES[@]}"
    expect_extracted .. a.res high-words.res sub/block.res empty.res name-of-exactly-32-bytes-xyz.res
    { head -c 12 ../odd-header.res; printf '\0\0\0\0!IGM'; tail -c +21 ../odd-header.res; } >"$OUT/odd"
    expect_same_bytes odd-header.res "$OUT/odd"
    expect_only_files reslist.txt "${NAMES[@]}"
}

@test "the check finds nothing wrong in the kept set, its 32-byte name included" {
    tarnvex -t golden.set
    expect_status 0
    expect_stdout "count = 6" "0: a.res, 3" "1: high-words.res, 256" "2: sub/block.res, 4088" "3: empty.res, 0" \
        "4: odd-header.res, 27" "5: name-of-exactly-32-bytes-xyz.res, 100" "golden.set: OK"
    expect_stderr
}
