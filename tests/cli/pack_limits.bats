#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The bounds of what vashpak packs: resource files at and past the sizes a
# set can hold, inputs that are not regular files, and listfiles that cannot
# be read.

load helpers

# A resource file whose header says it is one and whose length is set by
# extending it sparsely: no disk is spent on the hole.
sparse_resource() {
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM' >"$1"
    truncate -s "$2" "$1"
}

@test "a resource file of 12 to 19 bytes is refused like a short one" {
    mkres a.res 0
    for length in 12 15 19; do
        head -c "$length" a.res >short.res
        vashpak out.set a.res short.res
        expect_input_failure out.set \
            "Can't read \"short.res\", aborting." \
            "Failed \"short.res\""
    done
}

@test "a resource that would take the set past 2147483647 bytes is refused" {
    command -v truncate >/dev/null || skip "no truncate"
    # 20 + 56 + (L - 12) > 2147483647 for L = 2147483584
    sparse_resource huge.res 2147483584
    vashpak out.set huge.res
    expect_input_failure out.set \
        "\"huge.res\" does not fit in the set, aborting." \
        "Failed \"huge.res\""

    # A length whose low 32 bits look small must not slip through.
    sparse_resource wraps.res $((4 * 1024 * 1024 * 1024 + 40))
    vashpak out.set wraps.res
    expect_input_failure out.set \
        "\"wraps.res\" does not fit in the set, aborting." \
        "Failed \"wraps.res\""

    # Each fits alone; the second one does not fit beside the first, and the
    # message names it in the listfile.
    sparse_resource g1.res $((1024 * 1024 * 1024))
    sparse_resource g2.res $((1024 * 1024 * 1024))
    printf 'g1.res\ng2.res\n' >two.lst
    vashpak out.set @two.lst
    expect_input_failure out.set \
        "\"g2.res\" does not fit in the set, aborting." \
        "Can't add \"g2.res\"" \
        "Failed \"@two.lst\""

    # The other entries count too: alone, edge.res would fit with 63 bytes to
    # spare; beside tiny.res (56 bytes of table, 8 of body) it is one too many.
    mkres tiny.res 0
    sparse_resource edge.res $((2147483647 - 20 - 2 * 56 - 8 + 12 + 1))
    vashpak out.set tiny.res edge.res
    expect_input_failure out.set \
        "\"edge.res\" does not fit in the set, aborting." \
        "Failed \"edge.res\""
}

@test "the largest resource that fits gives a set of exactly 2147483647 bytes" {
    command -v mkfifo >/dev/null || skip "no mkfifo"
    # 20 + 56 + (L - 12) = 2147483647
    sparse_resource max.res 2147483583
    # The set goes through a pipe, so that 2 GiB of it cost no disk: its
    # header is tapped off and its bytes counted.
    mkfifo out.set tap
    head -c 20 tap >"$OUT/header" &
    header_reader=$!
    tee -p tap <out.set | wc -c >"$OUT/length" &
    counter=$!
    vashpak out.set max.res
    wait "$counter"
    wait "$header_reader"
    expect_success
    [ "$(cat "$OUT/length")" = 2147483647 ]
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little "$OUT/header" | xargs)" = "1 1 2147483647" ]
}

@test "an input that is not a regular file, a pipe or a FIFO, is refused and never waited on" {
    [ -e /dev/stdin ] && ! on_windows || skip "no /dev/stdin or FIFOs for the program"
    mkres a.res 3
    vashpak out.set /dev/stdin < <(cat a.res)
    expect_input_failure out.set \
        "Can't read \"/dev/stdin\", aborting." \
        "Failed \"/dev/stdin\""
    # Nobody ever writes to the FIFO: an open that waited would hang.
    mkfifo fifo.res
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    timeout 20 ${EXEC_PREFIX:-} "$VASHPAK" out.set a.res fifo.res >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_input_failure out.set \
        "Can't read \"fifo.res\", aborting." \
        "Failed \"fifo.res\""
}

@test "a listfile that cannot be read is an error, not its end" {
    mkdir folder.lst
    vashpak out.set @folder.lst
    if on_windows; then
        # Windows does not open a folder as a file at all.
        expect_input_failure out.set \
            "Can't open listfile \"@folder.lst\"" \
            "Failed \"@folder.lst\""
    else
        # Linux opens it, and the first read fails.
        expect_input_failure out.set \
            "Can't read listfile \"@folder.lst\"" \
            "Failed \"@folder.lst\""
    fi
}
