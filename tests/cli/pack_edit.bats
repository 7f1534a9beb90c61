#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# vashpak --update, --delete and --rename: each edited set is compared with
# the set vashpak packs from the files it should hold.

load helpers

# pack SET INPUT...: packs a set that a case starts from or compares with.
pack() {
    vashpak "$@"
    expect_success
}

# keep_fields SET: count, keep_count and keep_end.
keep_fields() {
    od -An -t u4 -j 8 -N 12 --endian=little "$1" | xargs
}

# expect_unchanged SET: the set is still the copy kept in $OUT/before, and
# nothing else was left beside it.
expect_unchanged() {
    expect_same_bytes "$1" "$OUT/before"
}

@test "--update puts a resource in place of the last entry of its name" {
    mkres a.res 10
    mkres b.res 20 3 4
    mkres c.res 30
    pack s.set a.res b.res c.res
    mkres b.res 45 0xFFFFFFFF 7
    vashpak --update s.set b.res
    expect_success
    pack expected.set a.res b.res c.res
    expect_same_bytes s.set expected.set
    expect_only_files a.res b.res c.res s.set expected.set

    # Of two entries of a name, only the last one changes.
    pack twice.set a.res b.res a.res
    mkres a.res 7 5 6
    vashpak --update twice.set a.res
    expect_success
    tarnvex -l -v twice.set
    expect_stdout "keep_count = 3, keep_end = 274" "count = 3" \
        "0: a.res, 10, 0x00000001, 0x00000002, 196" \
        "1: b.res, 45, 0xffffffff, 0x00000007, 214" \
        "2: a.res, 7, 0x00000005, 0x00000006, 267"
}

@test "--update takes a set and inputs named beyond ASCII, as packing does" {
    # On Windows the names reach vashpak in the ANSI code page, one with é
    # in this locale.
    export LC_ALL=C.UTF-8
    mkres été.res 10
    mkres b.res 20
    pack ensemble-é.set b.res
    vashpak --update ensemble-é.set été.res
    expect_success
    pack expected.set b.res été.res
    expect_same_bytes ensemble-é.set expected.set
    expect_only_files b.res été.res ensemble-é.set expected.set
}

@test "--update appends after the discard point, and keeps a set without one without one" {
    mkres a.res 10
    mkres b.res 20
    mkres c.res 30
    mkres d.res 5 8 9
    mkres e.res 0
    pack s.set a.res '!discard' b.res
    printf 'd.res\nb.res\n' >more.lst
    # d.res twice: the second takes the place of the first.
    vashpak --update s.set c.res @more.lst d.res e.res
    expect_success
    pack expected.set a.res '!discard' b.res c.res d.res e.res
    expect_same_bytes s.set expected.set
    [ "$(keep_fields s.set)" = "5 1 318" ]

    pack none.set a.res b.res
    vashpak --update none.set c.res
    expect_success
    pack expected.set a.res b.res c.res
    expect_same_bytes none.set expected.set
    [ "$(keep_fields none.set)" = "3 3 272" ]
}

@test "--update refuses a directive, on the command line and in a listfile, and leaves the set" {
    mkres a.res 10
    mkres b.res 20
    pack s.set a.res
    cp s.set "$OUT/before"
    vashpak --update s.set b.res '!discard'
    expect_status 1
    expect_stderr "Can't use \"!discard\" in an update" "Failed \"!discard\""
    expect_no_stdout
    expect_unchanged s.set

    printf 'b.res\n!DISCARDED\n' >in.lst
    vashpak --update s.set @in.lst
    expect_status 1
    expect_stderr "Can't use \"!DISCARDED\" in an update" "Can't add \"!DISCARDED\"" "Failed \"@in.lst\""
    expect_unchanged s.set
    expect_only_files a.res b.res s.set in.lst
}

@test "--update refuses an input as packing does and leaves the set" {
    mkres a.res 10
    pack s.set a.res
    cp s.set "$OUT/before"
    mkres b.res 20
    printf 'XSER\1\0\0\0\2\0\0\0\0\0\0\0!IGM' >bad.res
    vashpak --update s.set b.res bad.res a.res
    expect_status 1
    expect_stderr "\"bad.res\" is not a resource, aborting." "Failed \"bad.res\""
    expect_no_stdout
    expect_unchanged s.set

    printf 'b.res\nmissing.res\n' >in.lst
    vashpak --update s.set @in.lst
    expect_status 1
    expect_stderr "Can't read \"missing.res\", aborting." "Can't add \"missing.res\"" "Failed \"@in.lst\""
    expect_unchanged s.set
}

@test "--update counts the edited set against the limits: entries and bytes" {
    mkres a.res 0
    mkres b.res 0
    for ((i = 0; i < 4096; i++)); do
        echo a.res
    done >full.lst
    pack full.set @full.lst
    cp full.set "$OUT/before"
    vashpak --update full.set b.res
    expect_status 1
    expect_stderr "Too many resources! Increase RESOURCE_SET_MAX." "Failed \"b.res\""
    expect_unchanged full.set
    # In the place of an entry, the 4096th is no more.
    mkres a.res 1
    vashpak --update full.set a.res
    expect_success
    [ "$(keep_fields full.set)" = "4096 4096 262165" ]

    command -v truncate >/dev/null || skip "no truncate"
    # Alone, edge.res fits with 63 bytes to spare; beside tiny.res, one byte
    # is one too many.
    mkres tiny.res 0
    pack s.set tiny.res
    cp s.set "$OUT/before"
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM' >edge.res
    truncate -s $((2147483647 - 20 - 2 * 56 - 8 + 12 + 1)) edge.res
    vashpak --update s.set edge.res
    expect_status 1
    expect_stderr "\"edge.res\" does not fit in the set, aborting." "Failed \"edge.res\""
    expect_unchanged s.set
}

@test "--delete removes every entry a pattern matches; the discard point follows" {
    mkres a.res 10
    mkres b.res 20
    mkres bb.res 5
    mkres c.res 30
    mkres d.res 40
    local layouts=(
        "a.res b.res ! c.res d.res|b* c.res|a.res ! d.res"
        "a.res b.res ! c.res|c.res|a.res b.res"
        "! a.res b.res c.res|a.res|! b.res c.res"
        "a.res bb.res b.res ! c.res|b[a-z].res|a.res b.res ! c.res"
        "a.res b.res c.res|b.res|a.res c.res"
    ) layout
    for layout in "${layouts[@]}"; do
        IFS='|' read -r inputs patterns survivors <<<"$layout"
        read -ra inputs <<<"${inputs//!/!discard}"
        read -ra patterns <<<"$patterns"
        read -ra survivors <<<"${survivors//!/!discard}"
        echo "${inputs[*]} without ${patterns[*]}"
        pack s.set "${inputs[@]}"
        vashpak --delete s.set "${patterns[@]}"
        expect_success
        pack expected.set "${survivors[@]}"
        expect_same_bytes s.set expected.set
    done
    [ "$(keep_fields s.set)" = "2 2 188" ]
}

@test "--delete of every entry leaves the 20-byte empty set" {
    mkres a.res 10
    mkres b.res 20
    pack s.set a.res '!discard' b.res
    vashpak --delete s.set a.res '*'
    expect_success
    printf '0TSR\0\0\0\0\0\0\0\0\0\0\0\0\24\0\0\0' >"$OUT/expected"
    expect_same_bytes s.set "$OUT/expected"
}

@test "a pattern or name that matches no entry: No entry matches, and the set is left" {
    mkres a.res 10
    mkres b.res 20
    pack s.set a.res b.res
    cp s.set "$OUT/before"
    vashpak --delete s.set zz a.res 'A*' b.res '[x]'
    expect_status 1
    expect_stderr "No entry matches zz" "No entry matches A*" "No entry matches [x]"
    expect_no_stdout
    expect_unchanged s.set

    vashpak --rename s.set a.re z.res
    expect_status 1
    expect_stderr "No entry matches a.re"
    expect_unchanged s.set
    expect_only_files a.res b.res s.set
}

@test "--rename names the last entry of a name anew and keeps the discard point" {
    mkres a.res 10
    mkres b.res 20 3 4
    pack s.set a.res b.res '!discard' a.res b.res
    vashpak --rename s.set a.res sub/z.res
    expect_success
    mkdir sub
    cp a.res sub/z.res
    pack expected.set a.res b.res '!discard' sub/z.res b.res
    expect_same_bytes s.set expected.set
}

@test "--rename refuses a new name that packing would refuse" {
    mkres a.res 10
    pack s.set a.res
    cp s.set "$OUT/before"
    local long=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456
    vashpak --rename s.set a.res "$long"
    expect_status 1
    expect_stderr "Filename \"$long\" is too long"
    expect_no_stdout
    expect_unchanged s.set
    for name in '' '!discard' '!Discarded'; do
        vashpak --rename s.set a.res "$name"
        expect_status 1
        expect_stderr "Can't rename to \"$name\""
        expect_unchanged s.set
    done
    # 32 bytes, and a name that only looks like a directive, are names.
    vashpak --rename s.set a.res "${long%6}"
    expect_success
    vashpak --rename s.set "${long%6}" '!keep'
    expect_success
    tarnvex -l s.set
    expect_stdout "count = 1" "0: !keep, 10"
}

@test "what is not a set cannot be edited" {
    mkres a.res 10
    cp a.res "$OUT/before"
    vashpak --update a.res a.res
    expect_status 1
    expect_stderr "Can't edit \"a.res\": not a resource set"
    expect_no_stdout
    expect_unchanged a.res
    vashpak --delete missing.set a.res
    expect_status 1
    expect_stderr "Can't edit \"missing.set\": the file cannot be opened"
    vashpak --rename missing.set a.res b.res
    expect_status 1
    expect_stderr "Can't edit \"missing.set\": the file cannot be opened"
    expect_only_files a.res
}

@test "a set that cannot be replaced: Can't write, and the set is left" {
    ! on_windows || skip "wine's files do not follow the folder's permissions"
    mkres a.res 10
    mkdir ro
    pack ro/s.set a.res
    cp ro/s.set "$OUT/before"
    permissions_bind
    chmod 555 ro
    vashpak --delete ro/s.set a.res
    chmod 755 ro
    expect_status 1
    expect_stderr "Can't write \"ro/s.set\": writing the set failed"
    expect_no_stdout
    expect_unchanged ro/s.set
}

@test "a signal during the commit leaves the set as it was and no temporary" {
    need_strace
    mkres big.res 300000
    mkres b.res 20
    pack s.set big.res b.res
    cp s.set "$OUT/before"
    mkres b.res 30
    local signal call
    # The signal comes as the header goes out, and as the bodies of the
    # set are copied.
    for call in write copy_file_range; do
        for signal in INT TERM HUP; do
            status=0
            strace -o /dev/null -e trace="$call" -e inject="$call":signal=SIG$signal:when=1 \
                "$VASHPAK" --update s.set b.res >/dev/null 2>&1 || status=$?
            expect_status $((128 + $(kill -l "$signal")))
            expect_unchanged s.set
            expect_only_files big.res b.res s.set
        done
    done
}

@test "the edits are options only as the first argument with enough after them" {
    mkres a.res 10
    mkres b.res 20
    vashpak ./--update a.res b.res
    expect_success
    expected_set "$OUT/expected" a.res b.res
    expect_same_bytes ./--update "$OUT/expected"
    rm ./--update

    vashpak --update a.res
    expect_success
    expected_set "$OUT/expected" a.res
    expect_same_bytes ./--update "$OUT/expected"

    vashpak --rename a.res b.res a.res b.res
    expect_success
    expected_set "$OUT/expected" a.res b.res a.res b.res
    expect_same_bytes ./--rename "$OUT/expected"
    expect_only_files a.res b.res --update --rename
}
