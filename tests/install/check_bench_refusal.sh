#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bench installs nothing: run where hyperfine and jq cannot be found, it
# names the Debian packages to install and exits 2, having done nothing.
# Usage: check_bench_refusal.sh SOURCE_DIR VASHPAK TARNVEX
set -euo pipefail
source_dir=$1
tools=$(mktemp -d)
trap 'rm -rf "$tools"' EXIT
# A PATH with what the script needs before it looks for its tools, and no
# hyperfine, jq or apt-get.
for tool in bash dirname realpath; do
    ln -s "$(command -v "$tool")" "$tools/$tool"
done
status=0
PATH=$tools "$tools/bash" "$source_dir/bench/run.sh" -n 1 "$2" "$3" >"$tools/out" 2>"$tools/err" || status=$?
if [ "$status" -ne 2 ] || [ -s "$tools/out" ] ||
    ! grep -q "^bench: hyperfine jq.* missing; install the Debian packages: apt-get install hyperfine jq" "$tools/err"; then
    echo "check_bench_refusal: status $status, output:" >&2
    cat "$tools/out" "$tools/err" >&2
    exit 1
fi
echo "check_bench_refusal: the bench names what to install and stops"
