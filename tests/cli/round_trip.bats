#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# Round trips: a set made by vashpak, taken apart by tarnvex and made again
# by vashpak from the listfile tarnvex leaves.

load helpers

# The body_header tarnvex writes back, whatever the set held.
STOCK_HEADER='\000\000\000\000!IGM'

# expect_tarnvex_report NAME SIZE [NAME SIZE]...: status 0, nothing on
# standard error and the full report of an extraction of these entries, in
# table order.
expect_tarnvex_report() {
    local lines=("count = $(($# / 2))") i=0 total=0
    while [ $# -gt 0 ]; do
        lines+=("$i: $1, $2")
        total=$((total + $2))
        i=$((i + 1))
        shift 2
    done
    expect_status 0
    expect_stderr
    expect_full_report "$i" "$total" "${lines[@]}"
}

# mkres_with_header NAME PAYLOAD_LENGTH WORD1 WORD2 HEADER: a resource file
# whose body_header is HEADER, eight bytes as printf escapes.
mkres_with_header() {
    {
        printf 0SER
        le32 "$3"
        le32 "$4"
        # shellcheck disable=SC2059 # the header is given as escapes
        printf "$5"
        payload "$1" "$2"
    } >"$1"
}

# with_stock_header FILE OFFSET: FILE with the eight bytes at OFFSET replaced
# by the stock body_header, on standard output.
with_stock_header() {
    head -c "$2" "$1"
    # shellcheck disable=SC2059 # the header is given as escapes
    printf "$STOCK_HEADER"
    tail -c +$(($2 + 9)) "$1"
}

@test "pack, extract, pack from reslist.txt: the same set, byte for byte" {
    mkdir -p sub/deeper
    mkres a.res 100 1 2
    mkres sub/b.res 17 0xFFFFFFFF 0x80000000
    mkres empty.res 0 0x80000001 0xFEDCBA98
    mkres sub/deeper/c.res 4096 0 0
    mkres ABCDEFGHIJKLMNOPQRSTUVWXYZ012345 1 0x7FFFFFFF 0xDEADBEEF
    mkres x.y_z-w+v 3000 0x00010000 0x01000000
    mkres .hidden 2 0x12345678 0x9ABCDEF0
    # a.res again at the end: the same file written twice, listed twice.
    inputs=(a.res sub/b.res empty.res sub/deeper/c.res
        ABCDEFGHIJKLMNOPQRSTUVWXYZ012345 x.y_z-w+v .hidden a.res)

    vashpak a.set "${inputs[@]}"
    expect_success
    expected_set "$OUT/expected" "${inputs[@]}"
    expect_same_bytes a.set "$OUT/expected"

    mkdir -p x/sub/deeper
    cd x
    tarnvex ../a.set
    expect_tarnvex_report a.res 100 sub/b.res 17 empty.res 0 \
        sub/deeper/c.res 4096 ABCDEFGHIJKLMNOPQRSTUVWXYZ012345 1 \
        x.y_z-w+v 3000 .hidden 2 a.res 100
    expect_extracted .. "${inputs[@]}"
    expect_only_files "${inputs[@]}" reslist.txt
    expect_reslist "${inputs[@]}"

    vashpak ../b.set @reslist.txt
    expect_success
    expect_same_bytes ../b.set ../a.set

    # A set of one entry, and the empty set, come back the same way.
    cd ..
    mkdir one none
    vashpak one.set empty.res
    expect_success
    : >"$OUT/empty.lst"
    vashpak none.set "@$OUT/empty.lst"
    expect_success
    cd one
    tarnvex ../one.set
    expect_tarnvex_report empty.res 0
    expect_extracted .. empty.res
    expect_only_files empty.res reslist.txt
    expect_reslist empty.res
    vashpak ../one2.set @reslist.txt
    expect_success
    expect_same_bytes ../one2.set ../one.set
    cd ../none
    tarnvex ../none.set
    expect_tarnvex_report
    expect_only_files reslist.txt
    expect_reslist
    vashpak ../none2.set @reslist.txt
    expect_success
    expect_same_bytes ../none2.set ../none.set
}

@test "after a discard point the rebuilt set has the same entries and none" {
    mkres a.res 10 1 2
    mkres b.res 0 3 4
    mkres c.res 300 0xFFFFFFFF 5
    without=(a.res b.res c.res)
    expected_set "$OUT/without" "${without[@]}"
    for inputs in "a.res !discard b.res c.res" "!discard a.res b.res c.res" \
        "a.res b.res !discard c.res"; do
        read -ra with <<<"$inputs"
        rm -rf x a.set b.set
        vashpak a.set "${with[@]}"
        expect_success

        mkdir x
        cd x
        tarnvex ../a.set
        expect_tarnvex_report a.res 10 b.res 0 c.res 300
        expect_extracted .. "${without[@]}"
        expect_only_files "${without[@]}" reslist.txt
        expect_reslist "${without[@]}"
        vashpak ../b.set @reslist.txt
        expect_success
        cd ..

        expect_same_bytes b.set "$OUT/without"
        # Only keep_count and keep_end, bytes 12 to 19, have changed.
        head -c 12 a.set >"$OUT/a.start"
        head -c 12 b.set >"$OUT/b.start"
        expect_same_bytes "$OUT/b.start" "$OUT/a.start"
        tail -c +21 a.set >"$OUT/a.rest"
        tail -c +21 b.set >"$OUT/b.rest"
        expect_same_bytes "$OUT/b.rest" "$OUT/a.rest"
        if cmp -s -n 20 a.set b.set; then
            echo "the discard fields were kept for [$inputs]" >&2
            return 1
        fi
    done
}

@test "an unusual body_header comes back as the stock one" {
    mkres a.res 33 1 2
    mkres_with_header odd.res 50 3 4 '\1\2\3\4\377\0\200\177'
    mkres_with_header near.res 0 5 6 '\0\0\0\0!IGm'
    mkres_with_header zero.res 9 7 8 '\0\0\0\0\0\0\0\0'
    mkres c.res 12 9 10
    inputs=(a.res odd.res near.res zero.res c.res)
    vashpak a.set "${inputs[@]}"
    expect_success
    expected_set "$OUT/expected" "${inputs[@]}"
    expect_same_bytes a.set "$OUT/expected"

    mkdir x
    cd x
    tarnvex ../a.set
    expect_tarnvex_report a.res 33 odd.res 50 near.res 0 zero.res 9 c.res 12
    expect_only_files "${inputs[@]}" reslist.txt
    expect_reslist "${inputs[@]}"
    expect_extracted .. a.res c.res
    for name in odd.res near.res zero.res; do
        with_stock_header "../$name" 12 >"$OUT/$name"
        expect_same_bytes "$name" "$OUT/$name"
    done

    vashpak ../b.set @reslist.txt
    expect_success
    cd ..
    # The bodies start after the header and five table entries: a.res's at
    # 300, then odd.res's at 341, near.res's at 399 and zero.res's at 407.
    with_stock_header a.set 341 >"$OUT/step1"
    with_stock_header "$OUT/step1" 399 >"$OUT/step2"
    with_stock_header "$OUT/step2" 407 >"$OUT/rebuilt"
    expect_same_bytes b.set "$OUT/rebuilt"
}

@test "a name with a space is cut there when read back from reslist.txt" {
    mkres 'my file.res' 9 1 2
    vashpak a.set 'my file.res'
    expect_success
    mkdir x
    cd x
    tarnvex ../a.set
    expect_tarnvex_report 'my file.res' 9
    expect_extracted .. 'my file.res'
    expect_reslist 'my file.res'
    vashpak ../b.set @reslist.txt
    expect_input_failure ../b.set \
        "Can't read \"my\", aborting." \
        "Can't add \"my\"" \
        "Failed \"@reslist.txt\""

    # The same after names that are read well.
    cd ..
    mkres ok.res 4 3 4
    mkres 'two words here.res' 5 5 6
    vashpak c.set ok.res 'two words here.res' ok.res
    expect_success
    mkdir y
    cd y
    tarnvex ../c.set
    expect_tarnvex_report ok.res 4 'two words here.res' 5 ok.res 4
    expect_reslist ok.res 'two words here.res' ok.res
    vashpak ../d.set @reslist.txt
    expect_input_failure ../d.set \
        "Can't read \"two\", aborting." \
        "Can't add \"two\"" \
        "Failed \"@reslist.txt\""
}

# Letters, digits and . _ - + make names that are safe as file names.  A
# leading '-' is left out, as the helpers hand names to head, tail and cmp,
# and so is a trailing '.', which Windows drops from a file name.
NAME_CHARS=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-+

# The random cases are made by make_rounds, run through without_trace: the
# test's per-command trap would make its byte-by-byte loops far too slow.
# It uses builtins only, as a process per byte or per file would too.

# random_name MAX_LENGTH: sets NAME to a random name of 1 to MAX_LENGTH
# characters, not yet in USED (keyed by the lower-case name).
random_name() {
    local length k
    while :; do
        length=$((RANDOM % $1 + 1))
        NAME=
        for ((k = 0; k < length; k++)); do
            NAME+=${NAME_CHARS:RANDOM % ${#NAME_CHARS}:1}
        done
        case $NAME in -* | . | .. | *.) continue ;; esac
        [ -z "${USED[${NAME,,}]:-}" ] && break
    done
}

# Sets WORD to a random 32-bit word, now and then one of the extremes.
random_word() {
    case $((RANDOM % 8)) in
    0) WORD=0 ;;
    1) WORD=$((0xFFFFFFFF)) ;;
    *) WORD=$(((RANDOM << 17 ^ RANDOM << 2 ^ RANDOM) & 0xFFFFFFFF)) ;;
    esac
}

# le32_format VALUE: sets LE to the printf escapes of VALUE as four
# little-endian bytes.
le32_format() {
    printf -v LE '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) \
        $(($1 >> 16 & 255)) $(($1 >> 24 & 255))
}

# make_rounds ROUNDS SEED: for each round R, a folder $WORK/srcR of 0 to 12
# random resource files, some in srcR/sub; the set the packer must make of
# them, in table order, as $WORK/eR.set; their names and payload sizes, one
# a line, in $OUT/namesR and $OUT/sizesR.
make_rounds() {
    local rounds=$1 round i k count size words table bodies total head
    local -a escapes names sizes
    local -A USED
    RANDOM=$2
    for ((i = 0; i < 256; i++)); do
        printf -v 'escapes[i]' '\\%03o' "$i"
    done
    for ((round = 0; round < rounds; round++)); do
        mkdir -p "$WORK/src$round/sub"
        cd "$WORK/src$round"
        USED=([sub]=1 [reslist.txt]=1)
        names=()
        sizes=()
        table=
        bodies=
        total=0
        count=$((RANDOM % 13))
        for ((i = 0; i < count; i++)); do
            if ((RANDOM % 4 == 0)); then
                random_name 28
                NAME=sub/$NAME
            else
                random_name 32
            fi
            USED[${NAME,,}]=1
            if ((RANDOM % 5 == 0)); then
                size=0
            else
                size=$((RANDOM % 3001))
            fi
            BYTES=
            for ((k = 0; k < size; k++)); do
                BYTES+=${escapes[RANDOM & 255]}
            done
            random_word
            le32_format "$WORD"
            words=$LE
            random_word
            le32_format "$WORD"
            words+=$LE
            # shellcheck disable=SC2059 # the file is given as escapes
            printf "0SER$words$STOCK_HEADER$BYTES" >"$NAME"

            # Its table entry and body in the set.
            table+=$NAME
            for ((k = ${#NAME}; k < 36; k++)); do
                table+='\000'
            done
            le32_format "$size"
            table+=$words$LE'\000\000\000\000\000\000\000\000'
            bodies+=$STOCK_HEADER$BYTES
            total=$((total + 8 + size))
            names+=("$NAME")
            sizes+=("$size")
        done
        le32_format "$count"
        head=0TSR'\000\000\000\000'$LE$LE
        le32_format $((20 + 56 * count + total))
        # shellcheck disable=SC2059 # the set is given as escapes
        printf "$head$LE$table$bodies" >"$WORK/e$round.set"
        printf '%s\n' "${names[@]}" >"$OUT/names$round"
        printf '%s\n' "${sizes[@]}" >"$OUT/sizes$round"
    done
}

# without_trace COMMAND...: runs COMMAND in a subshell without the test's
# per-command trap.
without_trace() {
    (
        trap - DEBUG
        "$@"
    )
}

@test "random sets make the round trip unchanged" {
    without_trace make_rounds 20 5171
    : >"$OUT/empty.lst"
    for ((round = 0; round < 20; round++)); do
        src=$WORK/src$round
        x=$WORK/x$round
        mapfile -t names <"$OUT/names$round"
        mapfile -t sizes <"$OUT/sizes$round"
        [ "${names[0]}" ] || names=()
        report=()
        for ((i = 0; i < ${#names[@]}; i++)); do
            report+=("${names[i]}" "${sizes[i]}")
        done
        echo "round $round: ${names[*]}"

        cd "$src"
        if ((${#names[@]} == 0)); then
            vashpak "$WORK/a$round.set" "@$OUT/empty.lst"
        else
            vashpak "$WORK/a$round.set" "${names[@]}"
        fi
        expect_success
        expect_same_bytes "$WORK/a$round.set" "$WORK/e$round.set"
        # Once, the same set made by the shared helper.
        if ((round == 0)); then
            expected_set "$OUT/expected" "${names[@]}"
            expect_same_bytes "$WORK/a$round.set" "$OUT/expected"
        fi

        mkdir -p "$x/sub"
        cd "$x"
        tarnvex "$WORK/a$round.set"
        expect_tarnvex_report "${report[@]}"
        expect_extracted "$src" "${names[@]}"
        expect_only_files "${names[@]}" reslist.txt
        expect_reslist "${names[@]}"
        vashpak "$WORK/b$round.set" @reslist.txt
        expect_success
        expect_same_bytes "$WORK/b$round.set" "$WORK/a$round.set"
    done
}

@test "the demo runs twice in its own folder, and refuses a folder holding someone's file" {
    [ -z "${EXEC_PREFIX:-}" ] || skip "the demo runs the programs directly"
    local demo=$BATS_TEST_DIRNAME/../../examples/demo.sh
    VASHPAK=$VASHPAK TARNVEX=$TARNVEX sh "$demo" run >/dev/null
    VASHPAK=$VASHPAK TARNVEX=$TARNVEX sh "$demo" run >"$OUT/stdout"
    grep -qx "rebuilt.set and plain.set, the same resources packed without !discard, are identical." "$OUT/stdout"
    grep -qxF "\$ vashpak demo.set @resources.lst '!discard' credits.res level1.res" "$OUT/stdout"
    mkdir mine && echo "my notes" >mine/notes.txt
    status=0
    VASHPAK=$VASHPAK TARNVEX=$TARNVEX sh "$demo" mine >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_status 2
    expect_stderr 'demo: "mine" exists and was not made by the demo; give a new or empty folder'
    [ "$(cat mine/notes.txt)" = "my notes" ] && [ "$(ls -A mine)" = notes.txt ]
}

@test "wrap, pack, list, extract, unwrap: the raw bytes come back, the empty file's too" {
    pattern_file
    head -c 60000 "$PATTERN" >x.png
    : >empty.bin
    vashpak --wrap x.png x.res 7 9
    expect_success
    vashpak --wrap empty.bin empty.res
    expect_success
    vashpak game.set x.res empty.res
    expect_success
    tarnvex -l -v game.set
    expect_stdout "keep_count = 2, keep_end = 60148" "count = 2" "0: x.res, 60000, 0x00000007, 0x00000009, 140" \
        "1: empty.res, 0, 0x00000000, 0x00000000, 60148"
    mkdir x && cd x
    tarnvex ../game.set
    expect_status 0
    tarnvex --unwrap x.res y.png
    expect_success
    expect_same_bytes y.png ../x.png
    tarnvex --unwrap empty.res empty.bin
    expect_success
    expect_same_bytes empty.bin ../empty.bin
    tarnvex --unwrap x.res -
    expect_status 0
    expect_stderr
    expect_same_bytes "$OUT/stdout" ../x.png
}

@test "--unwrap refuses what is not a resource and leaves what stood at RAW" {
    mkres a.res 3
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IG' >short.res
    printf 'XSER\1\0\0\0\2\0\0\0\0\0\0\0!IGMabc' >magic.res
    echo "old raw" >old.raw
    local refusal
    for refusal in "missing.res old.raw:Can't open missing.res" "short.res old.raw:short.res is not a resource" \
        "magic.res old.raw:magic.res is not a resource" "a.res nofolder/new.raw:Can't create nofolder/new.raw" \
        "a.res a.res:Can't create a.res"; do
        # shellcheck disable=SC2086 # the words are the arguments
        tarnvex --unwrap ${refusal%%:*}
        expect_status 1
        expect_stderr "${refusal#*:}"
        expect_no_stdout
        [ "$(cat old.raw)" = "old raw" ]
    done
    expect_only_files a.res short.res magic.res old.raw
    # A device, or a link to one, is neither written to nor replaced.
    if ! on_windows && [ -c /dev/full ]; then
        ln -s /dev/full device.raw
        for refusal in /dev/full device.raw; do
            tarnvex --unwrap a.res "$refusal"
            expect_status 1
            expect_stderr "Can't create $refusal"
        done
        [ -c /dev/full ]
        [ -L device.raw ]
    fi
}

@test "--unwrap refuses standard output that is the resource itself and writes nothing" {
    ! on_windows || skip "under wine a standard output the shell redirected has no file identity"
    mkres a.res 100000
    cp a.res "$OUT/before"
    : >"$OUT/stdout"
    status=0
    # A limit on the file's size ends a run that would append to it for ever.
    # shellcheck disable=SC2086 # the prefix may be several words
    (ulimit -f 4096 && ${EXEC_PREFIX:-} "$TARNVEX" --unwrap a.res - >>a.res 2>"$OUT/stderr") || status=$?
    expect_status 1
    expect_stderr "Can't unwrap \"a.res\" into itself"
    expect_same_bytes a.res "$OUT/before"
}

@test "--unwrap does not replace a file it may not write" {
    mkres a.res 3
    echo "old raw" >old.raw
    chmod 444 old.raw
    permissions_bind
    tarnvex --unwrap a.res old.raw
    expect_status 1
    expect_stderr "Can't create old.raw"
    expect_no_stdout
    [ "$(cat old.raw)" = "old raw" ]
}

@test "update, extract with --exact, pack from reslist.txt: the updated set, byte for byte" {
    mkres a.res 10 1 2
    mkres b.res 20 3 4
    mkres c.res 30 5 6
    vashpak a.set a.res b.res '!discard' c.res
    expect_success
    mkres b.res 45 7 8
    mkres d.res 0 9 10
    vashpak --update a.set b.res d.res
    expect_success

    mkdir x
    cd x
    tarnvex --exact ../a.set
    expect_tarnvex_report a.res 10 b.res 45 c.res 30 d.res 0
    expect_reslist a.res b.res '!discard' c.res d.res
    vashpak ../b.set @reslist.txt
    expect_success
    expect_same_bytes ../b.set ../a.set
}
