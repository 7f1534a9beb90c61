#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark: vashpak and tarnvex against tar and cat on three workloads, in a
# temporary folder on tmpfs when there is one.
#
#   bench/run.sh [-n RUNS] [-k] [-c] [VASHPAK TARNVEX]
#
# VASHPAK and TARNVEX default to build/packer/vashpak and
# build/extractor/tarnvex.  Each command runs RUNS times (default 7, at least
# 5), the commands of a workload taking turns, and the table shows medians:
#   L  4 resources of 64 MiB
#   S  4096 resources of 4 KiB
#   M  200 resources of 1 KiB to 2 MiB
# pack:    vashpak OUT @LIST   against  tar -cf OUT -T LIST  and  cat FILES >OUT
# extract: tarnvex SET         against  tar -xf TAR          (into an empty folder)
# Then the peak RSS of both programs on every workload, and which targets
# hold.  -k keeps the temporary folder; -c makes the exit status 1 when a
# target does not hold.
set -euo pipefail

runs=7
keep=0
check=0
while getopts n:kc option; do
    case $option in
    n) runs=$OPTARG ;;
    k) keep=1 ;;
    c) check=1 ;;
    *) echo "usage: $0 [-n RUNS] [-k] [-c] [VASHPAK TARNVEX]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VASHPAK=$(realpath "${1:-$root/build/packer/vashpak}")
TARNVEX=$(realpath "${2:-$root/build/extractor/tarnvex}")
[ "$runs" -ge 5 ] || { echo "bench: at least 5 runs" >&2; exit 2; }
for program in "$VASHPAK" "$TARNVEX"; do
    [ -x "$program" ] || { echo "bench: no program $program; build first" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "bench: needs /usr/bin/time (Debian: time)" >&2; exit 2; }

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
BENCH=$(mktemp -d "$base/resource-set-bench.XXXXXX")
if [ "$keep" -eq 0 ]; then
    trap 'rm -rf "$BENCH"' EXIT
fi

# ---- Workloads ----

# make_resource NAME PAYLOAD_BYTES: a resource file with random payload.
make_resource() {
    { printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGM'; head -c "$2" "$BENCH/random"; } >"$1"
}

# The payloads are cut from one random file, so that making them is quick.
head -c $((64 * 1024 * 1024)) /dev/urandom >"$BENCH/random"

make_workload() { # NAME: makes $BENCH/NAME with its files and list.lst
    local name=$1 i size
    mkdir -p "$BENCH/$name/r"
    cd "$BENCH/$name"
    case $name in
    L)
        for ((i = 0; i < 4; i++)); do
            make_resource "r/$i.res" $((64 * 1024 * 1024 - 20))
            echo "r/$i.res"
        done >list.lst
        ;;
    S)
        for ((i = 0; i < 4096; i++)); do
            make_resource "r/$i.res" $((4096 - 20))
            echo "r/$i.res"
        done >list.lst
        ;;
    M)
        # Sizes spread evenly on a log scale from 1 KiB to 2 MiB, in a fixed
        # shuffled order.
        RANDOM=5
        for ((i = 0; i < 200; i++)); do
            size=$(awk -v i="$i" 'BEGIN { printf "%d", 1024 * 2 ^ (11 * i / 199) }')
            make_resource "r/$i.res" $((size - 20))
            echo "r/$i.res"
        done | awk 'BEGIN { srand(5) } { print rand() "\t" $0 }' | sort -n | cut -f2 >list.lst
        ;;
    esac
    cd "$BENCH"
}

# ---- Timing ----

# time_ms COMMAND...: runs it and adds its wall time in milliseconds, with
# three decimals, to the array named by SAMPLE.
declare -A samples
time_one() { # KEY COMMAND...
    local key=$1 start end
    shift
    start=$EPOCHREALTIME
    "$@"
    end=$EPOCHREALTIME
    samples[$key]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) * 1000 }') "
}

median() { # KEY: the median of its samples
    # shellcheck disable=SC2086 # the samples are words
    printf '%s\n' ${samples[$1]} | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

pack_ours() { "$VASHPAK" out.set @list.lst; }
pack_tar() { tar -cf out.tar -T list.lst; }
pack_cat() { xargs cat <list.lst >out.cat; }
extract_ours() { (cd x && "$TARNVEX" ../out.set >/dev/null); }
extract_tar() { (cd x && tar -xf ../out.tar); }

# tarnvex makes no folders, so the one the names use is there for both.
fresh_folder() { rm -rf x && mkdir -p x/r; }

bench_workload() { # NAME
    local name=$1 round
    cd "$BENCH/$name"
    # One unmeasured round warms the page cache and the programs.
    pack_ours && pack_tar && pack_cat
    fresh_folder && extract_ours && fresh_folder && extract_tar
    for ((round = 0; round < runs; round++)); do
        rm -f out.set out.tar out.cat
        time_one "$name.pack.ours" pack_ours
        time_one "$name.pack.tar" pack_tar
        time_one "$name.pack.cat" pack_cat
        fresh_folder
        time_one "$name.extract.ours" extract_ours
        fresh_folder
        time_one "$name.extract.tar" extract_tar
    done
    fresh_folder && extract_ours
    (cd x && xargs cat <../list.lst) | cmp -s - out.cat ||
        { echo "bench: tarnvex did not give back the $name inputs" >&2; exit 1; }
    rss[$name.vashpak]=$(/usr/bin/time -f %M "$VASHPAK" out.set @list.lst 2>&1 >/dev/null | tail -n 1)
    fresh_folder
    rss[$name.tarnvex]=$(cd x && /usr/bin/time -f %M "$TARNVEX" ../out.set 2>&1 >/dev/null | tail -n 1)
    rm -rf x out.set out.tar out.cat
    cd "$BENCH"
}

declare -A rss
for workload in L S M; do
    echo "bench: making and timing workload $workload" >&2
    make_workload "$workload"
    bench_workload "$workload"
    rm -rf "${BENCH:?}/$workload"
done

# ---- Report ----

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
holds() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
echo "Machine: $(nproc) cores${cpu:+, $cpu}; $(uname -sr); working folder on $(df -P "$BENCH" | awk 'NR == 2 { print $1 }') ($base)"
echo "Medians of $runs runs, in milliseconds."
echo
printf '| %-8s | %-7s | %9s | %9s | %9s | %9s | %9s |\n' workload action ours tar cat ours/tar ours/cat
printf '|%s|%s|%s|%s|%s|%s|%s|\n' ---------- --------- ----------: ----------: ----------: ----------: ----------:
failed=0
verdicts=()
for workload in L S M; do
    p_ours=$(median "$workload.pack.ours")
    p_tar=$(median "$workload.pack.tar")
    p_cat=$(median "$workload.pack.cat")
    x_ours=$(median "$workload.extract.ours")
    x_tar=$(median "$workload.extract.tar")
    printf '| %-8s | %-7s | %9.1f | %9.1f | %9.1f | %9s | %9s |\n' "$workload" pack "$p_ours" "$p_tar" "$p_cat" \
        "$(ratio "$p_ours" "$p_tar")" "$(ratio "$p_ours" "$p_cat")"
    printf '| %-8s | %-7s | %9.1f | %9.1f | %9s | %9s | %9s |\n' "$workload" extract "$x_ours" "$x_tar" - \
        "$(ratio "$x_ours" "$x_tar")" -
    if holds "$p_ours" "$p_tar"; then verdict=holds; else verdict=MISSED; failed=1; fi
    verdicts+=("$verdict: $workload pack no slower than tar ($(ratio "$p_ours" "$p_tar") x)")
    if holds "$x_ours" "$x_tar"; then verdict=holds; else verdict=MISSED; failed=1; fi
    verdicts+=("$verdict: $workload extract no slower than tar ($(ratio "$x_ours" "$x_tar") x)")
    if [ "$workload" = L ]; then
        limit=$(awk -v c="$p_cat" 'BEGIN { print 1.3 * c }')
        if holds "$p_ours" "$limit"; then verdict=holds; else verdict=MISSED; failed=1; fi
        verdicts+=("$verdict: L pack within 1.3 x cat ($(ratio "$p_ours" "$p_cat") x)")
    fi
done
echo
echo "Peak RSS (KiB):"
echo
printf '| %-8s | %9s | %9s |\n' workload vashpak tarnvex
printf '|%s|%s|%s|\n' ---------- ----------: ----------:
for workload in L S M; do
    printf '| %-8s | %9s | %9s |\n' "$workload" "${rss[$workload.vashpak]}" "${rss[$workload.tarnvex]}"
    for program in vashpak tarnvex; do
        if [ "${rss[$workload.$program]}" -lt 16384 ]; then verdict=holds; else verdict=MISSED; failed=1; fi
        verdicts+=("$verdict: $workload $program peak RSS under 16 MiB (${rss[$workload.$program]} KiB)")
    done
done
echo
echo "Targets:"
printf -- '- %s\n' "${verdicts[@]}"
if [ "$check" -eq 1 ]; then
    exit "$failed"
fi
