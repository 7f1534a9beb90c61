#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# Listfiles: how lines are read, cut and checked.

load helpers

# A listfile that yields the empty name fails on it with these lines.
expect_empty_name_failure() {
    expect_input_failure out.set \
        "Can't read \"\", aborting." \
        "Can't add \"\"" \
        "Failed \"@$1\""
}

@test "names from a listfile, LF or CR LF, the last line without a newline" {
    mkres a.res 3
    mkres b.res 4
    mkres c.res 5
    printf 'a.res\nb.res\nc.res' >lf.lst
    printf 'a.res\r\nb.res\r\nc.res\r\n' >crlf.lst
    expected_set "$OUT/expected" a.res b.res c.res
    for list in lf.lst crlf.lst; do
        vashpak out.set "@$list"
        expect_success
        expect_same_bytes out.set "$OUT/expected"
    done
}

@test "listfiles mix with names and directives, on the line and inside" {
    mkres a.res 3
    mkres b.res 4
    mkres c.res 5
    mkres d.res 0
    printf 'b.res\n!DISCARD\nc.res\n' >one.lst
    printf '' >empty.lst
    vashpak out.set a.res @empty.lst @one.lst d.res
    expect_success
    expected_set "$OUT/expected" a.res b.res '!discard' c.res d.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "an empty listfile is accepted and adds nothing" {
    : >empty.lst
    vashpak out.set @empty.lst
    expect_success
    expected_set "$OUT/expected"
    expect_same_bytes out.set "$OUT/expected"
}

@test "a line is cut at its first byte that is not graphic" {
    mkres a.res 3
    mkres b.res 4
    mkres c.res 5
    mkres d.res 6
    mkres e.res 7
    printf 'a.res   and further words\nb.res\tcomment\nc.res\200\377tail\nd.res\0hidden\ne.res\177~\n' >cut.lst
    vashpak out.set @cut.lst
    expect_success
    expected_set "$OUT/expected" a.res b.res c.res d.res e.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "a name with a space is cut at the space when it comes from a listfile" {
    mkres 'my file.res' 9
    printf 'my file.res\n' >space.lst
    vashpak out.set @space.lst
    expect_input_failure out.set \
        "Can't read \"my\", aborting." \
        "Can't add \"my\"" \
        "Failed \"@space.lst\""
}

@test "an empty or blank line yields the empty name, which is fatal" {
    mkres a.res 3
    for content in 'a.res\n\n' '\na.res\n' ' a.res\n' '\ta.res\n' '\ra.res\n'; do
        printf "$content" >blank.lst
        vashpak out.set @blank.lst
        expect_empty_name_failure blank.lst
    done
}

@test "lines are read in pieces of at most 127 bytes" {
    mkres a.res 3
    pad() { head -c "$1" /dev/zero | tr '\0' ' '; }

    # 126 bytes and the newline: one piece.
    { printf a.res; pad 121; printf '\n'; } >fits.lst
    vashpak out.set @fits.lst
    expect_success
    expected_set "$OUT/expected" a.res
    expect_same_bytes out.set "$OUT/expected"

    # 127 bytes and the newline: the newline is a piece of its own.
    { printf a.res; pad 122; printf '\n'; } >over.lst
    vashpak out.set @over.lst
    expect_empty_name_failure over.lst

    # a.res and 200 spaces: the second piece is blank.
    { printf a.res; pad 200; printf '\n'; } >spaces.lst
    vashpak out.set @spaces.lst
    expect_empty_name_failure spaces.lst

    # 127 graphic bytes: the first piece is already too long a name.
    long=$(head -c 127 /dev/zero | tr '\0' x)
    printf '%s\na.res\n' "$long" >long.lst
    vashpak out.set @long.lst
    expect_input_failure out.set \
        "Filename \"$long\" is too long" \
        "Can't add \"$long\"" \
        "Failed \"@long.lst\""
}

@test "a failing name inside a listfile gives three lines, innermost first" {
    mkres a.res 3
    printf 'a.res\nx\na.res\n' >list.txt
    vashpak out.set a.res @list.txt
    expect_input_failure out.set \
        "Can't read \"x\", aborting." \
        "Can't add \"x\"" \
        "Failed \"@list.txt\""

    printf '!keep\n' >directive.lst
    vashpak out.set @directive.lst
    expect_input_failure out.set \
        "unrecognized directive: keep" \
        "Can't read \"!keep\", aborting." \
        "Can't add \"!keep\"" \
        "Failed \"@directive.lst\""
}

@test "a listfile that cannot be opened" {
    vashpak out.set @missing.lst
    expect_input_failure out.set \
        "Can't open listfile \"@missing.lst\"" \
        "Failed \"@missing.lst\""

    vashpak out.set @
    expect_input_failure out.set \
        "Can't open listfile \"@\"" \
        "Failed \"@\""
}

@test "listfiles do not nest: a line starting with @ is a file name" {
    mkres a.res 3
    printf 'a.res\n' >inner.lst
    printf '@inner.lst\n' >outer.lst
    vashpak out.set @outer.lst
    expect_input_failure out.set \
        "Can't read \"@inner.lst\", aborting." \
        "Can't add \"@inner.lst\"" \
        "Failed \"@outer.lst\""

    # A resource file whose name starts with @ is found that way.
    mkres @r.res 2
    printf '@r.res\n' >at.lst
    vashpak out.set @at.lst
    expect_success
    expected_set "$OUT/expected" @r.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "names in a listfile resolve against the current folder, not the listfile's" {
    mkdir lists
    mkres a.res 3
    mkres lists/a.res 30
    printf 'a.res\n' >lists/names.lst
    vashpak out.set @lists/names.lst
    expect_success
    expected_set "$OUT/expected" a.res
    expect_same_bytes out.set "$OUT/expected"
}
