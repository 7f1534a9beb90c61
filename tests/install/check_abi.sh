#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the shared library's ABI against the baseline of its major
# version, lib/abi/libresource_set.abi.gz, made by abidw from the 1.0
# library (gzipped: most of it is the C++ library's types, which the
# library's own hidden ones use):
# any change to what the baseline has (a function gone or changed, a
# struct or an enumerator changed) fails; functions added, and values added
# at the end of an enumeration, pass, and the functions are listed.  Builds the library with its debug information, which abidw
# reads, in BUILD_FOLDER (default build-abi).
#   bash tests/install/check_abi.sh [BUILD_FOLDER]
# With --update, writes the baseline anew instead: for a new major version
# only.  Needs abidw and abidiff (Debian: abigail-tools).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
update=0
if [ "${1:-}" = --update ]; then
    update=1
    shift
fi
build=${1:-$root/build-abi}
baseline=$root/lib/abi/libresource_set.abi.gz
for tool in abidw abidiff; do
    command -v $tool >/dev/null || { echo "check_abi: $tool missing; install the Debian package abigail-tools" >&2; exit 2; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON \
    -DRESOURCE_SET_WERROR=OFF >/dev/null
cmake --build "$build" --target resource_set_shared -j2 >/dev/null
library=$(find "$build/lib" -name 'libresource_set.so.*.*' -type f | head -n 1)
[ -n "$library" ] || { echo "check_abi: no shared library was built in $build/lib" >&2; exit 1; }
# Only the types the public header reaches count.
current=$build/libresource_set.abi
abidw --headers-dir "$build/include" --no-corpus-path --drop-private-types --out-file "$current" \
    "$library"
if ((update)); then
    gzip -9n -c "$current" >"$baseline"
    echo "check_abi: wrote $baseline from $library"
    exit 0
fi
# abidiff's status is a bit set: 1 an error, 2 a usage error, 4 a change,
# 8 a change that breaks callers.  Without the functions added, any change
# it reports fails: it calls a struct that grew compatible when only
# pointers to it pass, but a program walks the entries as an array.
# Changes it deems harmless, such as an enumerator added at the end, are
# not reported.
gzip -dc "$baseline" >"$build/baseline.abi"
baseline=$build/baseline.abi
status=0
abidiff --no-added-syms --headers-dir2 "$build/include" "$baseline" "$current" >"$build/abidiff.txt" || status=$?
if ((status != 0)); then
    cat "$build/abidiff.txt" >&2
    echo "check_abi: the library's ABI breaks that of the baseline (abidiff status $status)" >&2
    exit 1
fi
status=0
abidiff --headers-dir2 "$build/include" "$baseline" "$current" >"$build/abidiff.txt" || status=$?
if ((status & 4)); then
    cat "$build/abidiff.txt"
    echo "check_abi: functions were added since the baseline, and nothing else changed"
else
    echo "check_abi: the ABI is the baseline's"
fi
