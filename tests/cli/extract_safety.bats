#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# tarnvex on sets and folders that would make a careless extractor lose data,
# write where it must not, or report a failure as success.

load helpers

# The report that ends a run whose bodies were all handled.
@test "a set that cannot be opened: Can't open, status 1, an empty reslist.txt" {
    tarnvex missing.set
    expect_status 1
    expect_stdout "Can't open missing.set"
    expect_stderr
    expect_size reslist.txt 0
}

@test "all 4096 entries the packer can write are listed and extracted" {
    local i total=0 lines=("count = 4096") names=()
    for ((i = 0; i < 4096; i++)); do
        printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM%s' "$i" >"r$i.res"
        echo "r$i.res"
        names+=("r$i.res")
        lines+=("$i: r$i.res, ${#i}")
        total=$((total + ${#i}))
    done >all.lst
    vashpak all.set @all.lst
    expect_success
    mkdir x && cd x
    tarnvex ../all.set
    expect_status 0
    expect_full_report 4096 "$total" "${lines[@]}"
    expect_reslist "${names[@]}"
    # One comparison for all of them, in table order.
    (cd .. && xargs cat <all.lst) >"$OUT/sources"
    xargs cat <../all.lst | cmp - "$OUT/sources"
}

@test "unsafe names are listed but never written, and the run fails" {
    mkdir -p deep/x deep/x/sub
    cd deep
    local outside="/tmp/tarnvex-unsafe-$$.res"
    rm -f "$outside"
    local names=("$outside" '\back.res' 'C:drive.res' 'c:\win.res' '../up.res' '..\up.res'
        'sub/../../up.res' 'sub\..\..\up.res' '..' 'sub/..' 'sub/../..')
    local safe=('..dots' 'sub/in.res' 'a..b')
    if on_windows; then
        # Devices there, whatever the extension or folder.
        names+=('nul.txt' 'sub/CON' 'com1')
    else
        # Plain files here; Windows has none of these names, as it drops
        # trailing dots and keeps ':' for drives and streams.
        safe+=('nul.txt' 'sub/CON' 'com1' 'dots..' '...' '1:x.res')
    fi
    local name i=0 lines=()
    {
        set_head $((${#names[@]} + ${#safe[@]}))
        for name in "${names[@]}" "${safe[@]}"; do toc_entry "$name" 3; done
        for name in "${names[@]}" "${safe[@]}"; do body "$name" 3; done
    } >mixed.set
    cd x
    tarnvex ../mixed.set
    expect_status 1
    lines=("count = $((${#names[@]} + ${#safe[@]}))")
    for name in "${names[@]}" "${safe[@]}"; do
        lines+=("$i: $name, 3")
        i=$((i + 1))
    done
    for name in "${names[@]}"; do lines+=("Skipping unsafe name $name"); done
    expect_full_report ${#safe[@]} $((3 * ${#safe[@]})) "${lines[@]}"
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

@test "links at an entry's name and at reslist.txt are replaced, never written through" {
    mkres a.res 3
    mkres b.res 4
    expected_set in.set a.res b.res
    echo "precious user data" >outside.res
    echo "old listing" >outside.lst
    mkdir x && cd x
    ln -s ../outside.res a.res
    ln -s ../outside.lst reslist.txt
    # A second name of b.res keeps the old contents, as with other archivers.
    echo "old b" >b.res
    ln b.res b.link
    tarnvex ../in.set
    expect_status 0
    expect_full_report 2 7 "count = 2" "0: a.res, 3" "1: b.res, 4"
    expect_reslist a.res b.res
    [ ! -L a.res ]
    [ ! -L reslist.txt ]
    expect_extracted .. a.res b.res
    [ "$(cat ../outside.res)" = "precious user data" ]
    [ "$(cat ../outside.lst)" = "old listing" ]
    [ "$(cat b.link)" = "old b" ]
    expect_only_files a.res b.res b.link reslist.txt
}

@test "an entry that is reslist.txt under any spelling is skipped, and the rebuild packs only what was listed" {
    mkdir src x
    echo "secret" >src/secret.res
    cd src
    mkres a.res 3
    # A listfile of the set's choosing, disguised as a resource file.
    { printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM\n'; printf '%s\n' ../src/secret.res a.res; } >reslist.txt
    local names=(a.res reslist.txt ./reslist.txt)
    if on_windows; then
        cp reslist.txt RESLIST.TXT && cp reslist.txt reslist.txt. && names+=(RESLIST.TXT reslist.txt.)
    fi
    expected_set ../in.set "${names[@]}"
    local size=$(($(wc -c <reslist.txt) - 20))
    cd ../x
    tarnvex ../in.set
    expect_status 1
    local listing=("count = ${#names[@]}") skipped=() i
    for ((i = 0; i < ${#names[@]}; i++)); do
        listing+=("$i: ${names[i]}, $size")
        [ "$i" = 0 ] || skipped+=("Skipping unsafe name ${names[i]}")
    done
    listing[1]="0: a.res, 3"
    expect_full_report 1 3 "${listing[@]}" "${skipped[@]}"
    expect_reslist "${names[@]}"
    vashpak new.set @reslist.txt
    expect_status 1
    expect_stderr '"reslist.txt" is not a resource, aborting.' 'Can'"'"'t add "reslist.txt"' 'Failed "@reslist.txt"'
    expect_size new.set 0
}

@test "an entry that is the set being read, by another link, is skipped and the set kept" {
    mkdir src x
    (cd src && mkres a.res 3 && mkres in.set 4 && expected_set ../x/in.set a.res in.set)
    cd x
    ln in.set other.set
    cp in.set "$OUT/before"
    tarnvex other.set
    expect_status 1
    expect_full_report 1 3 "count = 2" "0: a.res, 3" "1: in.set, 4" "Skipping unsafe name in.set"
    expect_same_bytes in.set "$OUT/before"
    expect_extracted ../src a.res
}

@test "a FIFO at reslist.txt or at an entry's name is replaced, never opened" {
    ! on_windows || skip "no FIFOs in Windows folders"
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    mkfifo reslist.txt a.res
    status=0
    # shellcheck disable=SC2086 # the prefix may be several words
    timeout 20 ${EXEC_PREFIX:-} "$TARNVEX" ../in.set >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_status 0
    expect_full_report 1 3 "count = 1" "0: a.res, 3"
    expect_reslist a.res
    expect_extracted .. a.res
}

@test "a file or folder that may not be written is refused and left alone; a replaced file keeps its mode" {
    mkdir -p src/ro x/ro
    (cd src && mkres a.res 3 && mkres ro/c.res 5 && mkres b.res 4 && mkres n.res 6 &&
        expected_set ../in.set a.res ro/c.res b.res n.res)
    cd x
    echo "old a" >a.res
    echo "old c" >ro/c.res
    echo "old b" >b.res
    chmod 444 a.res
    chmod 555 ro
    chmod 604 b.res
    umask 027
    permissions_bind
    tarnvex ../in.set
    chmod 755 ro
    expect_status 1
    expect_full_report 2 10 "count = 4" "0: a.res, 3" "1: ro/c.res, 5" "2: b.res, 4" "3: n.res, 6" \
        "Can't create a.res" "Can't create ro/c.res"
    [ "$(cat a.res)" = "old a" ]
    [ "$(cat ro/c.res)" = "old c" ]
    expect_extracted ../src b.res n.res
    if ! on_windows; then
        [ "$(stat -c %a b.res)" = 604 ]
        [ "$(stat -c %a n.res)" = 640 ]
    fi
    expect_only_files a.res ro/c.res b.res n.res reslist.txt
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
    expect_stdout "count = 1" "0: $name, 3" "--- TarnVex stats ---" "Total output:1 files (3b)" "Listfile generated as: reslist.txt"
    expect_reslist "$name"
    { printf 0SER; le32 1515804759; le32 2; printf '\0\0\0\0!IGM'; payload "$name" 3; } >"$OUT/expected"
    expect_same_bytes "$name" "$OUT/expected"
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

@test "a count of 4294967295 from a pipe: read to 1048576 entries, then Can't read; short of memory, Out of memory" {
    (ulimit -v 40000 && "$TARNVEX") >/dev/null 2>&1 || [ $? = 255 ] ||
        skip "the program cannot run under a memory limit here"
    set_head 4294967295 >head.set
    local limit last lines
    for limit in 200000:"Can't read /dev/stdin":1048578 40000:"Out of memory":262147; do
        IFS=: read -r limit last lines <<<"$limit"
        rm -rf x && mkdir x && cd x
        status=0
        (ulimit -v "$limit" && cat ../head.set /dev/zero | "$TARNVEX" /dev/stdin) >"$OUT/stdout" 2>"$OUT/stderr" ||
            status=$?
        expect_status 1
        expect_stderr
        [ "$(head -n 1 "$OUT/stdout")" = "count = 4294967295" ]
        [ "$(tail -n 1 "$OUT/stdout")" = "$last" ]
        [ "$(wc -l <"$OUT/stdout")" = "$lines" ]
        expect_size reslist.txt $((lines - 2))
        cd ..
    done
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

@test "a signal while a file or a temporary is created leaves neither, and the old file as it was" {
    need_strace
    mkres a.res 3
    mkres b.res 4
    expected_set in.set a.res b.res
    mkdir x
    local signal number create
    for create in '"a\.res", O_WRONLY\|O_CREAT\|O_EXCL' '\.tarnvex-'; do
        for signal in INT TERM HUP; do
            rm -rf x && mkdir x && cd x
            echo "old b" >b.res
            # The signal is sent as the create begins, so that it arrives when
            # the file exists.
            number=$(openat_number "$create" "$TARNVEX" ../in.set)
            [ -n "$number" ]
            rm -f a.res
            echo "old b" >b.res
            status=0
            traced -o /dev/null -e trace=openat -e inject=openat:signal=SIG$signal:when="$number" \
                "$TARNVEX" ../in.set >/dev/null 2>&1 || status=$?
            expect_status $((128 + $(kill -l "$signal")))
            [ "$(cat b.res)" = "old b" ]
            if [ "$create" = '\.tarnvex-' ]; then
                expect_extracted .. a.res
                expect_only_files a.res b.res reslist.txt
            else
                expect_only_files b.res reslist.txt
            fi
            cd ..
        done
    done
}

@test "a signal after the temporary is closed and before it is renamed leaves no temporary, and the old file" {
    need_strace
    mkres a.res 3
    expected_set in.set a.res
    mkdir x && cd x
    echo "old a" >a.res
    # The temporary is complete and closed, but not yet in place: the
    # signal comes with its close.
    traced -o "$OUT/close.log" -y -e trace=close "$TARNVEX" ../in.set >/dev/null 2>&1
    local number
    number=$(awk '/^close\(/ { n++ } /^close\([0-9]+<[^>]*\/\.tarnvex-[0-9a-f]+>\)/ { print n; exit }' "$OUT/close.log")
    [ -n "$number" ]
    echo "old a" >a.res
    status=0
    traced -o /dev/null -e trace=close -e inject=close:signal=SIGTERM:when="$number" \
        "$TARNVEX" ../in.set >/dev/null 2>&1 || status=$?
    expect_status $((128 + 15))
    [ "$(cat a.res)" = "old a" ]
    expect_only_files a.res reslist.txt
}

@test "the mode of a replaced file goes on the new file itself, never through a link planted at its name" {
    need_strace
    mkres a.res 3
    expected_set in.set a.res
    echo "secret" >outside
    chmod 600 outside
    mkdir x && cd x
    echo "old a" >a.res
    chmod 604 a.res
    local number
    number=$(openat_number '\.tarnvex-' "$TARNVEX" ../in.set)
    [ -n "$number" ]
    echo "old a" >a.res
    chmod 604 a.res
    # While the temporary's create is held up, someone who may write here
    # puts a link to a file outside in its place.
    (
        for ((i = 0; i < 300; i++)); do
            for temporary in .tarnvex-*; do
                if [ -f "$temporary" ]; then
                    rm -f "$temporary" && ln -s ../outside "$temporary"
                    exit 0
                fi
            done
            sleep 0.01
        done
        exit 1
    ) &
    local racer=$!
    status=0
    traced -o /dev/null -e trace=openat -e inject=openat:delay_exit=1000000:when="$number" \
        "$TARNVEX" ../in.set >"$OUT/stdout" 2>&1 || status=$?
    wait "$racer"
    [ "$(stat -c %a ../outside)" = 600 ]
    [ "$(cat ../outside)" = secret ]
}
