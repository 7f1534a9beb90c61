#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The checks every resource file goes through, in their order.

load helpers

@test "a file that is missing, unreadable as a file, or shorter than a header" {
    mkres a.res 3
    vashpak out.set a.res missing.res
    expect_input_failure out.set \
        "Can't read \"missing.res\", aborting." \
        "Failed \"missing.res\""

    mkdir folder.res
    vashpak out.set folder.res
    expect_input_failure out.set \
        "Can't read \"folder.res\", aborting." \
        "Failed \"folder.res\""

    for length in 0 4 11; do
        head -c "$length" a.res >short.res
        vashpak out.set short.res
        expect_input_failure out.set \
            "Can't read \"short.res\", aborting." \
            "Failed \"short.res\""
    done
}

@test "a file that does not begin with 0SER is not a resource" {
    printf '0SEQ\1\0\0\0\2\0\0\0\0\0\0\0!IGM' >bad.res
    printf 'RES0\1\0\0\0\2\0\0\0\0\0\0\0!IGM' >swapped.res
    for name in bad.res swapped.res; do
        vashpak out.set "$name"
        expect_input_failure out.set \
            "\"$name\" is not a resource, aborting." \
            "Failed \"$name\""
    done
    # The magic is checked before the length.
    printf '0SEr\1\0\0\0\2\0\0\0' >twelve_bad.res
    vashpak out.set twelve_bad.res
    expect_input_failure out.set \
        "\"twelve_bad.res\" is not a resource, aborting." \
        "Failed \"twelve_bad.res\""
}

@test "a resource of exactly 20 bytes has size 0 and an 8-byte body" {
    mkres empty.res 0
    vashpak out.set empty.res
    expect_success
    expect_size out.set $((20 + 56 + 8))
    [ "$(od -An -t u4 -j 64 -N 4 --endian=little out.set | xargs)" = 0 ]
    expected_set "$OUT/expected" empty.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "names of 32 bytes are accepted, 33 bytes refused before any open" {
    name32=$(printf 'n%.0s' {1..28}).res
    name33=x$name32
    mkres "$name32" 5
    vashpak out.set "$name32"
    expect_success
    expected_set "$OUT/expected" "$name32"
    expect_same_bytes out.set "$OUT/expected"
    # byte 32 of the name field is the terminator, 33 to 35 stay zero
    [ "$(od -An -t x1 -j 52 -N 4 out.set | xargs)" = "00 00 00 00" ]

    vashpak out.set "$name33"
    expect_input_failure out.set \
        "Filename \"$name33\" is too long" \
        "Failed \"$name33\""

    # The empty name passes the length check and fails to open.
    vashpak out.set ''
    expect_input_failure out.set \
        "Can't read \"\", aborting." \
        "Failed \"\""
}

@test "4096 resources fit; the 4097th fails whatever it names; a directive still passes" {
    mkres a.res 1
    for ((i = 0; i < 4096; i++)); do echo a.res; done >many.lst

    vashpak out.set @many.lst '!discard'
    expect_success
    expect_size out.set $((20 + 56 * 4096 + 4096 * 9))
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little out.set | xargs)" = \
        "4096 4096 $((20 + 56 * 4096 + 4096 * 9))" ]

    vashpak out.set @many.lst '!discard' missing.res
    expect_input_failure out.set \
        "Too many resources! Increase RESOURCE_SET_MAX." \
        "Failed \"missing.res\""

    echo a.res >>many.lst
    vashpak out.set @many.lst
    expect_input_failure out.set \
        "Too many resources! Increase RESOURCE_SET_MAX." \
        "Can't add \"a.res\"" \
        "Failed \"@many.lst\""
}

@test "word1, word2 and the body_header pass through unchanged" {
    {
        printf 0SER
        le32 0xDEADBEEF
        le32 0x01020304
        printf '\377\376\375\374\0\0\0\0'
        printf 'payload'
    } >odd.res
    vashpak out.set odd.res
    expect_success
    expected_set "$OUT/expected" odd.res
    expect_same_bytes out.set "$OUT/expected"
    [ "$(od -An -t x1 -j 56 -N 8 out.set | xargs)" = "ef be ad de 04 03 02 01" ]
    [ "$(od -An -t x1 -j 76 -N 8 out.set | xargs)" = "ff fe fd fc 00 00 00 00" ]
}
