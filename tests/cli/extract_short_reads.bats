#!/usr/bin/env bats
# Sets that end too early, hostile counts and sizes, and sets read from pipes:
# tarnvex stops at the first short read, keeps what it finished and removes
# what it did not.

load helpers

# same_text WHAT EXPECTED FILE: compare_text without a process per call for
# the usual case; anything else, a NUL byte included, goes to compare_text.
same_text() {
    local actual=""
    if [ -f "$3" ] && ! IFS= read -r -d '' actual <"$3" && [ "$actual" = "$2" ]; then
        return 0
    fi
    compare_text "$1" "$2" "$3"
}

# check_prefix LENGTH: runs tarnvex in run.LENGTH on prefix.set, the first
# LENGTH bytes of the set laid out as NAMES and SIZES say, and checks
# everything it leaves. Every check is chained by hand: the caller adds the
# length to the message, and errexit does not reach into a function called
# with ||.
check_prefix() {
    local len=$1 i end
    local count=${#NAMES[@]}
    local -a lines=() listed=() done_files=()
    local ok=1

    if [ "$len" -ge 20 ]; then
        lines+=("count = $count")
        for ((i = 0; i < count; i++)); do
            end=$((20 + 56 * (i + 1)))
            [ "$end" -le "$len" ] || { ok=0; break; }
            lines+=("$i: ${NAMES[i]}, ${SIZES[i]}")
            listed+=("${NAMES[i]}")
        done
        if [ "$ok" -eq 1 ]; then
            end=$((20 + 56 * count))
            for ((i = 0; i < count; i++)); do
                end=$((end + 8 + SIZES[i]))
                [ "$end" -le "$len" ] || { ok=0; break; }
                done_files+=("${NAMES[i]}")
            done
        fi
    else
        ok=0
    fi

    cd "run.$len" || return 1
    tarnvex ../prefix.set

    if [ "$ok" -eq 1 ]; then
        local total=0
        for ((i = 0; i < count; i++)); do total=$((total + SIZES[i])); done
        expect_status 0 || return 1
        lines+=("--- TarnVex stats ---" "Total output:$count files (${total}b)"
            "Listfile generated as: reslist.txt")
    else
        expect_status 1 || return 1
        lines+=("Can't read ../prefix.set")
    fi
    lines_of "${lines[@]}"
    same_text stdout "$TEXT" "$OUT/stdout" || return 1
    same_text stderr "" "$OUT/stderr" || return 1
    lines_of "${listed[@]}"
    same_text reslist.txt "$TEXT" reslist.txt || return 1
    expect_extracted ../src "${done_files[@]}" || return 1
    expect_only_files reslist.txt "${done_files[@]}" || return 1
    cd .. || return 1
}

@test "every prefix of a three-resource set: what was finished stays, nothing else" {
    NAMES=(a.res hollow.res high-words.res)
    SIZES=(3 0 5)
    mkdir src
    (
        cd src
        mkres a.res 3
        mkres hollow.res 0 7 9
        mkres high-words.res 5 0xFFFFFFFF 0x80000000
        expected_set ../full.set a.res hollow.res high-words.res
    )
    full=$(wc -c <full.set)
    [ "$full" -eq $((20 + 3 * 56 + 3 * 8 + 3 + 0 + 5)) ]

    # The prefixes grow by one byte per run, appended by the shell itself:
    # a process or two per prefix keeps the whole sweep fast.
    read -r -d '' -a octets < <(od -An -v -t o1 full.set) || :
    [ "${#octets[@]}" -eq "$full" ]
    dirs=()
    for ((len = 0; len <= full; len++)); do dirs+=("run.$len"); done
    mkdir "${dirs[@]}"
    : >prefix.set
    # The sweep runs in a subshell without bats' per-command trace, which
    # would otherwise cost more than the runs themselves; every step is
    # checked by hand, and a failure names the prefix.
    sweep=0
    (
        trap - DEBUG
        for ((len = 0; len <= full; len++)); do
            check_prefix "$len" || { echo "with a prefix of $len of $full bytes" >&2; exit 1; }
            [ "$len" -eq "$full" ] && break
            # shellcheck disable=SC2059 # the format is the byte
            printf "\\${octets[len]}" >>prefix.set || exit 1
        done
    ) || sweep=$?
    [ "$sweep" -eq 0 ]
    expect_same_bytes prefix.set full.set
}

@test "hostile counts and sizes are unsigned and end at the first short read" {
    mkdir src
    (cd src && mkres a.res 3 && mkres b.res 100)

    # A count of 2^32 - 1 with one entry there: the second entry is short.
    { set_head 4294967295; toc_entry a.res 3; body a.res 3; } >huge-count.set
    mkdir run1 && cd run1
    tarnvex ../huge-count.set
    expect_status 1
    expect_stdout "count = 4294967295" "0: a.res, 3" "Can't read ../huge-count.set"
    expect_stderr
    expect_reslist a.res
    expect_only_files reslist.txt
    cd ..

    # A size of 2^32 - 16 in a set of about 200 bytes is a short payload; the
    # resource finished before it stays.
    { set_head 2; toc_entry a.res 3; toc_entry b.res 4294967280; body a.res 3; body b.res 100; } >huge-size.set
    [ "$(wc -c <huge-size.set)" -lt 300 ]
    mkdir run2 && cd run2
    tarnvex ../huge-size.set
    expect_status 1
    expect_stdout "count = 2" "0: a.res, 3" "1: b.res, 4294967280" "Can't read ../huge-size.set"
    expect_stderr
    expect_reslist a.res b.res
    expect_extracted ../src a.res
    expect_only_files reslist.txt a.res
    cd ..

    # 2^31 has the sign bit set: still printed as a plain unsigned number.
    { set_head 1; toc_entry b.res 2147483648; body b.res 100; } >sign-bit.set
    mkdir run3 && cd run3
    tarnvex ../sign-bit.set
    expect_status 1
    expect_stdout "count = 1" "0: b.res, 2147483648" "Can't read ../sign-bit.set"
    expect_stderr
    expect_reslist b.res
    expect_only_files reslist.txt
    cd ..

    # An empty file: not even a header.
    : >empty.set
    mkdir run4 && cd run4
    tarnvex ../empty.set
    expect_status 1
    expect_stdout "Can't read ../empty.set"
    expect_stderr
    expect_reslist
    expect_only_files reslist.txt
    cd ..
}

@test "only the count of the header is looked at" {
    mkdir src
    (cd src && mkres a.res 3 5 6 && mkres b.res 100 0xFFFFFFFF 0)
    entries() { toc_entry a.res 3 5 6; toc_entry b.res 100 0xFFFFFFFF 0; body a.res 3; body b.res 100; }

    { set_head 2 XXXX; entries; } >other-magic.set
    {
        printf '0SER'
        le32 0xDEADBEEF
        le32 2
        le32 4000
        le32 1
        entries
    } >other-fields.set

    for set in other-magic.set other-fields.set; do
        mkdir "run.$set" && cd "run.$set"
        tarnvex "../$set"
        expect_status 0
        expect_full_report 2 103 "count = 2" "0: a.res, 3" "1: b.res, 100"
        expect_stderr
        expect_reslist a.res b.res
        expect_extracted ../src a.res b.res
        expect_only_files reslist.txt a.res b.res
        cd ..
    done
}

# feed FIFO COMMAND...: runs COMMAND in the background with its output going
# into FIFO; a writer nobody reads from gives up after a while.
feed() {
    local fifo=$1
    shift
    # shellcheck disable=SC2016 # expanded by the inner shell
    timeout 20 bash -c '"${@:2}" >"$1"' feed "$fifo" "$@" &
    FEEDER=$!
}

@test "a set read through a FIFO, whole and cut short" {
    mkdir src
    (
        cd src
        mkres small.res 7 3 4
        # Larger than a pipe holds, so the payload comes in many pieces.
        mkres big.res 300000 0x80000000 1
        expected_set ../full.set small.res big.res
    )
    full=$(wc -c <full.set)

    mkdir whole && cd whole
    mkfifo FIFO
    # The first bytes come alone, so the header read meets a pipe that has
    # only part of it yet.
    # shellcheck disable=SC2016 # expanded by the inner shell
    feed FIFO sh -c 'head -c 10 "$0"; sleep 0.2; tail -c +11 "$0"' ../full.set
    tarnvex FIFO
    wait "$FEEDER" || :
    expect_status 0
    expect_full_report 2 300007 "count = 2" "0: small.res, 7" "1: big.res, 300000"
    expect_stderr
    expect_reslist small.res big.res
    expect_extracted ../src small.res big.res
    expect_only_files FIFO reslist.txt small.res big.res
    cd ..

    mkdir cut && cd cut
    mkfifo FIFO
    feed FIFO head -c $((full - 1000)) ../full.set
    tarnvex FIFO
    wait "$FEEDER" || :
    expect_status 1
    expect_stdout "count = 2" "0: small.res, 7" "1: big.res, 300000" "Can't read FIFO"
    expect_stderr
    expect_reslist small.res big.res
    expect_extracted ../src small.res
    expect_only_files FIFO reslist.txt small.res
}

@test "reslist.txt named as the set is emptied before it is read" {
    mkdir src
    (cd src && mkres a.res 3 && expected_set ../a.set a.res)
    mkdir run && cd run
    # A whole valid set under that name: had it been read first, a.res would
    # come out.
    cp ../a.set reslist.txt
    tarnvex reslist.txt
    expect_status 1
    expect_stdout "Can't read reslist.txt"
    expect_stderr
    expect_size reslist.txt 0
    expect_only_files reslist.txt
}
