#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# Sets that end too early, hostile counts and sizes, and sets read from pipes:
# tarnvex stops at the first short read, keeps what it finished and removes
# what it did not.

load helpers

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

    # Cut inside the payload of big.res: the file that stood there stays.
    mkdir cut && cd cut
    echo "precious user data" >big.res
    mkfifo FIFO
    feed FIFO head -c $((full - 1000)) ../full.set
    tarnvex FIFO
    wait "$FEEDER" || :
    expect_status 1
    expect_stdout "count = 2" "0: small.res, 7" "1: big.res, 300000" "Can't read FIFO"
    expect_stderr
    expect_reslist small.res big.res
    expect_extracted ../src small.res
    [ "$(cat big.res)" = "precious user data" ]
    expect_only_files FIFO reslist.txt small.res big.res
}

# writing_started OLD: the file being written is there: a temporary beside
# the old file, or the new file itself where there was none.
writing_started() {
    if [ -n "$1" ]; then compgen -G '.tarnvex-*' >/dev/null; else [ -e big.res ]; fi
}

@test "a run ended by a signal while a FIFO feeds it removes the file it was writing" {
    # Wine turns SIGINT into Ctrl-C, after which the C runtime exits with 3.
    local signal=TERM ended=$((128 + 15)) old pid i
    if on_windows; then
        signal=INT ended=3
    fi
    mkdir src
    (cd src && mkres big.res 300000 && expected_set ../full.set big.res)
    for old in "precious user data" ""; do
        rm -rf run && mkdir run && cd run
        [ -z "$old" ] || echo "$old" >big.res
        mkfifo FIFO
        # All but the payload's last bytes, then the pipe stays open.
        # shellcheck disable=SC2016 # expanded by the inner shell
        feed FIFO sh -c 'head -c $(($(wc -c <"$0") - 1000)) "$0"; exec sleep 30' ../full.set
        # shellcheck disable=SC2086 # the prefix may be several words
        ${EXEC_PREFIX:-} "$TARNVEX" FIFO >"$OUT/stdout" &
        pid=$!
        for ((i = 0; i < 200; i++)); do
            writing_started "$old" && break
            sleep 0.05
        done
        writing_started "$old"
        kill -"$signal" "$pid"
        status=0
        wait "$pid" || status=$?
        kill "$FEEDER" 2>/dev/null || :
        expect_status "$ended"
        if [ -n "$old" ]; then
            [ "$(cat big.res)" = "$old" ]
            expect_only_files FIFO reslist.txt big.res
        else
            expect_only_files FIFO reslist.txt
        fi
        cd ..
    done
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
