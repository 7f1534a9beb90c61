#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The bash completion scripts, loaded as bash-completion loads them.

load helpers

@test "completion: !discard escaped, @ with listfiles, --wrap, tarnvex's options and --unwrap" {
    local loader=/usr/share/bash-completion/bash_completion
    [ -f "$loader" ] || skip "bash-completion is not installed"
    touch base.lst game.set
    mkdir sub
    # Each line: the words, the last one completed, then the sorted replies.
    # shellcheck disable=SC2016 # expanded by the inner shell
    bash -c 'source "$1" && source "$2/vashpak.bash" && source "$2/tarnvex.bash" || exit 1
        replies() {
            local function=$1
            shift
            COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMPREPLY=()
            COMP_POINT=${#COMP_LINE}
            "$function" "$1" "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
            echo "$* ->" $(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort)
        }
        replies _vashpak vashpak out.set "!dis"
        replies _vashpak vashpak out.set @
        replies _vashpak vashpak -
        replies _vashpak vashpak --w
        replies _vashpak vashpak out.set --w
        replies _vashpak vashpak --wrap b
        replies _vashpak vashpak --wrap base.lst g
        replies _vashpak vashpak --wrap base.lst @
        replies _vashpak vashpak --wrap base.lst "!dis"
        replies _vashpak vashpak --wrap base.lst out.res b
        replies _vashpak vashpak --wrap base.lst out.res 1 b
        replies _vashpak vashpak --wrap base.lst out.res 1 2 b
        replies _vashpak vashpak --wrap base.lst out.res 1 2 @
        replies _tarnvex tarnvex --
        replies _tarnvex tarnvex -
        replies _tarnvex tarnvex -lv -
        replies _tarnvex tarnvex game.set --t
        replies _tarnvex tarnvex --list game.set --t
        replies _tarnvex tarnvex -- -
        replies _tarnvex tarnvex -l g
        replies _tarnvex tarnvex game.set x
        replies _tarnvex tarnvex -d -C s
        replies _tarnvex tarnvex -dC s
        replies _tarnvex tarnvex --directory=s
        replies _tarnvex tarnvex -d -C sub g
        replies _tarnvex tarnvex -Csub g
        replies _tarnvex tarnvex -C -v g
        replies _tarnvex tarnvex --u
        replies _tarnvex tarnvex -v --u
        replies _tarnvex tarnvex --unwrap g
        replies _tarnvex tarnvex --unwrap game.set -
        replies _tarnvex tarnvex --unwrap game.set b
        replies _tarnvex tarnvex --unwrap game.set out.bin b' \
        completion "$loader" "$BATS_TEST_DIRNAME/../../completion" >"$OUT/replies"
    compare_text replies 'vashpak out.set !dis -> \!discard
vashpak out.set @ -> @base.lst @game.set @sub/
vashpak - -> --delete --help --rename --update --version --wrap -h
vashpak --w -> --wrap
vashpak out.set --w ->
vashpak --wrap b -> base.lst
vashpak --wrap base.lst g -> game.set
vashpak --wrap base.lst @ ->
vashpak --wrap base.lst !dis ->
vashpak --wrap base.lst out.res b ->
vashpak --wrap base.lst out.res 1 b ->
vashpak --wrap base.lst out.res 1 2 b -> base.lst
vashpak --wrap base.lst out.res 1 2 @ -> @base.lst @game.set @sub/
tarnvex -- -> -- --compare --directory --exact --help --keep-old-files --list --make-directories --payload --test --to-stdout --unwrap --verbose --version
tarnvex - -> -- --compare --directory --exact --help --keep-old-files --list --make-directories --payload --test --to-stdout --unwrap --verbose --version -C -O -d -h -k -l -p -t -v
tarnvex -lv - -> -- --directory --exact --json --keep-old-files --make-directories --verbose -C -d -k -v
tarnvex game.set --t -> --test --to-stdout
tarnvex --list game.set --t ->
tarnvex -- - ->
tarnvex -l g -> game.set
tarnvex game.set x ->
tarnvex -d -C s -> sub
tarnvex -dC s -> sub
tarnvex --directory=s -> sub
tarnvex -d -C sub g -> game.set
tarnvex -Csub g -> game.set
tarnvex -C -v g -> game.set
tarnvex --u -> --unwrap
tarnvex -v --u ->
tarnvex --unwrap g -> game.set
tarnvex --unwrap game.set - ->
tarnvex --unwrap game.set b -> base.lst
tarnvex --unwrap game.set out.bin b ->
' "$OUT/replies"
}

@test "completion: --update, --delete and --rename, the set after them, inputs after --update's" {
    local loader=/usr/share/bash-completion/bash_completion
    [ -f "$loader" ] || skip "bash-completion is not installed"
    touch base.lst game.set
    mkdir sub
    # shellcheck disable=SC2016 # expanded by the inner shell
    bash -c 'source "$1" && source "$2/vashpak.bash" || exit 1
        replies() {
            COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMPREPLY=()
            COMP_POINT=${#COMP_LINE}
            _vashpak "$1" "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
            echo "$* ->" $(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort)
        }
        replies vashpak --u
        replies vashpak --de
        replies vashpak --r
        replies vashpak out.set --u
        replies vashpak --update g
        replies vashpak --update game.set b
        replies vashpak --update game.set base.lst @
        replies vashpak --update game.set "!dis"
        replies vashpak --delete g
        replies vashpak --delete game.set b
        replies vashpak --delete game.set "*.res" b
        replies vashpak --rename g
        replies vashpak --rename game.set b
        replies vashpak --rename game.set a.res b
        replies vashpak --rename game.set a.res b.res b' \
        completion "$loader" "$BATS_TEST_DIRNAME/../../completion" >"$OUT/replies"
    compare_text replies 'vashpak --u -> --update
vashpak --de -> --delete
vashpak --r -> --rename
vashpak out.set --u ->
vashpak --update g -> game.set
vashpak --update game.set b -> base.lst
vashpak --update game.set base.lst @ -> @base.lst @game.set @sub/
vashpak --update game.set !dis ->
vashpak --delete g -> game.set
vashpak --delete game.set b ->
vashpak --delete game.set *.res b ->
vashpak --rename g -> game.set
vashpak --rename game.set b ->
vashpak --rename game.set a.res b ->
vashpak --rename game.set a.res b.res b -> base.lst
' "$OUT/replies"
}

@test "completion: the set's entries after the set, as patterns" {
    local loader=/usr/share/bash-completion/bash_completion
    [ -f "$loader" ] || skip "bash-completion is not installed"
    mkdir gfx sub bin
    printf '0SER\1\0\0\0\2\0\0\0\0\0\0\0!IGMhello' >gfx/title.res
    cp gfx/title.res gfx/font.res
    cp gfx/title.res 'x[1].res'
    cp gfx/title.res a.res
    vashpak game.set gfx/title.res 'x[1].res' gfx/font.res a.res
    expect_status 0
    cp game.set game.copy
    touch empty.set
    # A FIFO nobody writes to: listing it would wait for ever.
    mkfifo pipe.set
    # What the completion runs as "tarnvex": the program under test.
    # shellcheck disable=SC2016 # expanded when the wrapper runs
    printf '#!/bin/sh\nexec ${EXEC_PREFIX:-} "$TARNVEX" "$@"\n' >bin/tarnvex
    chmod +x bin/tarnvex
    # shellcheck disable=SC2016 # expanded by the inner shell
    PATH="$WORK/bin:$PATH" EXEC_PREFIX="${EXEC_PREFIX:-}" timeout 60 bash -c 'source "$1" && source "$2/tarnvex.bash" || exit 1
        replies() {
            COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMPREPLY=()
            COMP_POINT=${#COMP_LINE}
            _tarnvex "$1" "${!#}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
            echo "$* ->" $(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort)
        }
        replies tarnvex game.set ""
        replies tarnvex game.set g
        replies tarnvex -v game.set gfx/f
        replies tarnvex -l game.set a.res x
        replies tarnvex game.set -C sub x
        replies tarnvex game.set "x\\\\\\["
        replies tarnvex -O game.set a
        replies tarnvex -p -- game.set g
        replies tarnvex -t game.set ""
        replies tarnvex --unwrap game.set g
        replies tarnvex --unwrap a.res gfx/f
        replies tarnvex -C game.copy game.set a
        replies tarnvex empty.set ""
        replies tarnvex pipe.set ""
        replies tarnvex missing.set ""' \
        completion "$loader" "$BATS_TEST_DIRNAME/../../completion" >"$OUT/replies"
    compare_text replies 'tarnvex game.set  -> a.res gfx/font.res gfx/title.res x\\\[1\].res
tarnvex game.set g -> gfx/font.res gfx/title.res
tarnvex -v game.set gfx/f -> gfx/font.res
tarnvex -l game.set a.res x -> x\\\[1\].res
tarnvex game.set -C sub x -> x\\\[1\].res
tarnvex game.set x\\\[ -> x\\\[1\].res
tarnvex -O game.set a -> a.res
tarnvex -p -- game.set g -> gfx/font.res gfx/title.res
tarnvex -t game.set  ->
tarnvex --unwrap game.set g -> game.copy game.set gfx
tarnvex --unwrap a.res gfx/f -> gfx/font.res
tarnvex -C game.copy game.set a -> a.res
tarnvex empty.set  ->
tarnvex pipe.set  ->
tarnvex missing.set  ->
' "$OUT/replies"
    # Completing read the set and wrote nothing.
    [ ! -e reslist.txt ] && [ ! -e sub/reslist.txt ]
}
