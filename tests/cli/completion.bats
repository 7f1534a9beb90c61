#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# The bash completion scripts, loaded as bash-completion loads them.

load helpers

@test "completion: !discard escaped, @ with listfiles, tarnvex's options" {
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
        replies _tarnvex tarnvex --
        replies _tarnvex tarnvex -l g
        replies _tarnvex tarnvex game.set x
        replies _tarnvex tarnvex -d -C s
        replies _tarnvex tarnvex -d -C sub g' \
        completion "$loader" "$BATS_TEST_DIRNAME/../../completion" >"$OUT/replies"
    compare_text replies 'vashpak out.set !dis -> \!discard
vashpak out.set @ -> @base.lst @game.set @sub/
tarnvex -- -> -- --directory --help --list --make-directories --version
tarnvex -l g -> game.set
tarnvex game.set x ->
tarnvex -d -C s -> sub
tarnvex -d -C sub g -> game.set
' "$OUT/replies"
}
