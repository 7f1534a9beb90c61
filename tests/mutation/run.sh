#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The mutation check: breaks the code on purpose in each way that
# breakages.txt lists, one at a time, and sees the suite fail on each.
#
#   bash tests/mutation/run.sh [-j JOBS] [-d DIR] [--list] [ID...]
#
# The tracked files of the tree are copied into DIR (a temporary folder by
# default, removed at the end; a DIR given is kept, and used again by the
# next run for an incremental build) and built there once with the default
# preset's options; the suite must pass on that unbroken copy first.  Then
# for each breakage (each ID given, or all): its text must occur exactly
# once in its file; the replacement is made, the copy rebuilt, and ctest
# run, the breakage's own tests first (its "tests:"), and the whole suite
# when they pass.  A test that fails catches it; the file is put back.  The
# tests run under glibc's malloc checks (libc_malloc_debug), where the
# system has them, so that a byte written past an allocation fails the
# release build too.  ccache, where it is installed, speeds the rebuilds.
#
# Exits 0 when every breakage is caught; 1 when one passes every test, no
# longer applies (its text moved: anchor it again) or does not build (a
# breakage must build warning-free, as a real change would); 2 when the
# list, the copy's build or the unbroken suite fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
list=$root/tests/mutation/breakages.txt
jobs=2
work=""
keep=false
only_list=false
wanted=()
while (($# > 0)); do
    case $1 in
    -j) jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    -d) work=$2; keep=true; shift 2 ;;
    --list) only_list=true; shift ;;
    -h | --help) sed -n '3,23p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "mutation: unknown option $1" >&2; exit 2 ;;
    *) wanted+=("$1"); shift ;;
    esac
done

# ---- The list -------------------------------------------------------------

ids=() files=() whats=() finds=() replaces=() hints=()
list_error() {
    echo "mutation: $list:$1: $2" >&2
    exit 2
}
add_breakage() { # LINE: the block just read, in the variables below
    [ -n "$b_id" ] || list_error "$1" "a breakage without an id"
    local field
    for field in file what find replace; do
        local -n value=b_$field
        [ -n "$value" ] || list_error "$1" "$b_id has no $field"
    done
    local seen
    for seen in "${ids[@]}"; do
        [ "$seen" != "$b_id" ] || list_error "$1" "$b_id comes twice"
    done
    [ "$b_find" != "$b_replace" ] || list_error "$1" "$b_id replaces its text with itself"
    ids+=("$b_id") files+=("$b_file") whats+=("$b_what") finds+=("$b_find") replaces+=("$b_replace")
    hints+=("$b_tests")
}
read_list() {
    local line number=0 key="" block_at=0
    b_id="" b_file="" b_what="" b_find="" b_replace="" b_tests=""
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        if [[ $line == \#* ]]; then
            continue
        fi
        if [ -z "$line" ]; then
            if [ -n "$b_id$b_file$b_find" ]; then
                add_breakage "$block_at"
            fi
            b_id="" b_file="" b_what="" b_find="" b_replace="" b_tests="" key=""
            continue
        fi
        if [[ $line == \|* ]]; then
            [[ $key == find || $key == replace ]] || list_error "$number" "a \"|\" line after no find or replace"
            local -n continued=b_$key
            continued+=$'\n'"${line:1}"
            continue
        fi
        [[ $line =~ ^(id|file|what|find|replace|tests):\ ?(.*)$ ]] || list_error "$number" "not a field: $line"
        key=${BASH_REMATCH[1]}
        [ -n "$b_id$b_file$b_what$b_find$b_replace$b_tests" ] || block_at=$number
        local -n field=b_$key
        [ -z "$field" ] || list_error "$number" "$key comes twice in one breakage"
        field=${BASH_REMATCH[2]}
    done <"$list"
    if [ -n "$b_id$b_file$b_find" ]; then
        add_breakage "$block_at"
    fi
}
read_list

if $only_list; then
    for i in "${!ids[@]}"; do
        printf '%-40s %s\n' "${ids[i]}" "${whats[i]}"
    done
    exit 0
fi

selected=()
if ((${#wanted[@]} == 0)); then
    selected=("${!ids[@]}")
else
    for id in "${wanted[@]}"; do
        found=""
        for i in "${!ids[@]}"; do
            [ "${ids[i]}" != "$id" ] || found=$i
        done
        [ -n "$found" ] || { echo "mutation: no breakage $id in $list" >&2; exit 2; }
        selected+=("$found")
    done
fi

# ---- The copy and its build -------------------------------------------------

if [ -z "$work" ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/mutation.XXXXXX")
fi
mkdir -p "$work/src" "$work/logs"
work=$(cd "$work" && pwd)
src=$work/src
build=$src/build
logs=$work/logs
broken_file=""
finish() {
    # A breakage left in place by an interruption is taken out again.
    if [ -n "$broken_file" ]; then
        cp "$work/pristine" "$src/$broken_file"
    fi
    if ! $keep; then
        rm -rf "$work"
    fi
}
trap finish EXIT

# The tracked files as they stand in the tree, uncommitted changes included;
# only those that differ from the copy's are written, so that a build kept
# from an earlier run rebuilds just what changed.
staging=$work/staging
rm -rf "$staging" && mkdir "$staging"
git -C "$root" ls-files -z | (cd "$root" && tar --null -T - -cf -) | tar -C "$staging" -xf -
(cd "$staging" && find . -type f -print0) | while IFS= read -r -d '' file; do
    if ! cmp -s "$staging/$file" "$src/$file"; then
        mkdir -p "$(dirname "$src/$file")"
        cp "$staging/$file" "$src/$file"
    fi
done
rm -rf "$staging"

# glibc's malloc checks: a byte written past an allocation aborts at its free.
test_environment=()
for debug in /lib/*-linux-gnu/libc_malloc_debug.so.0 /usr/lib/*-linux-gnu/libc_malloc_debug.so.0; do
    if [ -e "$debug" ]; then
        test_environment=("LD_PRELOAD=$debug" MALLOC_CHECK_=3)
        break
    fi
done

build_copy() { # LOG
    cmake --build "$build" -j "$jobs" >"$1" 2>&1
}
# run_tests LOG [CTEST OPTIONS...]: true when every test passes.  A run that
# hangs is ended after a quarter of an hour, as failed.
run_tests() {
    local log=$1
    shift
    env "${test_environment[@]}" timeout 900 ctest --test-dir "$build" -j "$jobs" --no-tests=error "$@" >"$log" 2>&1
}

start=$SECONDS
echo "mutation: copy in $work; building it"
# With ccache, the build that puts a file back after its breakage takes the
# objects of the unbroken copy from the cache instead of compiling them again.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_DIR=$work/ccache CCACHE_BASEDIR=$src CCACHE_NOHASHDIR=true
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
(cd "$src" && cmake --preset default "${launcher[@]}" >"$logs/configure.log" 2>&1) ||
    { cat "$logs/configure.log"; echo "mutation: the copy does not configure" >&2; exit 2; }
build_copy "$logs/build.log" || { tail -n 40 "$logs/build.log"; echo "mutation: the copy does not build" >&2; exit 2; }
if ! run_tests "$logs/unbroken.log"; then
    grep -E 'Failed|\*\*\*' "$logs/unbroken.log" | tail -n 20 || true
    echo "mutation: the suite fails with no breakage (see $logs/unbroken.log)" >&2
    exit 2
fi
echo "mutation: the unbroken copy built and passed in $((SECONDS - start)) s"

# ---- The breakages --------------------------------------------------------

# count_of TEXT FILE: how often TEXT occurs in FILE.
count_of() {
    local text=$1 rest count=0
    rest=$(cat "$2"; printf x)
    while [[ $rest == *"$text"* ]]; do
        rest=${rest#*"$text"}
        count=$((count + 1))
    done
    echo "$count"
}

# failed_test LOG: the first test that failed in a ctest log, or how the
# run ended when none is named (a timeout).
failed_test() {
    local name
    name=$(grep -E '\*\*\*|\(Failed\)|\(Timeout\)' "$1" | grep -oE 'Test +#[0-9]+: [^ ]+' | head -n 1 |
        sed -E 's/Test +#[0-9]+: //' || true)
    echo "${name:-a run that did not finish}"
}

caught=0
survivors=() unusable=()
for i in "${selected[@]}"; do
    id=${ids[i]} file=${files[i]} hint=${hints[i]}
    log=$logs/$id.log
    began=$SECONDS
    if [ ! -f "$src/$file" ]; then
        echo "mutation: $id: no longer applies: $file is gone"
        unusable+=("$id (no $file)")
        continue
    fi
    occurrences=$(count_of "${finds[i]}" "$src/$file")
    if [ "$occurrences" != 1 ]; then
        echo "mutation: $id: no longer applies: its text occurs $occurrences times in $file"
        unusable+=("$id (text found $occurrences times)")
        continue
    fi
    cp "$src/$file" "$work/pristine"
    broken_file=$file
    content=$(cat "$src/$file"; printf x)
    content=${content%x}
    printf '%s' "${content/"${finds[i]}"/"${replaces[i]}"}" >"$src/$file"
    verdict=""
    if ! build_copy "$log"; then
        verdict="does not build"
    elif [ -n "$hint" ] && ! run_tests "$log.first" -R "$hint" --stop-on-failure; then
        verdict="caught by $(failed_test "$log.first")"
    elif ! run_tests "$log.all" --stop-on-failure; then
        verdict="caught by $(failed_test "$log.all")"
    else
        verdict="survives"
    fi
    # Put back with a new time, so that the next build compiles it again.
    cp "$work/pristine" "$src/$file"
    broken_file=""
    case $verdict in
    caught*) caught=$((caught + 1)) ;;
    survives) survivors+=("$id") ;;
    *) unusable+=("$id ($verdict)") ;;
    esac
    echo "mutation: $id: $verdict ($((SECONDS - began)) s)"
done
# The copy's build is left unbroken for the next run that keeps it.
build_copy "$logs/build.log" || true

total=${#selected[@]}
echo "mutation: $caught of $total breakages caught in $((SECONDS - start)) s"
if ((${#survivors[@]} > 0)); then
    echo "mutation: passing every test: ${survivors[*]}"
fi
if ((${#unusable[@]} > 0)); then
    echo "mutation: to fix in breakages.txt: ${unusable[*]}"
fi
((caught == total))
