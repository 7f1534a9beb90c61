#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# Faults, grouped: sets cut short at every byte, sets corrupted at random,
# and output that runs out of room.  Whatever comes, the programs end with a
# status that tells the truth, never crash or hang, and write nothing outside
# the folder they run in.

load helpers

# ---- Sets cut short: every prefix of a valid set ----

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


# ---- Sets corrupted at random ----

# A base set of four resources, one in a subfolder, with a discard point.
make_base_set() {
    mkdir -p sub
    mkres a.res 3
    mkres sub/b.res 300 0x80000000 0xFFFFFFFF
    mkres c.res 0
    mkres d.res 5000
    vashpak base.set a.res sub/b.res '!discard' c.res d.res
    expect_success
}

# corrupt_set FILE: one to four changes at random: a byte anywhere (mostly
# in the header and table), a hostile name over an entry's name, a huge
# count or size, or a cut.
corrupt_set() {
    local file=$1 n changes=$((RANDOM % 4 + 1)) length offset value
    local hostile=("../up.res" "/tmp/tarnvex-escape-$$.res" '..\up.res' 'sub/../../up.res' 'C:x.res' '..' 'sub/..')
    for ((n = 0; n < changes; n++)); do
        length=$(wc -c <"$file")
        [ "$length" -gt 0 ] || return 0
        case $((RANDOM % 8)) in
        0 | 1 | 2)
            offset=$((RANDOM % (length < 244 ? length : 244)))
            value=$((RANDOM % 256))
            printf "\\$(printf %03o "$value")" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
            ;;
        3)
            offset=$((RANDOM % length))
            value=$((RANDOM % 256))
            printf "\\$(printf %03o "$value")" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
            ;;
        4)
            value=${hostile[RANDOM % ${#hostile[@]}]}
            offset=$((20 + 56 * (RANDOM % 4)))
            { printf '%s' "$value"; head -c $((36 - ${#value})) /dev/zero; } |
                dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
            ;;
        5)
            # count, or an entry's size
            offset=$(((RANDOM % 2) ? 8 : 20 + 56 * (RANDOM % 4) + 44))
            le32 $(((RANDOM << 17 ^ RANDOM << 2 ^ RANDOM) & 0xFFFFFFFF)) |
                dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
            ;;
        *)
            truncate -s $((RANDOM % length)) "$file"
            ;;
        esac
    done
}

@test "a few hundred corrupted sets: status 0 or 1, no crash, no hang, nothing outside" {
    command -v timeout >/dev/null || skip "no timeout"
    make_base_set
    mkdir runs
    touch "$BATS_TEST_TMPDIR/before"
    local case_number failures=0 report=""
    RANDOM=5171
    for ((case_number = 0; case_number < 300; case_number++)); do
        cp base.set "runs/$case_number.set"
        corrupt_set "runs/$case_number.set"
        mkdir -p "runs/$case_number/sub"
        cd "runs/$case_number"
        status=0
        # shellcheck disable=SC2086 # the prefix may be several words
        timeout 20 ${EXEC_PREFIX:-} "$TARNVEX" "../$case_number.set" >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
        cd ../..
        # A crash (a signal, a sanitizer's report) or a hang shows here.
        if [ "$status" -gt 1 ] || [ -s "$OUT/stderr" ]; then
            failures=$((failures + 1))
            report+="case $case_number: status $status, stderr: $(head -c 300 "$OUT/stderr")"$'\n'
        fi
    done
    # Nothing changed outside the runs' own folders.
    find "$BATS_TEST_TMPDIR" -newer "$BATS_TEST_TMPDIR/before" ! -path "$WORK/runs/*" \
        ! -path "$WORK/runs" ! -path "$OUT" ! -path "$OUT/*" >"$OUT/outside"
    [ ! -e "/tmp/tarnvex-escape-$$.res" ] || report+="an absolute name was written"$'\n'
    [ ! -e "$WORK/up.res" ] && [ ! -e "$WORK/runs/up.res" ] || report+="a name climbed out of its folder"$'\n'
    if [ "$failures" -gt 0 ] || [ -s "$OUT/outside" ] || [ -n "$report" ]; then
        printf '%s' "$report" >&2
        cat "$OUT/outside" >&2
        return 1
    fi
}

@test "a set that never ends: -t counts what follows the bodies up to a bound, and ends" {
    command -v timeout >/dev/null || skip "no timeout"
    on_windows && skip "no /dev/zero"
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    timeout 60 ${EXEC_PREFIX:-} "$TARNVEX" -t /dev/zero >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    [ "$status" -eq 1 ]
    tail -n 1 "$OUT/stdout" >"$OUT/last"
    expect_lines "the last line" "$OUT/last" "/dev/zero: 4 problems"
}

# ---- Output with no room: a full disk and /dev/full ----

@test "output to a full device is reported once, with the output's name" {
    [ -w /dev/full ] || skip "no /dev/full"
    mkres a.res 3
    vashpak /dev/full a.res
    expect_status 1
    expect_stderr "Can't write \"/dev/full\""
    expect_no_stdout

    vashpak /dev/full '!discard'
    expect_status 1
    expect_stderr "Can't write \"/dev/full\""

    mkres big.res $((5 * 1024 * 1024))
    vashpak /dev/full big.res a.res
    expect_status 1
    expect_stderr "Can't write \"/dev/full\""
}

@test "a body that does not fit on the disk: fwrite fails, one report" {
    mount_small_tmpfs
    mkres a.res 3
    # Larger than the packer's output buffer (64 KiB), so that the body's own
    # write fails rather than the flush at the close.
    mkres big.res $((256 * 1024))
    vashpak "$FULL/out.set" a.res big.res a.res
    expect_status 1
    expect_stderr "fwrite fails!" "Error copying \"big.res\""
    expect_no_stdout
}

@test "a disk with no room for the header: Can't write" {
    mount_small_tmpfs
    head -c 1000000 /dev/zero >"$FULL/filler" 2>/dev/null || true
    mkres a.res 3
    vashpak "$FULL/out.set" a.res
    expect_status 1
    expect_stderr "Can't write \"$FULL/out.set\""
}

@test "bytes that fail only when the output is closed: Can't write" {
    mount_small_tmpfs
    # Leave one page free: header and table fill most of it, and the buffered
    # bodies overflow it only when the output is flushed at its close.
    head -c $((64 * 1024 - 4096)) /dev/zero >"$FULL/filler"
    mkres a.res 1
    for ((i = 0; i < 72; i++)); do echo a.res; done >many.lst
    vashpak "$FULL/out.set" @many.lst
    expect_status 1
    expect_stderr "Can't write \"$FULL/out.set\""
    expect_no_stdout
}

@test "reslist.txt that cannot be created or written: the run extracts, then says so" {
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    mkdir reslist.txt
    tarnvex ../in.set
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "--- TarnVex stats ---" "Total output:1 files (3b)" "Can't write reslist.txt"
    expect_extracted .. a.res
}

@test "a report that cannot reach standard output is a failure" {
    [ -w /dev/full ] || skip "no /dev/full"
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$TARNVEX" ../in.set >/dev/full || status=$?
    expect_status 1
    expect_extracted .. a.res
}

@test "closed standard streams: no output file takes their place, and a lost message fails the run" {
    ! on_windows || skip "descriptors are a POSIX matter"
    mkres a.res 3
    mkres '!x' 4
    expected_set in.set a.res
    expected_set "$OUT/warned.set" a.res '!x'
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    ${EXEC_PREFIX:-} "$VASHPAK" bad.set a.res '!x' 2>&- || status=$?
    # The warning for !x could not be written: the set is whole, the run fails.
    expect_status 1
    expect_same_bytes bad.set "$OUT/warned.set"
    status=0
    # shellcheck disable=SC2086
    ${EXEC_PREFIX:-} "$VASHPAK" ok.set a.res 2>&- >&- || status=$?
    expect_status 0
    expect_same_bytes ok.set in.set
    mkdir x && cd x
    status=0
    # shellcheck disable=SC2086
    ${EXEC_PREFIX:-} "$TARNVEX" ../in.set >&- || status=$?
    expect_status 1
    expect_reslist a.res
    status=0
    # shellcheck disable=SC2086
    ${EXEC_PREFIX:-} "$TARNVEX" ../in.set 2>&- <&- >"$OUT/stdout" || status=$?
    expect_status 0
    expect_full_report 1 3 "count = 1" "0: a.res, 3"
    expect_reslist a.res
    expect_extracted .. a.res
}

@test "a full disk: the file that does not fit leaves the old one as it was, the rest extracted" {
    mount_small_tmpfs
    mkres big.res $((256 * 1024))
    mkres a.res 3
    expected_set in.set big.res a.res
    cd "$FULL"
    echo "precious user data" >big.res
    tarnvex "$WORK/in.set"
    expect_status 1
    expect_stdout "count = 2" \
        "0: big.res, 262144" \
        "1: a.res, 3" \
        "Can't write big.res" \
        "--- TarnVex stats ---" "Total output:1 files (3b)" \
        "Listfile generated as: reslist.txt"
    [ "$(cat big.res)" = "precious user data" ]
    expect_extracted "$WORK" a.res
    expect_reslist big.res a.res
    expect_only_files big.res a.res reslist.txt
}

@test "a disk already full: bytes that fail only at close, and reslist.txt" {
    mount_small_tmpfs
    head -c 1000000 /dev/zero >"$FULL/filler" 2>/dev/null || true
    mkres a.res 3
    expected_set in.set a.res
    cd "$FULL"
    tarnvex "$WORK/in.set"
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "Can't write a.res" "--- TarnVex stats ---" "Total output:0 files (0b)" "Can't write reslist.txt"
    [ ! -e a.res ]
}

@test "a reader that goes away: every file is still extracted, and the status is 1" {
    ! on_windows || skip "no FIFOs in Windows folders"
    local i names=()
    for ((i = 0; i < 300; i++)); do
        mkres "r$i.res" 1
        names+=("r$i.res")
    done
    expected_set in.set "${names[@]}"
    mkdir x && cd x
    mkfifo ../set.fifo
    # The reader has gone before tarnvex prints its first line, which is
    # far longer than the output buffer.
    (
        # shellcheck disable=SC2086 # the prefix may be several words
        ${EXEC_PREFIX:-} "$TARNVEX" ../set.fifo | { exec 0<&-; : >../reader.gone; }
        echo "${PIPESTATUS[0]}" >../status
    ) &
    for ((i = 0; i < 200; i++)); do
        [ ! -e ../reader.gone ] || break
        sleep 0.05
    done
    timeout 20 cat ../in.set >../set.fifo
    wait
    [ "$(cat ../status)" = 1 ]
    expect_extracted .. "${names[@]}"
    expect_reslist "${names[@]}"
}

@test "a file-size limit: the file that does not fit is reported and nothing is left of it" {
    ! on_windows || skip "a POSIX resource limit"
    local limit_kib=64
    mkres a.res 3
    mkres big.res 100000
    expected_set in.set big.res a.res
    mkdir x && cd x
    echo "old big" >big.res
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    (ulimit -f "$limit_kib" && exec ${EXEC_PREFIX:-} "$TARNVEX" ../in.set) >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_status 1
    expect_stdout "count = 2" "0: big.res, 100000" "1: a.res, 3" "Can't write big.res" \
        "--- TarnVex stats ---" "Total output:1 files (3b)" "Listfile generated as: reslist.txt"
    [ "$(cat big.res)" = "old big" ]
    expect_only_files a.res big.res reslist.txt
    cd ..
    status=0
    # shellcheck disable=SC2086
    (ulimit -f "$limit_kib" && exec ${EXEC_PREFIX:-} "$VASHPAK" out.set a.res big.res) >"$OUT/stdout" 2>"$OUT/stderr" ||
        status=$?
    expect_status 1
    expect_stderr "fwrite fails!" "Error copying \"big.res\""
}

@test "reslist.txt whose close fails: Can't write, never generated" {
    need_strace
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    # Every name reaches the file before its close, so only the close can
    # fail, as it does on a file system that writes back at the close.
    traced -o "$OUT/close.log" -y -e trace=close "$TARNVEX" ../in.set >/dev/null 2>&1
    local number
    number=$(awk '/^close\(/ { n++ } /^close\([0-9]+<[^>]*\/reslist\.txt>\)/ { print n; exit }' "$OUT/close.log")
    [ -n "$number" ]
    rm -f a.res reslist.txt
    status=0
    traced -o /dev/null -e trace=close -e inject=close:error=EIO:when="$number" \
        "$TARNVEX" ../in.set >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "--- TarnVex stats ---" "Total output:1 files (3b)" "Can't write reslist.txt"
    expect_stderr
    expect_extracted .. a.res
}
