#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# README.md against the programs and the library.  Its examples are run as
# they stand, so that the README cannot drift from the tools.
#
# The README marks what is checked in the info string of a code fence:
#   ```sh example      shell commands, run here, one line at a time (a line
#                      ending in \ goes on on the next), in a folder holding
#                      a copy of the sample resources of examples/; each
#                      block starts in that folder, and every command must
#                      succeed
#   ```text output     what the example block just before it prints on
#                      standard output, exactly
#   ```c example, ```cpp example, ```python example
#                      a whole program, built against the library just built
#                      and run where the first shell example has packed its
#                      set; it prints the payload of greeting.res
# Its other blocks (the build, install and packaging commands) are checked
# for the presets and targets they name.

load helpers

README="$BATS_TEST_DIRNAME/../../README.md"
SAMPLES="$BATS_TEST_DIRNAME/../../examples"

# load_blocks: the README's fenced blocks, in order, into BLOCK_INFO (the
# info string) and BLOCK_TEXT (the lines, each ending in a newline).
load_blocks() {
    BLOCK_INFO=() BLOCK_TEXT=()
    local line info="" text="" inside=0
    while IFS= read -r line; do
        if ((inside)); then
            if [ "$line" = '```' ]; then
                BLOCK_INFO+=("$info")
                BLOCK_TEXT+=("$text")
                inside=0
            else
                text+=$line$'\n'
            fi
        elif [[ $line == '```'* ]]; then
            info=${line#'```'}
            text=""
            inside=1
        fi
    done <"$README"
    if ((inside)); then
        echo "README.md: a code block is not closed" >&2
        return 1
    fi
}

# run_block TEXT: runs the commands of an example block in the samples'
# folder, the programs being the ones under test; standard output and error
# go to $OUT/stdout and $OUT/stderr.  Fails at the first command that fails.
run_block() {
    local text=$1
    status=0
    (
        cd "$WORK" || exit 1
        vashpak() {
            # shellcheck disable=SC2086 # the prefix may be several words
            ${EXEC_PREFIX:-} "$VASHPAK" "$@"
        }
        tarnvex() {
            # shellcheck disable=SC2086 # the prefix may be several words
            ${EXEC_PREFIX:-} "$TARNVEX" "$@"
        }
        set -o pipefail
        command=""
        while IFS= read -r line; do
            if [[ $line == *\\ ]]; then
                command+=${line%\\}
                continue
            fi
            command+=$line
            [[ $command =~ ^[[:space:]]*(#|$) ]] || eval "$command" </dev/null || {
                echo "README.md: the command \"$command\" failed with status $?" >&2
                exit 1
            }
            command=""
        done <<<"$text"
    ) >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
}

# run_examples [all|without-jq]: copies the samples here and runs every
# shell example in order (without-jq: those that use no jq), checking the
# output each shows.  Fails when an output block follows no example, or when
# no example ran.
run_examples() {
    local which=${1:-all} i ran=0 skipping=0 actual
    load_blocks
    cp "$SAMPLES"/*.res "$WORK"/
    for ((i = 0; i < ${#BLOCK_INFO[@]}; i++)); do
        case ${BLOCK_INFO[i]} in
        "sh example")
            skipping=0
            if [ "$which" = without-jq ] && [[ ${BLOCK_TEXT[i]} =~ (^|[|;&[:space:]])jq[[:space:]] ]]; then
                skipping=1
                continue
            fi
            run_block "${BLOCK_TEXT[i]}"
            if [ "$status" -ne 0 ]; then
                echo "README.md: the example failed:" >&2
                printf '%s' "${BLOCK_TEXT[i]}" >&2
                cat "$OUT/stderr" >&2
                return 1
            fi
            ran=$((ran + 1))
            ;;
        "text output")
            if ((i == 0)) || [ "${BLOCK_INFO[i - 1]}" != "sh example" ]; then
                echo "README.md: an output block that follows no shell example:" >&2
                printf '%s' "${BLOCK_TEXT[i]}" >&2
                return 1
            fi
            ((skipping)) && continue
            # Windows ends the programs' lines in CR LF; the other suites
            # check that, this one the text.
            actual=$(tr -d '\r' <"$OUT/stdout"; echo x)
            if [ "${actual%x}" != "${BLOCK_TEXT[i]}" ]; then
                printf '%s' "${actual%x}" >"$OUT/actual"
                echo "README.md: the example" >&2
                printf '%s' "${BLOCK_TEXT[i - 1]}" >&2
                compare_text "its output" "${BLOCK_TEXT[i]}" "$OUT/actual"
                return 1
            fi
            ;;
        esac
    done
    if ((ran == 0)); then
        echo "README.md has no shell example" >&2
        return 1
    fi
}

# source_block LANGUAGE FILE: writes the README's "LANGUAGE example" block
# to FILE; fails when there is none.
source_block() {
    local i
    load_blocks
    for ((i = 0; i < ${#BLOCK_INFO[@]}; i++)); do
        if [ "${BLOCK_INFO[i]}" = "$1 example" ]; then
            printf '%s' "${BLOCK_TEXT[i]}" >"$2"
            return 0
        fi
    done
    echo "README.md has no $1 example" >&2
    return 1
}

# pack_first_example: the set the first shell example packs, here.
pack_first_example() {
    local i
    load_blocks
    cp "$SAMPLES"/*.res "$WORK"/
    for ((i = 0; i < ${#BLOCK_INFO[@]}; i++)); do
        if [ "${BLOCK_INFO[i]}" = "sh example" ]; then
            run_block "${BLOCK_TEXT[i]}"
            expect_status 0
            [ -f game.set ] || { echo "the first example packs no game.set" >&2; return 1; }
            return 0
        fi
    done
    echo "README.md has no shell example" >&2
    return 1
}

# expect_greeting: the program just run printed the payload of greeting.res.
expect_greeting() {
    expect_status 0
    tail -c +21 "$SAMPLES/greeting.res" >"$OUT/greeting"
    expect_same_bytes "$OUT/stdout" "$OUT/greeting"
}

# need_native_compilers: the snippets are built with the build's compilers
# and run here, which a cross build's are not for.
need_native_compilers() {
    [ -z "${EXEC_PREFIX:-}" ] || skip "a cross build: the snippets are built and run natively only"
    [ -n "${README_CC:-}" ] || skip "README_CC is not set: the check runs from ctest"
}

@test "the README's shell examples run as written and print what it shows" {
    run_examples without-jq
}

@test "the README's JSON listing example prints what it shows" {
    command -v jq >/dev/null || skip "no jq"
    load_blocks
    [[ "${BLOCK_TEXT[*]}" == *"--json"* ]]
    run_examples all
}

@test "the README's C example builds against the library and reads the set" {
    need_native_compilers
    pack_first_example
    source_block c load.c
    # shellcheck disable=SC2086 # the flags are several words
    $README_CC $README_CFLAGS -std=c99 -Wall -Wextra -Werror -I"$RESOURCE_SET_INCLUDE" -c load.c -o load.o
    # The static library brings the C++ runtime, which the C++ driver links.
    # shellcheck disable=SC2086
    $README_CXX $README_LDFLAGS load.o "$RESOURCE_SET_LIBRARY" -pthread -o load
    status=0
    ./load >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_greeting
}

@test "the README's C++ example builds against the face and reads the set" {
    need_native_compilers
    pack_first_example
    source_block cpp show.cpp
    # shellcheck disable=SC2086 # the flags are several words
    $README_CXX $README_CXXFLAGS -std=c++17 -Wall -Wextra -Werror -I"$RESOURCE_SET_INCLUDE" show.cpp \
        $README_LDFLAGS "$RESOURCE_SET_LIBRARY" -pthread -o show
    status=0
    ./show >"$OUT/stdout" 2>"$OUT/stderr" || status=$?
    expect_greeting
}

@test "the README's Python example reads the set with the module" {
    [ -n "${README_PYTHON:-}" ] ||
        skip "the Python module is not built here (a cross build, no python3-dev, or built with sanitizers)"
    pack_first_example
    source_block python load.py
    status=0
    PYTHONPATH=$README_PYTHONPATH PYTHONDONTWRITEBYTECODE=1 "$README_PYTHON" load.py >"$OUT/stdout" \
        2>"$OUT/stderr" || status=$?
    expect_greeting
}

@test "the README's build commands name presets and targets that exist" {
    load_blocks
    local presets="$BATS_TEST_DIRNAME/../../CMakePresets.json" i named=0 word previous=""
    for ((i = 0; i < ${#BLOCK_INFO[@]}; i++)); do
        [ "${BLOCK_INFO[i]}" = sh ] || continue
        for word in ${BLOCK_TEXT[i]}; do
            if [ "$previous" = --preset ]; then
                grep -qF "\"name\": \"$word\"" "$presets" || { echo "README.md: no preset $word" >&2; return 1; }
                named=$((named + 1))
            elif [ "$previous" = --target ] && [ -n "${RESOURCE_SET_BUILD_DIR:-}" ]; then
                cmake --build "$RESOURCE_SET_BUILD_DIR" --target help | grep -qE "(^|[ .:])$word(:? |:?$)" ||
                    { echo "README.md: no target $word" >&2; return 1; }
            fi
            previous=$word
        done
    done
    [ "$named" -gt 0 ]
    # The quick start's test command is the one CI runs.
    printf "%s" "${BLOCK_TEXT[@]}" | grep -qxF "cmake --workflow --preset default"
    grep -qF 'cmake --workflow --preset default' "$BATS_TEST_DIRNAME/../../.ci/run"
}

@test "the README is at most 200 lines" {
    [ "$(wc -l <"$README")" -le 200 ]
}
