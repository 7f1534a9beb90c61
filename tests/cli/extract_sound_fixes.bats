#!/usr/bin/env bats
# tarnvex on sets and folders that would make a careless extractor lose data,
# write where it must not, or report a failure as success.

load helpers

# The report that ends a run whose bodies were all handled.
stats_lines() {
    printf '%s\n' "--- TarnVex stats ---" "Total output:$1 files ($2b)"
}

@test "a set that cannot be opened: Can't open, status 1, an empty reslist.txt" {
    tarnvex missing.set
    expect_status 1
    expect_stdout "Can't open missing.set"
    expect_stderr
    expect_size reslist.txt 0
}

@test "all 4096 entries the packer can write are listed and extracted" {
    local i expected="count = 4096"$'\n' total=0
    for ((i = 0; i < 4096; i++)); do
        printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM%s' "$i" >"r$i.res"
        echo "r$i.res"
        expected+="$i: r$i.res, ${#i}"$'\n'
        total=$((total + ${#i}))
    done >all.lst
    vashpak all.set @all.lst
    expect_success
    mkdir x && cd x
    tarnvex ../all.set
    expect_status 0
    expected+=$(stats_lines 4096 "$total")$'\n'"Listfile generated as: reslist.txt"$'\n'
    compare_text stdout "$expected" "$OUT/stdout"
    compare_text reslist.txt "$(cat ../all.lst)"$'\n' reslist.txt
    # One comparison for all of them, in table order.
    (cd .. && xargs cat <all.lst) >"$OUT/sources"
    xargs cat <reslist.txt | cmp - "$OUT/sources"
}

@test "unsafe names are listed but never written, and the run fails" {
    mkdir -p deep/x deep/x/sub
    cd deep
    local outside="/tmp/tarnvex-unsafe-$$.res"
    rm -f "$outside"
    local names=("$outside" '\back.res' 'C:drive.res' 'c:\win.res' '../up.res' '..\up.res'
        'sub/../../up.res' 'sub\..\..\up.res' '..' 'sub/..' 'sub/../..')
    local safe=('..dots' 'dots..' '...' '1:x.res' 'sub/in.res' 'a..b')
    local name expected i=0
    {
        set_head $((${#names[@]} + ${#safe[@]}))
        for name in "${names[@]}" "${safe[@]}"; do toc_entry "$name" 3; done
        for name in "${names[@]}" "${safe[@]}"; do body "$name" 3; done
    } >mixed.set
    cd x
    tarnvex ../mixed.set
    expect_status 1
    expected="count = $((${#names[@]} + ${#safe[@]}))"$'\n'
    for name in "${names[@]}" "${safe[@]}"; do
        expected+="$i: $name, 3"$'\n'
        i=$((i + 1))
    done
    for name in "${names[@]}"; do expected+="Skipping unsafe name $name"$'\n'; done
    expected+=$(stats_lines ${#safe[@]} $((3 * ${#safe[@]})))$'\n'"Listfile generated as: reslist.txt"$'\n'
    compare_text stdout "$expected" "$OUT/stdout"
    expect_stderr
    expect_reslist "${names[@]}" "${safe[@]}"
    # Only the safe names were written, each with its own payload, which
    # shows that the skipped payloads were read past.
    [ ! -e "$outside" ]
    (cd .. && find . -mindepth 1 -maxdepth 1 -not -name x) >"$OUT/beside"
    compare_text "files beside x" "./mixed.set"$'\n' "$OUT/beside"
    expect_only_files "${safe[@]}" reslist.txt
    for name in "${safe[@]}"; do
        { printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM'; payload "$name" 3; } >"$OUT/expected"
        expect_same_bytes "$name" "$OUT/expected"
    done
}

@test "a file that cannot be created is reported and the run goes on" {
    mkres a.res 3
    mkres b.res 4
    mkdir x x/taken
    {
        set_head 4
        toc_entry nodir/a.res 3
        toc_entry '' 2
        toc_entry taken 1
        toc_entry b.res 4
        body a.res 3
        body x 2
        body y 1
        body b.res 4
    } >in.set
    cd x
    tarnvex ../in.set
    expect_status 1
    expect_stdout "count = 4" \
        "0: nodir/a.res, 3" \
        "1: , 2" \
        "2: taken, 1" \
        "3: b.res, 4" \
        "Can't create nodir/a.res" \
        "Can't create " \
        "Can't create taken" \
        "--- TarnVex stats ---" \
        "Total output:1 files (4b)" \
        "Listfile generated as: reslist.txt"
    expect_reslist nodir/a.res '' taken b.res
    expect_extracted .. b.res
    [ ! -e nodir ] && [ -d taken ]
}

@test "a file that cannot be written whole is removed and the run goes on" {
    [ -w /dev/full ] || skip "no /dev/full"
    mkres a.res 3
    mkres b.res 4
    expected_set in.set a.res b.res
    mkdir x && cd x
    ln -s /dev/full a.res
    tarnvex ../in.set
    expect_status 1
    expect_stdout "count = 2" \
        "0: a.res, 3" \
        "1: b.res, 4" \
        "Can't write a.res" \
        "$(stats_lines 1 4)" \
        "Listfile generated as: reslist.txt"
    [ ! -e a.res ] && [ ! -L a.res ]
    expect_extracted .. b.res
}

@test "reslist.txt that cannot be created or written: the run extracts, then says so" {
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    mkdir reslist.txt
    tarnvex ../in.set
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "$(stats_lines 1 3)" "Can't write reslist.txt"
    expect_extracted .. a.res

    [ -w /dev/full ] || skip "no /dev/full"
    rmdir reslist.txt && rm a.res
    ln -s /dev/full reslist.txt
    tarnvex ../in.set
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "$(stats_lines 1 3)" "Can't write reslist.txt"
    expect_extracted .. a.res
}

@test "a name field with no terminator is its 36 bytes and no more" {
    local name=abcdefghijklmnopqrstuvwxyz0123456789
    {
        set_head 1
        # word1 is printable: a read past the field would show it.
        toc_entry "$name" 3 1515804759
        body "$name" 3
    } >in.set
    mkdir x && cd x
    tarnvex ../in.set
    expect_status 0
    expect_stdout "count = 1" "0: $name, 3" "$(stats_lines 1 3)" "Listfile generated as: reslist.txt"
    expect_reslist "$name"
    { printf 0SER; le32 1515804759; le32 2; printf '\0\0\0\0!IGM'; payload "$name" 3; } >"$OUT/expected"
    expect_same_bytes "$name" "$OUT/expected"
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

@test "a size that lies does not make the extractor reach for memory" {
    # Under a limit of 64 MiB of address space, allocating the claimed size
    # (nearly 4 GiB) would fail at once.
    (ulimit -v 65536 && "$TARNVEX") >/dev/null 2>&1 || [ $? = 255 ] ||
        skip "the program cannot run under a memory limit here"
    { set_head 1; toc_entry big.res 4294967280; body big.res 100; } >lying.set
    mkdir x && cd x
    status=0
    (ulimit -v 65536 && exec "$TARNVEX" ../lying.set) >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_status 1
    expect_stdout "count = 1" "0: big.res, 4294967280" "Can't read ../lying.set"
    expect_stderr
    [ ! -e big.res ]
}

@test "peak memory stays small for a 256 MiB resource" {
    [ -z "${EXEC_PREFIX:-}" ] || skip "the runner's memory would be measured"
    [ -x /usr/bin/time ] || skip "no /usr/bin/time"
    command -v mkfifo >/dev/null || skip "no mkfifo"
    local size=$((256 * 1024 * 1024))
    mkfifo big.set
    { set_head 1; toc_entry big.res "$size"; body big.res 0; head -c "$size" /dev/zero; } >big.set &
    mkdir x && cd x
    /usr/bin/time -f %M -o "$OUT/rss" "$TARNVEX" ../big.set >"$OUT/stdout"
    expect_size big.res $((size + 20))
    local rss
    rss=$(tail -n 1 "$OUT/rss")
    echo "peak RSS ${rss} KiB" >&3
    [ "$rss" -lt $((32 * 1024)) ]
}

@test "a full disk: the file that does not fit is removed, the rest extracted" {
    mount_small_tmpfs
    mkres big.res $((256 * 1024))
    mkres a.res 3
    expected_set in.set big.res a.res
    cd "$FULL"
    tarnvex "$WORK/in.set"
    expect_status 1
    expect_stdout "count = 2" \
        "0: big.res, 262144" \
        "1: a.res, 3" \
        "Can't write big.res" \
        "$(stats_lines 1 3)" \
        "Listfile generated as: reslist.txt"
    [ ! -e big.res ]
    expect_extracted "$WORK" a.res
    expect_reslist big.res a.res
}

@test "a disk already full: bytes that fail only at close, and reslist.txt" {
    mount_small_tmpfs
    head -c 1000000 /dev/zero >"$FULL/filler" 2>/dev/null || true
    mkres a.res 3
    expected_set in.set a.res
    cd "$FULL"
    tarnvex "$WORK/in.set"
    expect_status 1
    expect_stdout "count = 1" "0: a.res, 3" "Can't write a.res" "$(stats_lines 0 0)" "Can't write reslist.txt"
    [ ! -e a.res ]
}
