#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# tarnvex: the command line, the listing, the statistics and reslist.txt, and
# the files it recreates.

load helpers

@test "a wrong command line: the usage line, status 255, an empty reslist.txt" {
    echo "left from an earlier run" >reslist.txt
    tarnvex
    expect_status 255
    expect_stdout "usage: tarnvex <resname>"
    expect_stderr
    expect_size reslist.txt 0

    mkres a.res 3
    expected_set a.set a.res
    tarnvex a.set a.set
    expect_status 255
    expect_stdout "usage: tarnvex <resname>"
    expect_size reslist.txt 0
    expect_only_files a.res a.set reslist.txt
}

@test "a set of no entries: count 0, no files, an empty reslist.txt" {
    set_head 0 >empty.set
    mkdir x && cd x
    tarnvex ../empty.set
    expect_status 0
    expect_stdout "count = 0" \
        "--- TarnVex stats ---" \
        "Total output:0 files (0b)" \
        "Listfile generated as: reslist.txt"
    expect_stderr
    expect_size reslist.txt 0
    expect_only_files reslist.txt
}

@test "every resource comes back byte for byte, listed in table order" {
    mkres a.res 3 1 2
    mkres b.res 0 4294967295 2147483648
    mkres long-name-of-thirty-two-bytes.rs 70000 7 8
    mkdir sub
    mkres sub/c.res 1
    expected_set in.set a.res b.res '!discard' long-name-of-thirty-two-bytes.rs sub/c.res
    mkdir -p x/sub && cd x
    tarnvex ../in.set
    expect_status 0
    expect_stdout "count = 4" \
        "0: a.res, 3" \
        "1: b.res, 0" \
        "2: long-name-of-thirty-two-bytes.rs, 70000" \
        "3: sub/c.res, 1" \
        "--- TarnVex stats ---" \
        "Total output:4 files (70004b)" \
        "Listfile generated as: reslist.txt"
    expect_stderr
    expect_reslist a.res b.res long-name-of-thirty-two-bytes.rs sub/c.res
    expect_extracted .. a.res b.res long-name-of-thirty-two-bytes.rs sub/c.res
}

@test "the stored body_header is replaced; words and payload are kept" {
    {
        set_head 1
        toc_entry odd.res 5 305419896 2882400001
        printf 'abcdefgh'
        printf 'hello'
    } >odd.set
    mkdir x && cd x
    tarnvex ../odd.set
    expect_status 0
    {
        printf 0SER
        le32 305419896
        le32 2882400001
        printf '\0\0\0\0!IGMhello'
    } >"$OUT/odd.res"
    expect_same_bytes odd.res "$OUT/odd.res"
}

@test "an existing file of the same name is replaced, not appended to" {
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    head -c 5000 /dev/zero >a.res
    tarnvex ../in.set
    expect_status 0
    expect_extracted .. a.res
}

@test "-l and --list print what an extraction prints, read no body and write nothing" {
    mkres a.res 3
    mkres b.res 70000 7 8
    expected_set in.set a.res b.res
    head -c $((20 + 2 * 56)) in.set >bodiless.set
    head -c 100 in.set >short.set
    { set_head 1; toc_entry ../up.res 3; } >unsafe.set
    mkdir x && cd x
    tarnvex ../in.set
    head -n 3 "$OUT/stdout" >"$OUT/listing"
    rm a.res b.res
    cp reslist.txt "$OUT/reslist.before"
    mkfifo FIFO
    feed FIFO cat ../in.set
    local option set
    for option in "-l ../in.set" "--list ../bodiless.set" "-l FIFO"; do
        # shellcheck disable=SC2086 # the option and the set
        tarnvex $option
        expect_status 0
        expect_same_bytes "$OUT/stdout" "$OUT/listing"
    done
    tarnvex -l ../unsafe.set
    expect_stdout "count = 1" "0: ../up.res, 3"
    tarnvex --list ../missing.set
    expect_status 1
    expect_stdout "Can't open ../missing.set"
    tarnvex -l ../short.set
    expect_status 1
    expect_stdout "count = 2" "0: a.res, 3" "Can't read ../short.set"
    expect_same_bytes reslist.txt "$OUT/reslist.before"
    expect_only_files FIFO reslist.txt
}

@test "--help, -h and --version alone write no file; one argument is still a set" {
    tarnvex --version
    expect_status 0
    expect_stdout "tarnvex $RESOURCE_SET_IDENTITY"
    tarnvex --help
    mv "$OUT/stdout" "$OUT/help"
    tarnvex -h
    expect_status 0
    expect_same_bytes "$OUT/stdout" "$OUT/help"
    grep -q "^usage: tarnvex \[-d\] \[-C DIR\] \[--\] SET" "$OUT/help"
    expect_only_files

    tarnvex -l
    expect_status 1
    expect_stdout "Can't open -l"
    tarnvex -d
    expect_stdout "Can't open -d"
    # Options with no set after them, or one not known, are wrong as before.
    for line in "--help a.set a.set" "-C a.set" "-x a.set" "-d -- a.set a.set"; do
        # shellcheck disable=SC2086 # the words are the arguments
        tarnvex $line
        expect_status 255
        expect_stdout "usage: tarnvex <resname>"
    done
}

@test "-d makes the folders nested names need; a file in the way is refused" {
    local names=(top.res gfx/logo.res lvl/1/2.res blocked/x.res) name
    ! on_windows || names+=('txt\a.res')
    {
        set_head ${#names[@]}
        for name in "${names[@]}"; do toc_entry "$name" 3; done
        for name in "${names[@]}"; do body "$name" 3; done
    } >in.set
    mkdir plain made && touch made/blocked
    cd plain
    tarnvex ../in.set
    expect_status 1
    [ "$(grep -c "^Can't create" "$OUT/stdout")" = $((${#names[@]} - 1)) ]
    expect_only_files top.res reslist.txt
    cd ../made
    tarnvex -d ../in.set
    expect_status 1
    grep -q "^Can't create blocked/x.res" "$OUT/stdout"
    for name in "${names[@]}"; do
        [ "$name" != blocked/x.res ] || continue
        { printf 0SER; le32 1; le32 2; body "$name" 3; } >"$OUT/expected"
        expect_same_bytes "${name//\\//}" "$OUT/expected"
    done
    [ -f blocked ] && [ ! -s blocked ]
}

@test "-C DIR extracts into DIR, the set named from where the run started" {
    mkdir src && (cd src && mkdir sub && mkres a.res 3 && mkres sub/b.res 4 && expected_set ../in.set a.res sub/b.res)
    mkdir out
    tarnvex -d -C out in.set
    expect_status 0
    expect_full_report 2 7 "count = 2" "0: a.res, 3" "1: sub/b.res, 4"
    expect_only_files in.set src/a.res src/sub/b.res out/a.res out/sub/b.res out/reslist.txt
    (cd out && expect_extracted ../src a.res sub/b.res && vashpak ../again.set @reslist.txt)
    expect_same_bytes again.set in.set

    tarnvex --make-directories --directory out2 -- in.set
    expect_status 1
    expect_stdout "Can't open out2"
    tarnvex -l -C out2 in.set
    expect_status 0
    expect_stdout "count = 2" "0: a.res, 3" "1: sub/b.res, 4"
    [ ! -e out2 ] && [ ! -e reslist.txt ]
}

@test "a run killed part-way leaves reslist.txt naming every entry listed so far" {
    ! on_windows || skip "no FIFOs in Windows folders"
    { set_head 3; toc_entry a.res 3; toc_entry sub/b.res 4; toc_entry c.res 5; } >head.set
    mkdir x && cd x
    mkfifo ../set.fifo
    # The table comes, then no body: the FIFO stays open for writing here,
    # and tarnvex waits for the bodies until it is killed.
    exec 5<>../set.fifo
    cat ../head.set >&5
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$TARNVEX" ../set.fifo >"$OUT/stdout" &
    local extractor=$! i
    for ((i = 0; i < 200 && $(wc -l 2>/dev/null <reslist.txt || echo 0) < 3; i++)); do sleep 0.05; done
    kill -KILL "$extractor"
    wait "$extractor" || true
    exec 5>&-
    expect_reslist a.res sub/b.res c.res
}
