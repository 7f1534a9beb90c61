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
    expect_stderr "tarnvex: no set given"
    expect_size reslist.txt 0

    mkres a.res 3
    expected_set a.set a.res
    tarnvex -t a.set a.res
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

@test "re-extraction leaves a file with the same bytes as it stands and replaces one that differs" {
    ! on_windows || skip "on Windows every file at an entry's name is replaced"
    local LC_ALL=C length=$((3 * 1024 * 1024)) same
    mkres a.res 3
    mkres b.res "$length"
    mkres c.res 5
    expected_set in.set a.res b.res c.res
    mkdir x && cd x
    tarnvex ../in.set
    expect_status 0
    # b.res as long as before, its last byte one more; c.res its first
    # payload byte.
    { head -c -1 ../b.res; tail -c 1 ../b.res | tr '\000-\377' '\001-\377\000'; } >b.res
    { head -c 20 ../c.res; printf '#'; tail -c 4 ../c.res; } >c.res
    touch -d '2001-02-03 04:05:06' a.res b.res c.res
    same=$(stat -c %i:%Y a.res)
    tarnvex ../in.set
    expect_status 0
    expect_full_report 3 $((8 + length)) "count = 3" "0: a.res, 3" "1: b.res, $length" "2: c.res, 5"
    [ "$(stat -c %i:%Y a.res)" = "$same" ]
    expect_extracted .. a.res b.res c.res
    [ "$(stat -c %Y b.res)" != "$(stat -c %Y a.res)" ]
    expect_only_files a.res b.res c.res reslist.txt
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
    grep -q "^usage: tarnvex \[-d\] \[-k\] \[-v\] \[--exact\] \[-C DIR\] \[--\] SET \[NAME...\]" "$OUT/help"
    expect_only_files

    tarnvex -l
    expect_status 1
    expect_stdout "Can't open -l"
    tarnvex -d
    expect_stdout "Can't open -d"
    # Options with no set after them, or one not known, are wrong as before,
    # and a line on standard error says what is wrong.
    local cases=("--help a.set a.set" "tarnvex: --help takes no other argument"
        "-C a.set" "tarnvex: no set given"
        "-x a.set" "tarnvex: unknown option -x"
        "-dxk a.set" "tarnvex: unknown option -x"
        "--frob=1 a.set" "tarnvex: unknown option --frob"
        "--ver a.set" "tarnvex: option --ver is ambiguous"
        "-lt a.set" "tarnvex: -l and -t exclude each other"
        "-O -p a.set" "tarnvex: -O and -p exclude each other"
        "--compare -l a.set" "tarnvex: --compare and -l exclude each other"
        "-t a.set a.res" "tarnvex: -t takes one set"
        "--exact=1 a.set" "tarnvex: option --exact takes no argument"
        "a.set -C" "tarnvex: option -C needs a folder"
        "-d --dir" "tarnvex: option --directory needs a folder"
        "a.set --unwrap a b" "tarnvex: --unwrap comes first, with RESOURCE and RAW alone"
        "--json a.set" "tarnvex: --json needs -l")
    local i
    for ((i = 0; i < ${#cases[@]}; i += 2)); do
        # shellcheck disable=SC2086 # the words are the arguments
        tarnvex ${cases[i]}
        expect_status 255
        expect_stdout "usage: tarnvex <resname>"
        expect_stderr "${cases[i + 1]}"
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
    [ ! -e out2 ]
    [ ! -e reslist.txt ]

    # An empty set name names no set: nothing is entered or written.
    mkdir out3
    tarnvex -C out3 ""
    expect_status 1
    expect_stdout "Can't open "
    [ ! -e out3/reslist.txt ]
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

# A set with names in folders and a name with brackets, for the cases that
# pick entries by NAME.
make_named_set() {
    mkdir -p src/gfx
    (cd src && mkres a.res 3 && mkres gfx/b.res 4 7 9 && mkres gfx/c.res 5 && mkres 'd[1].res' 6 &&
        expected_set ../in.set a.res gfx/b.res '!discard' gfx/c.res 'd[1].res')
}

@test "NAMEs pick the entries they match, and a NAME that matches none fails the run" {
    make_named_set
    mkdir x && cd x
    tarnvex -d ../in.set 'gfx/*' 'd\[1\].res' 'none*'
    expect_status 1
    expect_full_report 3 15 "count = 4" "1: gfx/b.res, 4" "2: gfx/c.res, 5" "3: d[1].res, 6" "No entry matches none*"
    expect_reslist gfx/b.res gfx/c.res 'd[1].res'
    expect_extracted ../src gfx/b.res gfx/c.res 'd[1].res'
    expect_only_files gfx/b.res gfx/c.res 'd[1].res' reslist.txt
    tarnvex -l ../in.set '?.res' 'gfx/[!b]*'
    expect_status 0
    expect_stdout "count = 4" "0: a.res, 3" "2: gfx/c.res, 5"
}

@test "a long pattern with an unclosed [ is read once, not at every name it is matched against" {
    ! on_windows || skip "a Windows command line holds at most 32767 characters"
    local i n=4096 long
    {
        set_head $n 0TSR $((20 + 64 * n))
        for ((i = 0; i < n; i++)); do
            printf 'name-%026d\0\0\0\0\0\1\0\0\0\2\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' "$i"
        done
    } >many.set
    long="*[$(head -c 100000 /dev/zero | tr '\0' a)"
    # Read again at every comparison, each of these costs seconds.
    EXEC_PREFIX="timeout 30 ${EXEC_PREFIX:-}"
    tarnvex -l many.set "$long" 'name-*4095' "$long" "$long" "$long" "$long" "$long"
    expect_status 1
    local unmatched=("No entry matches $long")
    unmatched+=("${unmatched[@]}" "${unmatched[@]}")
    unmatched+=("${unmatched[@]}")
    expect_stdout "count = 4096" "4095: name-$(printf '%026d' 4095), 0" "${unmatched[@]}"
}

@test "bodies not wanted are skipped by seeking in a file, read past from a pipe, and a cut one is still found" {
    mkdir src
    (cd src && mkres big.res $((8 * 1024 * 1024)) && mkres small.res 3 && expected_set ../in.set big.res small.res)
    head -c $(($(wc -c <in.set) - 1)) in.set >cut.set
    mkdir x && cd x
    if [ -z "${EXEC_PREFIX:-}" ] && command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
        # What the run reads comes to less than the body it skips.
        # LeakSanitizer, in a sanitizer build, cannot run under ptrace.
        ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -o "$OUT/reads" -e trace=read "$TARNVEX" ../in.set \
            small.res >/dev/null
        [ "$(awk -F'= ' '/^read\(/ { sum += $NF } END { print sum + 0 }' "$OUT/reads")" -lt $((1024 * 1024)) ]
    fi
    tarnvex ../in.set small.res
    expect_status 0
    expect_extracted ../src small.res
    if ! on_windows; then
        rm small.res
        status=0
        # shellcheck disable=SC2086 # the prefix may be several words
        ${EXEC_PREFIX:-} "$TARNVEX" /dev/stdin small.res <../in.set >"$OUT/stdout" || status=$?
        expect_status 0
        expect_extracted ../src small.res
    fi
    tarnvex ../cut.set big.res
    expect_status 1
    expect_stdout "count = 2" "0: big.res, 8388608" "Can't read ../cut.set"
}

@test "-O and -p write resource files or payloads to standard output, the report to standard error, no file" {
    make_named_set
    mkdir x && cd x
    echo "kept as it was" >reslist.txt
    tarnvex -O ../in.set gfx/c.res a.res
    expect_status 0
    cat ../src/a.res ../src/gfx/c.res >"$OUT/expected"
    expect_same_bytes "$OUT/stdout" "$OUT/expected"
    expect_lines stderr "$OUT/stderr" "count = 4" "0: a.res, 3" "2: gfx/c.res, 5" "--- TarnVex stats ---" \
        "Total output:2 files (8b)"
    tarnvex --payload ../in.set 'gfx/*'
    expect_status 0
    { tail -c +21 ../src/gfx/b.res; tail -c +21 ../src/gfx/c.res; } >"$OUT/expected"
    expect_same_bytes "$OUT/stdout" "$OUT/expected"
    [ "$(cat reslist.txt)" = "kept as it was" ]
    expect_only_files reslist.txt
    if ! on_windows && [ -w /dev/full ]; then
        status=0
        # shellcheck disable=SC2086 # the prefix may be several words
        ${EXEC_PREFIX:-} "$TARNVEX" -p ../in.set >/dev/full 2>"$OUT/stderr" || status=$?
        expect_status 1
        grep -qx "Can't write standard output" "$OUT/stderr"
    fi
}

@test "-O into a full standard output counts no resource that did not get out" {
    ! on_windows || skip "no /dev/full"
    [ -w /dev/full ] || skip "no /dev/full"
    make_named_set
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$TARNVEX" -O in.set >/dev/full 2>"$OUT/stderr" || status=$?
    expect_status 1
    expect_stderr "count = 4" "0: a.res, 3" "1: gfx/b.res, 4" "2: gfx/c.res, 5" "3: d[1].res, 6" \
        "Can't write standard output" "--- TarnVex stats ---" "Total output:0 files (0b)"
}

@test "-k keeps what stands at an entry's name, and that is no failure" {
    make_named_set
    mkdir -p x/gfx/c.res && cd x
    echo "mine" >a.res
    # Windows sees no dangling link: a file stands there instead.
    if on_windows; then echo "mine too" >gfx/b.res; else ln -s elsewhere gfx/b.res; fi
    tarnvex -k ../in.set
    expect_status 0
    expect_full_report 1 6 "count = 4" "0: a.res, 3" "1: gfx/b.res, 4" "2: gfx/c.res, 5" "3: d[1].res, 6" \
        "Keeping a.res" "Keeping gfx/b.res" "Keeping gfx/c.res"
    [ "$(cat a.res)" = mine ]
    if on_windows; then [ "$(cat gfx/b.res)" = "mine too" ]; else [ "$(readlink gfx/b.res)" = elsewhere ]; fi
    [ -d gfx/c.res ]
    expect_extracted ../src 'd[1].res'
}

@test "--exact lists the discard point, and vashpak packs the same set again" {
    mkdir src
    (cd src && mkres a.res 3 && mkres b.res 4 && mkres c.res 5)
    local inputs
    for inputs in "a.res b.res !discard c.res" "!discard a.res b.res" "a.res b.res c.res"; do
        # shellcheck disable=SC2086 # the words are the inputs
        (cd src && vashpak ../in.set $inputs)
        rm -rf x && mkdir x && cd x
        tarnvex --exact ../in.set
        expect_status 0
        # shellcheck disable=SC2086
        expect_reslist $inputs
        vashpak ../again.set @reslist.txt
        expect_success
        expect_same_bytes ../again.set ../in.set
        cd ..
    done
}

@test "-v shows the discard point, the words in hexadecimal and each payload's offset" {
    make_named_set
    tarnvex -v -l in.set
    expect_status 0
    expect_stdout "keep_count = 2, keep_end = 267" "count = 4" "0: a.res, 3, 0x00000001, 0x00000002, 252" \
        "1: gfx/b.res, 4, 0x00000007, 0x00000009, 263" "2: gfx/c.res, 5, 0x00000001, 0x00000002, 275" \
        "3: d[1].res, 6, 0x00000001, 0x00000002, 288"
}

@test "-v writes the bytes of a name that are not graphic, and the backslash, escaped; the plain listing as they are" {
    local LC_ALL=C odd=$'x\n0: y\t\r\\ \x7f\xe9'
    { printf 0TSR; le32 0; le32 1; le32 1; le32 85; toc_entry "$odd" 1; body a 1; } >odd.set
    tarnvex -v -l odd.set
    expect_status 0
    expect_stdout "keep_count = 1, keep_end = 85" "count = 1" '0: x\n0:\x20y\t\r\\\x20\x7f\xe9, 1, 0x00000001, 0x00000002, 84'
    tarnvex -l odd.set
    expect_status 0
    # Standard output is text on Windows: the name's line feed comes out
    # as CR LF there, as every line's does.
    local plain=$odd
    ! on_windows || plain=${odd//$'\n'/$'\r\n'}
    expect_stdout "count = 1" "0: $plain, 1"
}

@test "options bundle, take = and come anywhere, as getopt_long has them" {
    make_named_set
    mkdir out1 out2 out3
    local line
    for line in "-dCout1 in.set gfx/b.res" "in.set -dC out2 gfx/b.res" "--directory=out3 in.set gfx/b.res -d"; do
        # shellcheck disable=SC2086 # the words are the arguments
        tarnvex $line
        expect_status 0
    done
    for line in out1 out2 out3; do
        (cd "$line" && expect_only_files gfx/b.res reslist.txt && expect_extracted ../src gfx/b.res)
    done
    # After --, a word that starts with - is a NAME.
    tarnvex -l -- in.set -x
    expect_status 1
    expect_stdout "count = 4" "No entry matches -x"
}

@test "long options may be abbreviated where that is unambiguous, and = gives an argument even when empty" {
    make_named_set
    mkdir out1 out2
    tarnvex --dir=out1 --make in.set gfx/b.res
    expect_status 0
    tarnvex in.set --dir out2 a.res
    expect_status 0
    (cd out1 && expect_only_files gfx/b.res reslist.txt)
    (cd out2 && expect_only_files a.res reslist.txt)
    tarnvex --verb -l in.set a.res
    expect_status 0
    expect_stdout "keep_count = 2, keep_end = 267" "count = 4" "0: a.res, 3, 0x00000001, 0x00000002, 252"
    tarnvex --directory= out1
    expect_status 1
    expect_stdout "Can't open "
    local line
    for line in "--ver in.set" "--t in.set" "--verbose=1 in.set" "--directory"; do
        # shellcheck disable=SC2086 # the words are the arguments
        tarnvex $line a.res
        expect_status 255
    done
}

@test "-t reads the whole set and reports every way it is not what vashpak writes" {
    make_named_set
    tarnvex -t in.set
    expect_status 0
    expect_stdout "count = 4" "0: a.res, 3" "1: gfx/b.res, 4" "2: gfx/c.res, 5" "3: d[1].res, 6" "in.set: OK"
    local long=abcdefghijklmnopqrstuvwxyz0123456 field=abcdefghijklmnopqrstuvwxyz0123456789
    {
        printf 0TSX
        le32 1
        le32 3
        le32 4
        le32 0
        toc_entry ../up.res 3 | head -c 48
        le32 1
        le32 0
        { printf '%s\0xx' "$long"; le32 1; le32 2; le32 1; le32 0; le32 0; }
        toc_entry "$field" 2
        body a 3
        body b 1
        body c 2
        printf 12345
    } >bad.set
    tarnvex -t bad.set
    expect_status 1
    expect_stdout "count = 3" "0: ../up.res, 3" "1: $long, 1" "2: $field, 2" \
        "Magic is not 0TSR" "Reserved word of the header is not 0" "keep_count is above the count" \
        "Entry 0: name is unsafe to extract" "Entry 0: reserved word is not 0" \
        "Entry 1: bytes after the name are not 0" "Entry 1: name is longer than 32 bytes" \
        "Entry 2: name has no terminator" "Entry 2: name is longer than 32 bytes" \
        "Set has 5 bytes after its last body" "bad.set: 10 problems"
    # A discard point out of place, an entry that is reslist.txt, a set cut
    # short, and more entries than vashpak packs.
    (cd src && mkres reslist.txt 2 && vashpak ../list.set a.res '!discard' ./reslist.txt)
    { head -c 16 list.set; le32 7; tail -c +21 list.set | head -c -3; } >cut.set
    tarnvex -tv cut.set
    expect_status 1
    expect_stdout "keep_count = 1, keep_end = 7" "count = 2" "0: a.res, 3, 0x00000001, 0x00000002, 140" \
        "1: ./reslist.txt, 2, 0x00000001, 0x00000002, 151" "Entry 1: name is unsafe to extract" \
        "keep_end is not 143, the end of the kept bodies" "Set is 3 bytes shorter than its table says" "cut.set: 3 problems"
    local i
    {
        printf 0TSR
        le32 0
        le32 4097
        le32 4097
        le32 $((20 + 64 * 4097))
        for ((i = 0; i < 4097; i++)); do
            printf 'a\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
            printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
        done
        head -c $((8 * 4097)) /dev/zero
    } >many.set
    tarnvex -t many.set
    expect_status 1
    tail -n 2 "$OUT/stdout" >"$OUT/last"
    expect_lines "the last lines" "$OUT/last" "Count is above 4096" "many.set: 1 problem"
    if ! on_windows; then
        mkdir folder.set
        tarnvex -t folder.set
        expect_status 1
        expect_stdout "Set cannot be read" "folder.set: 1 problem"
    fi
    expect_only_files in.set bad.set list.set cut.set many.set src/a.res src/gfx/b.res src/gfx/c.res 'src/d[1].res' \
        src/reslist.txt
}

@test "-t lists the first 1000 problems, counts the others and says how many it left out" {
    local i n=1200 lines=()
    {
        set_head $n 0TSR $((20 + 64 * n))
        # Each entry with a reserved word that is not 0: one problem each.
        for ((i = 0; i < n; i++)); do
            printf 'a\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
            printf '\1\0\0\0\2\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0'
        done
        for ((i = 0; i < n; i++)); do
            printf '\0\0\0\0!IGM'
        done
    } >many.set
    tarnvex -t many.set
    expect_status 1
    for ((i = 0; i < 1000; i++)); do
        lines+=("Entry $i: reserved word is not 0")
    done
    tail -n 1002 "$OUT/stdout" >"$OUT/last"
    expect_lines "the problems" "$OUT/last" "${lines[@]}" "(200 more problems not listed)" "many.set: 1200 problems"
}

@test "-l --json: one JSON document of the counts and the entries chosen, read by jq and by Python" {
    command -v jq >/dev/null || skip "no jq"
    command -v python3 >/dev/null || skip "no python3"
    {
        set_head 3 0TSR 99
        toc_entry a.res 3 1 4294967295
        toc_entry 'q"\b.res' 0 7 8
        printf 'caf\303\251\001x\377\300\257\355\240\200\364\220\200\200\342\202'
        head -c 17 /dev/zero
        le32 5
        le32 6
        le32 2
        le32 0
        le32 0
        body a.res 3
        body 'q"\b.res' 0
        body odd 2
    } >in.set
    tarnvex -l --json in.set
    expect_status 0
    expect_stderr
    local json='{'$EOL'  "count": 3,'$EOL'  "keep_count": 3,'$EOL'  "keep_end": 99,'$EOL'  "entries": ['$EOL
    json+='    {"index": 0, "name": "a.res", "size": 3, "word1": 1, "word2": 4294967295, "offset": 196},'$EOL
    json+='    {"index": 1, "name": "q\"\\b.res", "size": 0, "word1": 7, "word2": 8, "offset": 207},'$EOL
    json+=$'    {"index": 2, "name": "caf\303\251\\u0001x\357\277\275\357\277\275\357\277\275'
    json+=$'\357\277\275\357\277\275\357\277\275\357\277\275\357\277\275\357\277\275\357\277\275'
    json+=$'\357\277\275\357\277\275", "name_bytes": "636166c3a90178ffc0afeda080f4908080e282",'
    json+=' "size": 2, "word1": 5, "word2": 6, "offset": 215}'$EOL'  ]'$EOL'}'$EOL
    compare_text stdout "$json" "$OUT/stdout"
    [ "$(jq -r '.entries[1].name' "$OUT/stdout")" = 'q"\b.res' ]
    [ "$(jq -r '[.count, .keep_end, .entries[0].word2, .entries[2].offset] | @tsv' "$OUT/stdout")" = $'3\t99\t4294967295\t215' ]
    python3 -c 'import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
odd = doc["entries"][2]
assert bytes.fromhex(odd["name_bytes"]) == b"caf\xc3\xa9\x01x\xff\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82", odd
assert odd["name"] == "caf\u00e9\u0001x" + "\ufffd" * 12, odd["name"]
assert "name_bytes" not in doc["entries"][0]' "$OUT/stdout"
    # NAMEs choose the entries; one that matches nothing is reported on
    # standard error, and a set cut short leaves standard output empty.
    tarnvex -l --json in.set 'q*' nothing
    expect_status 1
    expect_stderr "No entry matches nothing"
    [ "$(jq -c '[.entries[].index]' "$OUT/stdout")" = "[1]" ]
    head -c 100 in.set >cut.set
    tarnvex --list --json cut.set
    expect_status 1
    expect_stderr "Can't read cut.set"
    expect_no_stdout
    set_head 0 >empty.set
    tarnvex -l --json empty.set
    expect_status 0
    json='{'$EOL'  "count": 0,'$EOL'  "keep_count": 0,'$EOL'  "keep_end": 0,'$EOL'  "entries": []'$EOL'}'$EOL
    compare_text stdout "$json" "$OUT/stdout"
    [ "$(jq '.entries | length' "$OUT/stdout")" = 0 ]
    expect_only_files in.set cut.set empty.set
}

@test "--compare: Differs and Missing for each file not as an extraction writes it, nothing written, status 1" {
    mkres a.res 3 1 2
    mkres b.res 5
    mkres c.res 70000
    mkres d.res 2
    mkres e.res 1
    expected_set in.set a.res b.res c.res d.res e.res
    mkdir x && cd x
    tarnvex ../in.set
    expect_status 0
    rm reslist.txt
    # A file that matches says nothing.
    tarnvex --compare ../in.set
    expect_status 0
    expect_stdout
    expect_stderr
    printf 'z' | dd of=c.res bs=1 seek=69000 conv=notrunc 2>/dev/null
    echo more >>b.res
    rm d.res
    mkdir d.res
    rm e.res
    # A link to a file of the same bytes, which is not followed (where
    # links are seen).
    ln -s ../e.res e.res
    rm a.res
    { printf 0SER; le32 1; le32 9; body a.res 3; } >a.res
    cd ..
    tarnvex --compare -C x in.set
    expect_status 1
    if on_windows; then
        expect_stdout "Differs a.res" "Differs b.res" "Differs c.res" "Missing d.res"
    else
        expect_stdout "Differs a.res" "Differs b.res" "Differs c.res" "Missing d.res" "Missing e.res"
    fi
    expect_stderr
    # Through a pipe (Windows has no /dev/stdin), with NAMEs, and a set cut
    # short as in an extraction.
    cd x
    if ! on_windows; then
        cat ../in.set | tarnvex --compare /dev/stdin 'c*' nothing
        expect_status 1
        expect_stdout "No entry matches nothing" "Differs c.res"
    fi
    head -c 500 ../in.set >../cut.set
    tarnvex --compare ../cut.set
    expect_status 1
    expect_stdout "Differs a.res" "Differs b.res" "Can't read ../cut.set"
    expect_only_files a.res b.res c.res e.res
}

@test "--compare: an unsafe name is reported as an extraction would skip it" {
    {
        set_head 2
        toc_entry ../up.res 1
        toc_entry reslist.txt 1
        body ../up.res 1
        body reslist.txt 1
    } >in.set
    mkdir x && cd x
    mkres ../up.res 1
    tarnvex --compare ../in.set
    expect_status 1
    expect_stdout "Skipping unsafe name ../up.res" "Skipping unsafe name reslist.txt"
    expect_only_files
}
