#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark of the PhysicsFS archiver: runs physfs_bench (Google Benchmark)
# with repetitions and prints the medians of its cases against their peers
# and aims, PhysicsFS's own zip archiver on the same files stored
# uncompressed (zip -0):
#   - mount, enumerate and read every file of S (4096 files of 4 KiB) from
#     the set within 0.8 x the same from the zip;
#   - the mount alone within 0.5 x the zip's;
#   - one 64 MiB file read with PHYSFS_readBytes within 1.1 x
#     resource_set_read.
#   bench/physfs.sh [-n REPETITIONS] [-c] [PHYSFS_BENCH]
# REPETITIONS defaults to 10; -c makes the exit status 1 when an aim does
# not hold.  The program defaults to build/bench/physfs_bench.  Needs jq and
# zip.
set -euo pipefail

reps=10 check=0
while getopts n:c option; do
    case $option in
    n) reps=$OPTARG ;; c) check=1 ;;
    *) echo "usage: $0 [-n REPETITIONS] [-c] [PHYSFS_BENCH]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PROGRAM=$(realpath "${1:-$root/build/bench/physfs_bench}")
if [ ! -x "$PROGRAM" ]; then echo "bench: build physfs_bench first" >&2; exit 2; fi
for tool in jq zip; do
    command -v "$tool" >/dev/null || { echo "bench: $tool missing; apt-get install $tool" >&2; exit 2; }
done

json=$(mktemp "${TMPDIR:-/tmp}/physfs-bench.XXXXXX")
trap 'rm -f "$json"' EXIT
echo "bench: physfs_bench, $reps repetitions of each case" >&2
if ! "$PROGRAM" --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json >&2; then
    echo "bench: physfs_bench failed" >&2
    exit 1
fi
if [ "$(jq '[.benchmarks[] | select(.error_occurred == true)] | length' "$json")" != 0 ]; then
    echo "bench: a case of physfs_bench failed" >&2
    exit 1
fi
median() { # CASE: its median real time, in nanoseconds
    local value
    value=$(jq -r --arg n "$1/real_time" '.benchmarks[] | select(.run_name == $n and .aggregate_name == "median")
        | .real_time * ({"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[.time_unit])' "$json")
    [ -n "$value" ] || { echo "bench: no median for $1" >&2; exit 1; }
    echo "$value"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ms() { awk -v a="$1" 'BEGIN { printf "%.3f", a / 1e6 }'; }
verdicts=() failed=0
target() { # TEXT VALUE LIMIT
    if awk -v a="$2" -v b="$3" 'BEGIN { exit !(a <= b) }'; then verdicts+=("holds: $1")
    else verdicts+=("MISSED: $1") failed=1; fi
}
mount_set=$(median mount/set)
mount_zip=$(median mount/zip)
all_set=$(median all_S/set)
all_zip=$(median all_S/zip)
read_physfs=$(median read_64MiB/physfs)
read_library=$(median read_64MiB/library)
mount_ratio=$(ratio "$mount_set" "$mount_zip")
all_ratio=$(ratio "$all_set" "$all_zip")
read_ratio=$(ratio "$read_physfs" "$read_library")
printf '%-34s %12s %12s %7s\n' case "median ms" "peer ms" ratio
printf '%-34s %12s %12s %7s\n' "mount S (set / zip)" "$(ms "$mount_set")" "$(ms "$mount_zip")" "$mount_ratio"
printf '%-34s %12s %12s %7s\n' "mount + list + read S (set / zip)" "$(ms "$all_set")" "$(ms "$all_zip")" "$all_ratio"
printf '%-34s %12s %12s %7s\n' "64 MiB (PhysicsFS / library)" "$(ms "$read_physfs")" "$(ms "$read_library")" "$read_ratio"
target "mount + enumerate + read S within 0.8 x the zip ($all_ratio x)" "$all_ratio" 0.8
target "mount within 0.5 x the zip ($mount_ratio x)" "$mount_ratio" 0.5
target "64 MiB through PHYSFS_readBytes within 1.1 x resource_set_read ($read_ratio x)" "$read_ratio" 1.1
printf '%s\n' "${verdicts[@]}"
if ((check && failed)); then exit 1; fi
exit 0
