#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The command line, the directives and the sets they give.

load helpers

# The name the program was invoked by, as it sees it: on Windows the runner
# hands it the Windows form of the path (Z:\dir\vashpak.exe under wine).
invoked_name() {
    if on_windows; then
        local path=${VASHPAK//\//\\}
        printf 'Z:%s' "$path"
    else
        printf '%s' "$VASHPAK"
    fi
}

@test "fewer than two arguments: usage line, status 1, no output file" {
    vashpak
    expect_status 1
    expect_stderr "usage: $(invoked_name) outputfile [file1 | @listfile] [...]"
    expect_no_stdout

    vashpak out.set
    expect_status 1
    expect_stderr "usage: $(invoked_name) outputfile [file1 | @listfile] [...]"
    [ ! -e out.set ]
}

@test "worked example: one resource gives the 87 bytes of its set" {
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGMxyz' >a
    vashpak out.set a
    expect_success
    printf '%s' \
        '30 54 53 52 00 00 00 00 01 00 00 00 01 00 00 00 57 00 00 00 ' \
        '61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ' \
        '00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ' \
        '01 00 00 00 02 00 00 00 03 00 00 00 00 00 00 00 00 00 00 00 ' \
        '00 00 00 00 21 49 47 4d 78 79 7a ' >"$OUT/expected.hex"
    od -An -v -t x1 out.set | tr -s ' \n' '  ' | sed 's/^ //' >"$OUT/actual.hex"
    compare_text "set bytes" "$(cat "$OUT/expected.hex")" "$OUT/actual.hex"
}

@test "three resources with and without a discard point" {
    mkres a.res 10
    mkres b.res 20 7 8
    mkres c.res 30 0xFFFFFFFF 0x80000000

    vashpak out.set a.res b.res '!discard' c.res
    expect_success
    expect_size out.set 272
    # count 3, keep_count 2, keep_end 20 + 168 + 18 + 28 = 234
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little out.set | xargs)" = "3 2 234" ]
    expected_set "$OUT/expected" a.res b.res '!discard' c.res
    expect_same_bytes out.set "$OUT/expected"

    vashpak out.set a.res b.res c.res
    expect_success
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little out.set | xargs)" = "3 3 272" ]
    expected_set "$OUT/expected" a.res b.res c.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "a directive alone gives the 20-byte empty set" {
    vashpak out.set '!discard'
    expect_success
    printf '0TSR\0\0\0\0\0\0\0\0\0\0\0\0\24\0\0\0' >"$OUT/expected"
    expect_same_bytes out.set "$OUT/expected"
}

@test "the directive ignores case and looks at seven letters only; the last one counts" {
    mkres a.res 1
    mkres b.res 2
    mkres c.res 3
    for directive in '!DISCARD' '!Discard' '!discardable' '!dIsCaRdEd'; do
        vashpak out.set a.res "$directive" b.res c.res
        expect_success
        expected_set "$OUT/expected" a.res '!discard' b.res c.res
        expect_same_bytes out.set "$OUT/expected"
    done

    vashpak out.set '!discard' a.res '!discard' b.res '!discard' c.res
    expect_success
    expected_set "$OUT/expected" a.res b.res '!discard' c.res
    expect_same_bytes out.set "$OUT/expected"

    vashpak out.set '!discard' a.res b.res
    expect_success
    [ "$(od -An -t u4 -j 8 -N 12 --endian=little out.set | xargs)" = "2 0 132" ]

    vashpak out.set a.res b.res '!discard'
    expect_success
    expected_set "$OUT/expected" a.res b.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "an unrecognized directive is logged, then taken as a file name" {
    mkres a.res 1
    vashpak out.set a.res '!keep'
    expect_input_failure out.set \
        "unrecognized directive: keep" \
        "Can't read \"!keep\", aborting." \
        "Failed \"!keep\""

    vashpak out.set '!disc'
    expect_input_failure out.set \
        "unrecognized directive: disc" \
        "Can't read \"!disc\", aborting." \
        "Failed \"!disc\""

    vashpak out.set '!'
    expect_input_failure out.set \
        "unrecognized directive: " \
        "Can't read \"!\", aborting." \
        "Failed \"!\""

    # A resource file of that very name is accepted after the message.
    mkres '!keep' 4
    vashpak out.set a.res '!keep'
    expect_status 0
    expect_stderr "unrecognized directive: keep"
    expected_set "$OUT/expected" a.res '!keep'
    expect_same_bytes out.set "$OUT/expected"
}

@test "the first failing input stops the run and leaves an empty output" {
    mkres a.res 5
    mkres c.res 5
    printf 'old contents' >out.set
    vashpak out.set a.res b.res c.res
    expect_input_failure out.set \
        "Can't read \"b.res\", aborting." \
        "Failed \"b.res\""
}

@test "an output file that cannot be created" {
    mkres a.res 5
    vashpak no/such/dir/out.set a.res
    expect_status 1
    expect_stderr "Can't open \"no/such/dir/out.set\" for output"
    expect_no_stdout
}

@test "the output named as an input is already empty when it is checked" {
    mkres a.res 5
    cp a.res out.set
    vashpak out.set a.res out.set
    expect_input_failure out.set \
        "Can't read \"out.set\", aborting." \
        "Failed \"out.set\""
}

@test "a file named twice gives two entries; names are stored as given" {
    mkdir -p sub/deeper
    mkres sub/deeper/x.res 40
    mkres a.res 3
    vashpak out.set a.res sub/deeper/x.res a.res ./a.res
    expect_success
    expected_set "$OUT/expected" a.res sub/deeper/x.res a.res ./a.res
    expect_same_bytes out.set "$OUT/expected"
}

@test "a name with a space is taken whole from the command line" {
    mkres 'my file.res' 9
    vashpak out.set 'my file.res'
    expect_success
    expected_set "$OUT/expected" 'my file.res'
    expect_same_bytes out.set "$OUT/expected"
}

@test "--help, -h and --version alone; with inputs after it, an option names the output" {
    vashpak --version
    expect_status 0
    expect_stdout "vashpak $RESOURCE_SET_IDENTITY"
    vashpak --help
    mv "$OUT/stdout" "$OUT/help"
    vashpak -h
    expect_status 0
    expect_stderr
    expect_same_bytes "$OUT/stdout" "$OUT/help"
    grep -q "^usage: vashpak OUTPUT INPUT" "$OUT/help"

    vashpak --Version
    expect_status 1
    expect_stderr "usage: $(invoked_name) outputfile [file1 | @listfile] [...]"
    mkres a.res 3
    vashpak --help a.res
    expect_success
    expected_set "$OUT/expected" a.res
    expect_same_bytes ./--help "$OUT/expected"
}

@test "--wrap makes a resource file of any bytes, with words decimal, hexadecimal or 0" {
    pattern_file
    head -c 1000 "$PATTERN" >raw.bin
    vashpak --wrap raw.bin plain.res
    expect_success
    { printf 0SER; le32 0; le32 0; printf '\0\0\0\0!IGM'; cat raw.bin; } >"$OUT/expected"
    expect_same_bytes plain.res "$OUT/expected"
    vashpak --wrap raw.bin words.res 4294967295 0xABCDEF01
    expect_success
    { printf 0SER; le32 4294967295; le32 2882400001; printf '\0\0\0\0!IGM'; cat raw.bin; } >"$OUT/expected"
    expect_same_bytes words.res "$OUT/expected"
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$VASHPAK" --wrap - piped.res 7 <raw.bin >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_success
    { printf 0SER; le32 7; le32 0; printf '\0\0\0\0!IGM'; cat raw.bin; } >"$OUT/expected"
    expect_same_bytes piped.res "$OUT/expected"
    # A link at RESOURCE is replaced, never written through.
    if ! on_windows; then
        echo "outside" >outside.txt
        ln -s outside.txt link.res
        vashpak --wrap raw.bin link.res
        expect_success
        [ ! -L link.res ]
        [ "$(cat outside.txt)" = outside ]
        rm link.res outside.txt
    fi
    # With one argument after it, --wrap is the set to pack into, as before.
    vashpak --wrap plain.res
    expect_success
    expected_set "$OUT/expected" plain.res
    expect_same_bytes ./--wrap "$OUT/expected"
    expect_only_files raw.bin plain.res words.res piped.res --wrap
}

@test "--wrap refuses what it cannot wrap and leaves what stood at RESOURCE" {
    echo "raw bytes" >raw.bin
    echo "old resource" >old.res
    local refusal
    for refusal in "missing.bin old.res:Can't read \"missing.bin\", aborting." \
        "raw.bin old.res 12x:Bad word \"12x\"" "raw.bin old.res 1 4294967296:Bad word \"4294967296\"" \
        "raw.bin old.res 0x:Bad word \"0x\"" "old.res old.res:Can't wrap \"old.res\" into itself" \
        "raw.bin nofolder/new.res:Can't open \"nofolder/new.res\" for output"; do
        # shellcheck disable=SC2086 # the words are the arguments
        vashpak --wrap ${refusal%%:*}
        expect_status 1
        expect_stderr "${refusal#*:}"
        expect_no_stdout
        [ "$(cat old.res)" = "old resource" ]
    done
    command -v truncate >/dev/null || skip "no truncate"
    truncate -s 2147483564 huge.bin
    vashpak --wrap huge.bin old.res
    expect_status 1
    expect_stderr "\"huge.bin\" is too large"
    [ "$(cat old.res)" = "old resource" ]
    expect_only_files raw.bin old.res huge.bin
}

@test "--wrap does not replace a file it may not write" {
    echo "raw bytes" >raw.bin
    echo "old resource" >old.res
    chmod 444 old.res
    permissions_bind
    vashpak --wrap raw.bin old.res
    expect_status 1
    expect_stderr "Can't open \"old.res\" for output"
    expect_no_stdout
    [ "$(cat old.res)" = "old resource" ]
}
