#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark: vashpak and tarnvex against tar and cat, timed by hyperfine:
# packing, extracting into an empty folder, over the files an earlier
# extraction made (which tarnvex leaves as they stand) and over files that
# all differ from the ones it writes, on three workloads (L: 4 resources of 64 MiB; S:
# 4096 of 4 KiB, where the last is also taken alone by name and every one
# compared with the files an extraction left (--compare); M: 200 of 1 KiB
# to 2 MiB), and on G, a set of nearly 2 GiB from which one small resource
# is taken, which tarnvex -t checks whole, and in which vashpak --update,
# --delete and --rename edit one small resource, against cp of the set;
# each on tmpfs, on the disk of the source tree and the build, and in each
# folder given with -m (an XFS or btrfs mount, say, where cp and the edits
# share blocks instead of copying them).
#   bench/run.sh [-n RUNS] [-k] [-c] [-m FOLDER]... [VASHPAK TARNVEX]
# RUNS defaults to 10; -k keeps the work folders and hyperfine's JSON; -c
# makes the exit status 1 when a target does not hold.  The programs default
# to the ones in build/.  Without hyperfine, jq or /usr/bin/time it says which
# Debian packages to install and exits 2.
set -euo pipefail

runs=10 keep=0 check=0 extra_media=()
while getopts n:kcm: option; do
    case $option in
    n) runs=$OPTARG ;; k) keep=1 ;; c) check=1 ;; m) extra_media+=("$(realpath "$OPTARG")") ;;
    *) echo "usage: $0 [-n RUNS] [-k] [-c] [-m FOLDER]... [VASHPAK TARNVEX]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VASHPAK=$(realpath "${1:-$root/build/packer/vashpak}")
TARNVEX=$(realpath "${2:-$root/build/extractor/tarnvex}")
if [ ! -x "$VASHPAK" ] || [ ! -x "$TARNVEX" ]; then echo "bench: build the programs first" >&2; exit 2; fi
# The tools it times with; it installs nothing itself.
missing=()
for tool in hyperfine jq /usr/bin/time; do command -v $tool >/dev/null || missing+=("${tool##*/}"); done
if ((${#missing[@]} > 0)); then
    echo "bench: ${missing[*]} missing; install the Debian packages: apt-get install ${missing[*]}" >&2
    exit 2
fi

# The media: tmpfs, when it has room for the largest workload's 8 GiB, and
# the disk of the source tree, which holds the build.
media=("$root")
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 8800000 ]; then
    media=(/dev/shm "$root")
fi
media+=("${extra_media[@]}")
# The programs as words of hyperfine's commands, which a shell splits.
vashpak=$(printf %q "$VASHPAK") tarnvex=$(printf %q "$TARNVEX")
folders=()
trap '((keep)) || rm -rf "${folders[@]}"' EXIT

sizes() { # WORKLOAD: the file sizes of its resources, in a fixed order
    case $1 in
    L) awk 'BEGIN { for (i = 0; i < 4; i++) print 64 * 1024 * 1024 }' ;;
    S) awk 'BEGIN { for (i = 0; i < 4096; i++) print 4096 }' ;;
    M) awk 'BEGIN { srand(5); for (i = 0; i < 200; i++) print rand() "\t" int(1024 * 2 ^ (11 * i / 199)) }' |
        sort -n | cut -f2 ;;
    esac
}
inputs() { # WORKLOAD SKIP: its resource files in r/, their payloads from random after SKIP bytes, and list.lst
    local i=0 size
    sizes "$1" | while read -r size; do
        { printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM'; head -c $((size - 20 + $2)) ../random | tail -c $((size - 20)); } >"r/$i.res"
        echo "r/$i.res"
        i=$((i + 1))
    done >list.lst
}
median() { jq -r --arg n "$2" '.results[] | select(.command == $n) | .median * 1000' "$1.json"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
rows=() rss=() verdicts=() systems=() failed=0
target() { # TEXT VALUE LIMIT: the target holds when VALUE <= LIMIT
    if awk -v a="$2" -v b="$3" 'BEGIN { exit !(a <= b) }'; then verdicts+=("holds: $1")
    else verdicts+=("MISSED: $1") failed=1; fi
}

for medium in "${media[@]}"; do
    work=$(mktemp -d "$medium/resource-set-bench.XXXXXX")
    folders+=("$work")
    fs=$(stat -f -c %T "$work")
    systems+=("$fs")
    head -c $((64 * 1024 * 1024)) /dev/urandom >"$work/random"
    for name in L S M; do
        echo "bench: workload $name on $fs ($medium)" >&2
        mkdir -p "$work/$name/r" && cd "$work/$name"
        # The same names with other bytes first, packed as other.set and
        # other.tar, so that an extraction of them leaves files that all
        # differ from the ones the timed runs write.
        inputs "$name" 1
        "$VASHPAK" other.set @list.lst && tar -cf other.tar -T list.lst
        inputs "$name" 0
        hyperfine --style basic --warmup 1 --runs "$runs" --export-json pack.json -n ours \
            "$vashpak out.set @list.lst" -n tar "tar -cf out.tar -T list.lst" -n cat "xargs cat <list.lst >out.cat" >&2
        hyperfine --style basic --warmup 1 --runs "$runs" --export-json extract.json --prepare "rm -rf x && mkdir x" \
            -n ours "$tarnvex -d -C x out.set >/dev/null" -n tar "tar -xf out.tar -C x" >&2
        # Over the files an earlier run made: each program's warm-up run
        # fills its own folder, and every timed run replaces those files.
        # Those files are the ones each run writes again: tarnvex leaves
        # them as they stand, tar replaces them.
        rm -rf x y && mkdir x y
        hyperfine --style basic --warmup 1 --runs "$runs" --export-json re-extract.json \
            -n ours "$tarnvex -d -C x out.set >/dev/null" -n tar "tar -xf out.tar -C y" >&2
        # Over files that all differ: before each run, the other set's
        # files take their place.
        hyperfine --style basic --warmup 1 --runs "$runs" --export-json re-differ.json \
            --prepare "$tarnvex -d -C x other.set >/dev/null && tar -xf other.tar -C y" \
            -n ours "$tarnvex -d -C x out.set >/dev/null" -n tar "tar -xf out.tar -C y" >&2
        if [ "$name" = S ]; then
            # One resource, the last, by name.
            hyperfine --style basic --warmup 1 --runs "$runs" --export-json member.json --prepare "rm -rf x && mkdir x" \
                -n ours "$tarnvex -d -C x out.set r/4095.res >/dev/null" -n tar "tar -xf out.tar -C x r/4095.res" >&2
            # Each file against the set, over the files an extraction
            # left: tarnvex --compare against tar --compare (-d).
            rm -rf x y && mkdir x y && "$TARNVEX" -d -C x out.set >/dev/null && tar -xf out.tar -C y
            hyperfine --style basic --warmup 1 --runs "$runs" --export-json compare.json \
                -n ours "$tarnvex --compare -C x out.set >/dev/null" -n tar "tar --compare -f out.tar -C y" >&2
        fi
        # What tarnvex gives back must be what was packed.
        rm -rf x && mkdir x && "$TARNVEX" -d -C x out.set >/dev/null
        (cd x && xargs cat <../list.lst) | cmp -s - out.cat ||
            { echo "bench: tarnvex did not give back the $name inputs on $fs" >&2; exit 1; }
        actions=(pack extract re-extract re-differ)
        [ "$name" != S ] || actions+=(member compare)
        for action in "${actions[@]}"; do
            ours=$(median $action ours) tar=$(median $action tar) cat=- cat_ratio=-
            if [ $action = pack ]; then
                cat=$(median pack cat) && cat_ratio=$(ratio "$ours" "$cat") && cat=$(printf %.1f "$cat")
            fi
            rows+=("$(printf '| %-10s | %-3s | %-10s | %9.1f | %9.1f | %9s | %8s | %8s |' "$fs" "$name" $action \
                "$ours" "$tar" "$cat" "$(ratio "$ours" "$tar")" "$cat_ratio")")
            if [ $action = member ] || [ $action = re-extract ]; then
                target "$name $action within 0.5 x tar on $fs ($(ratio "$ours" "$tar") x)" "$ours" "$(awk -v t="$tar" 'BEGIN { print t / 2 }')"
            else
                target "$name $action no slower than tar on $fs ($(ratio "$ours" "$tar") x)" "$ours" "$tar"
            fi
            [ "$name$action" != Lpack ] || target "L pack within 1.3 x cat on $fs ($cat_ratio x)" "$cat_ratio" 1.3
        done
        if [ "$medium" = "${media[0]}" ]; then
            for program in vashpak tarnvex; do
                rm -rf x && mkdir x
                if [ $program = vashpak ]; then run=("$VASHPAK" out.set @list.lst); else run=("$TARNVEX" -d -C x out.set); fi
                kib=$(/usr/bin/time -f %M "${run[@]}" 2>&1 >/dev/null | tail -n 1)
                rss+=("$(printf '| %-3s | %-7s | %14s |' "$name" $program "$kib")")
                target "$name $program peak RSS under 16 MiB ($kib KiB)" "$kib" 16383
            done
        fi
        cd "$work" && { ((keep)) || rm -rf "${work:?}/$name"; }
    done
    # G: a set of nearly 2 GiB, 31 bodies of 64 MiB and a small resource
    # after them: the small one alone by name, and the whole set checked,
    # against reading the set with cat.
    echo "bench: workload G on $fs ($medium)" >&2
    mkdir -p "$work/G" && cd "$work/G"
    { printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM'; cat ../random; } >big.res
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM%4096s' "" >small.res
    { for ((i = 0; i < 31; i++)); do echo big.res; done; echo small.res; } >list.lst
    "$VASHPAK" out.set @list.lst
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json member.json --prepare "rm -rf x && mkdir x" \
        -n ours "$tarnvex -C x out.set small.res >/dev/null" -n cat "cat out.set >/dev/null" >&2
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json test.json \
        -n ours "$tarnvex -t out.set >/dev/null" -n cat "cat out.set >/dev/null" >&2
    rm -rf x && mkdir x && "$TARNVEX" -C x out.set small.res >/dev/null && cmp -s x/small.res small.res ||
        { echo "bench: tarnvex did not give back small.res of the G set on $fs" >&2; exit 1; }
    "$TARNVEX" -t out.set >/dev/null || { echo "bench: tarnvex -t finds fault with the G set on $fs" >&2; exit 1; }
    # Editing G in place, one small entry at a time: replaced by a file of
    # other bytes, deleted, renamed; against a copy of the set by cp, which
    # uses the kernel's copy (and a reflink where the file system has them)
    # as the editing commands do.  Each timed run edits a fresh copy, and cp
    # makes a new one, so that both write 2 GiB while the set stands: on a
    # virtual machine memory freed a while ago costs several times more to
    # fill than memory just freed, which a cp over its own last copy would
    # reuse.
    mkdir -p new && printf '0SER\3\0\0\0\4\0\0\0\0\0\0\0!IGM%4096s' x >new/small.res
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json update.json \
        --prepare "rm -f copy.set && cp --reflink=auto out.set edit.set" \
        -n ours "cd new && $vashpak --update ../edit.set small.res" -n cp "cp --reflink=auto out.set copy.set" >&2
    # Each check edits a fresh copy: the last prepared run restored it.
    cp out.set edit.set && (cd new && "$VASHPAK" --update ../edit.set small.res)
    rm -rf x && mkdir x && "$TARNVEX" -C x edit.set small.res >/dev/null && cmp -s x/small.res new/small.res &&
        [ "$("$TARNVEX" -l edit.set | head -n 1)" = "count = 32" ] ||
        { echo "bench: --update did not replace small.res on $fs" >&2; exit 1; }
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json delete.json \
        --prepare "rm -f copy.set && cp --reflink=auto out.set edit.set" \
        -n ours "$vashpak --delete edit.set small.res" -n cp "cp --reflink=auto out.set copy.set" >&2
    cp out.set edit.set && "$VASHPAK" --delete edit.set small.res
    [ "$("$TARNVEX" -l edit.set | head -n 1)" = "count = 31" ] ||
        { echo "bench: --delete did not delete on $fs" >&2; exit 1; }
    hyperfine --style basic --warmup 1 --runs "$runs" --export-json rename.json \
        --prepare "rm -f copy.set && cp --reflink=auto out.set edit.set" \
        -n ours "$vashpak --rename edit.set small.res tiny.res" -n cp "cp --reflink=auto out.set copy.set" >&2
    cp out.set edit.set && "$VASHPAK" --rename edit.set small.res tiny.res
    [ "$("$TARNVEX" -l edit.set | tail -n 1)" = "31: tiny.res, 4096" ] ||
        { echo "bench: --rename did not rename on $fs" >&2; exit 1; }
    for action in update delete rename; do
        ours=$(median $action ours) cp=$(median $action cp)
        rows+=("$(printf '| %-10s | %-3s | %-10s | %9.1f | %9s | %9.1f | %8s | %8s |' "$fs" G "$action" "$ours" - \
            "$cp" - "$(ratio "$ours" "$cp")")")
        target "G $action within 1.2 x cp on $fs ($(ratio "$ours" "$cp") x)" "$ours" "$(awk -v c="$cp" 'BEGIN { print c * 1.2 }')"
    done
    if [ "$medium" = "${media[0]}" ]; then
        cp --reflink=auto out.set edit.set
        kib=$(cd new && /usr/bin/time -f %M "$VASHPAK" --update ../edit.set small.res 2>&1 >/dev/null | tail -n 1)
        rss+=("$(printf '| %-3s | %-7s | %14s |' G "--update" "$kib")")
        target "G vashpak --update peak RSS under 8 MiB ($kib KiB)" "$kib" 8191
    fi
    rm -f edit.set copy.set
    for action in member test; do
        ours=$(median $action ours) cat=$(median $action cat)
        rows+=("$(printf '| %-10s | %-3s | %-10s | %9.1f | %9s | %9.1f | %8s | %8s |' "$fs" G $action "$ours" - \
            "$cat" - "$(ratio "$ours" "$cat")")")
    done
    member=$(median member ours)
    test_ratio=$(ratio "$(median test ours)" "$(median test cat)")
    target "G member in milliseconds on $fs ($(printf %.1f "$member") ms)" "$member" 100
    target "G test within 1.1 x cat on $fs ($test_ratio x)" "$test_ratio" 1.1
    cd "$work" && { ((keep)) || rm -rf "${work:?}/G"; }
done

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
echo "Machine: $(nproc) cores${cpu:+, $cpu}; $(uname -sr); $(hyperfine --version)."
echo "Medians of $runs runs after a warm-up, in milliseconds, on ${systems[*]}."
echo
echo "| medium     | set | action     |      ours |       tar |       cat | ours/tar | ours/cat |"
echo "|------------|-----|------------|----------:|----------:|----------:|---------:|---------:|"
printf '%s\n' "${rows[@]}" "" "For G's update, delete and rename, the cat columns hold cp --reflink=auto of the set." "" "| set | program | peak RSS (KiB) |" "|-----|---------|---------------:|" "${rss[@]}"
echo
echo "Targets:"
printf -- '- %s\n' "${verdicts[@]}"
((keep)) && echo "Kept: ${folders[*]}"
((check)) && exit "$failed"
exit 0
