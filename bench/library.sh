#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark of the loader library: runs library_bench (Google Benchmark)
# with repetitions and prints the medians of its three cases against their
# peers and aims:
#   - open + find + read of a 4 KiB payload from a 4096-entry set + close,
#     within 1.5 x the bare C peer (bench/bare_peer.c);
#   - resource_set_find over all 4096 names of an open set, at most 100 ns
#     a lookup;
#   - a 64 MiB payload read in 1 MiB pieces with resource_set_read, within
#     1.1 x a pread loop over the same bytes;
#   - the writer writing a set of 4096 payloads of 4076 bytes from memory,
#     within 1.1 x vashpak packing the same resource files (VASHPAK names
#     it; build/packer/vashpak by default);
# and, where the Python module is built (bench/python_bench.py, run by
# PYTHON, /usr/bin/python3 by default, with the module of PYTHON_MODULE_DIR,
# by default bindings/python of LIBRARY_BENCH's build folder):
#   - Set.readinto of the 64 MiB payload in 1 MiB pieces within 1.2 x
#     resource_set_read doing the same;
#   - `for e in s: s.read(e)` over the 4096 payloads of 4 KiB within 3 x
#     the C loop that reads every entry of the set (read_all_S).
#   bench/library.sh [-n REPETITIONS] [-k] [-c] [LIBRARY_BENCH]
# REPETITIONS defaults to 10; -k keeps Google Benchmark's JSON; -c makes the
# exit status 1 when an aim does not hold.  The program defaults to the one
# in build/bench.  The exit status is 1 as well when the program fails, as
# it does when a case gets wrong bytes.  Without jq it says which Debian
# package to install and exits 2.
set -euo pipefail

reps=10 keep=0 check=0
while getopts n:kc option; do
    case $option in
    n) reps=$OPTARG ;; k) keep=1 ;; c) check=1 ;;
    *) echo "usage: $0 [-n REPETITIONS] [-k] [-c] [LIBRARY_BENCH]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PROGRAM=$(realpath "${1:-$root/build/bench/library_bench}")
if [ ! -x "$PROGRAM" ]; then echo "bench: build library_bench first" >&2; exit 2; fi
VASHPAK=$(realpath "${VASHPAK:-$root/build/packer/vashpak}")
if [ ! -x "$VASHPAK" ]; then echo "bench: build vashpak first, or name it in VASHPAK" >&2; exit 2; fi
export VASHPAK
PYTHON=${PYTHON:-/usr/bin/python3}
PYTHON_MODULE_DIR=${PYTHON_MODULE_DIR:-$(dirname "$PROGRAM")/../bindings/python}
python_module=
if [ -x "$PYTHON" ] && compgen -G "$PYTHON_MODULE_DIR/resource_set*.so" >/dev/null; then
    python_module=$(realpath "$PYTHON_MODULE_DIR")
fi
if ! command -v jq >/dev/null; then
    echo "bench: jq missing; install the Debian package: apt-get install jq" >&2
    exit 2
fi

json=$(mktemp "${TMPDIR:-/tmp}/library-bench.XXXXXX")
python_out=$json.python
trap '((keep)) || rm -f "$json"; rm -f "$python_out"' EXIT
echo "bench: library_bench, $reps repetitions of each case" >&2
# The repetitions of all cases run interleaved, in random order, so that a
# case and its peer see the machine alike.
if ! "$PROGRAM" --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json >&2; then
    echo "bench: library_bench failed" >&2
    exit 1
fi
if [ "$(jq '[.benchmarks[] | select(.error_occurred == true)] | length' "$json")" != 0 ]; then
    echo "bench: a case of library_bench failed" >&2
    exit 1
fi
if [ -n "$python_module" ]; then
    echo "bench: python_bench, $reps repetitions of each case" >&2
    if ! PYTHONPATH=$python_module "$PYTHON" "$root/bench/python_bench.py" -n "$reps" >"$python_out"; then
        echo "bench: python_bench failed" >&2
        exit 1
    fi
else
    echo "bench: the Python module is not built (no $PYTHON_MODULE_DIR/resource_set*.so): its cases are left out" >&2
fi

median() { # CASE: its median real time, in nanoseconds
    local value
    value=$(jq -r --arg n "$1/real_time" '.benchmarks[] | select(.run_name == $n and .aggregate_name == "median")
        | .real_time * ({"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[.time_unit])' "$json")
    [ -n "$value" ] || { echo "bench: no median for $1" >&2; exit 1; }
    echo "$value"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
scaled() { awk -v a="$1" -v d="$2" -v f="$3" 'BEGIN { printf f, a / d }'; } # NS DIVISOR FORMAT
verdicts=() failed=0
target() { # TEXT VALUE LIMIT: the aim holds when VALUE <= LIMIT
    if awk -v a="$2" -v b="$3" 'BEGIN { exit !(a <= b) }'; then verdicts+=("holds: $1")
    else verdicts+=("MISSED: $1") failed=1; fi
}

# One assignment a line, so that a median that is missing ends the script.
load=$(median open_find_read/library)
load_peer=$(median open_find_read/bare_peer)
find_all=$(median find/library)
lookup=$(scaled "$find_all" 4096 %.2f)
read=$(median read_64MiB/library)
read_peer=$(median read_64MiB/pread)
load_ratio=$(ratio "$load" "$load_peer")
read_ratio=$(ratio "$read" "$read_peer")
write=$(median write_S/writer)
write_peer=$(median write_S/vashpak)
write_ratio=$(ratio "$write" "$write_peer")
read_all=$(median read_all_S/library)
python_median() { # CASE: python_bench's median, in nanoseconds
    local value
    value=$(awk -v n="$1" '$1 == n { print $2 }' "$python_out")
    [ -n "$value" ] || { echo "bench: no median for $1" >&2; exit 1; }
    echo "$value"
}
if [ -n "$python_module" ]; then
    python_read=$(python_median read_64MiB/python)
    python_read_ratio=$(ratio "$python_read" "$read")
    python_all=$(python_median read_all_S/python)
    python_all_ratio=$(ratio "$python_all" "$read_all")
fi
target "open + find + read + close within 1.5 x the bare peer ($load_ratio x)" "$load_ratio" 1.5
target "find at most 100 ns a lookup ($(scaled "$lookup" 1 %.1f) ns)" "$lookup" 100
target "64 MiB read in 1 MiB pieces within 1.1 x pread ($read_ratio x)" "$read_ratio" 1.1
target "writer from memory within 1.1 x vashpak on S ($write_ratio x)" "$write_ratio" 1.1
if [ -n "$python_module" ]; then
    target "Python readinto of 64 MiB in 1 MiB pieces within 1.2 x the C read ($python_read_ratio x)" \
        "$python_read_ratio" 1.2
    target "Python read of every entry of S within 3 x the C loop ($python_all_ratio x)" "$python_all_ratio" 3
fi

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
version=$(dpkg-query -W -f '${Version}' libbenchmark-dev 2>/dev/null || true)
sets=$(jq -r '.context.sets // empty' "$json")
echo "Machine: $(nproc) cores${cpu:+, $cpu}; $(uname -sr)${version:+; Google Benchmark $version}."
echo "Medians of $reps repetitions, real time, with the sets in ${sets%/*}."
echo
echo "| case                                             |       ours |       peer | ours/peer | aim            |"
echo "|--------------------------------------------------|-----------:|-----------:|----------:|----------------|"
printf '| %-48s | %7s µs | %7s µs | %9s | at most 1.5 x  |\n' "open + find + read 4 KiB + close, 4096 entries" \
    "$(scaled "$load" 1e3 %.1f)" "$(scaled "$load_peer" 1e3 %.1f)" "$load_ratio"
printf '| %-48s | %7s ns | %10s | %9s | at most 100 ns |\n' "find, per lookup over 4096 names" \
    "$(scaled "$lookup" 1 %.1f)" - -
printf '| %-48s | %7s ms | %7s ms | %9s | at most 1.1 x  |\n' "read 64 MiB in 1 MiB pieces" \
    "$(scaled "$read" 1e6 %.2f)" "$(scaled "$read_peer" 1e6 %.2f)" "$read_ratio"
printf '| %-48s | %7s ms | %7s ms | %9s | at most 1.1 x  |\n' "write S from memory (peer: vashpak from files)" \
    "$(scaled "$write" 1e6 %.2f)" "$(scaled "$write_peer" 1e6 %.2f)" "$write_ratio"
if [ -n "$python_module" ]; then
    printf '| %-48s | %7s ms | %7s ms | %9s | at most 1.2 x  |\n' "Python readinto 64 MiB, 1 MiB pieces (peer: C)" \
        "$(scaled "$python_read" 1e6 %.2f)" "$(scaled "$read" 1e6 %.2f)" "$python_read_ratio"
    printf '| %-48s | %7s ms | %7s ms | %9s | at most 3 x    |\n' "Python read of every entry of S (peer: C)" \
        "$(scaled "$python_all" 1e6 %.2f)" "$(scaled "$read_all" 1e6 %.2f)" "$python_all_ratio"
fi
echo
echo "Aims:"
printf -- '- %s\n' "${verdicts[@]}"
((keep)) && echo "Kept: $json"
((check)) && exit "$failed"
exit 0
