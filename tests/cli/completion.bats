#!/usr/bin/env bats
# The bash completion scripts, loaded as bash-completion loads them.

load helpers

# complete_line FUNCTION WORD...: the replies FUNCTION gives for the command
# line WORD..., completing the last word, one per line and sorted.
complete_line() {
    local function=$1 script
    shift
    script="$BATS_TEST_DIRNAME/../../completion/${1}.bash"
    # shellcheck disable=SC2016 # expanded by the inner shell
    bash -c 'source "$1" && source "$2" || exit 1
        shift 2
        function=$1
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"' \
        completion "$BASH_COMPLETION" "$script" "$function" "$@" | LC_ALL=C sort >"$OUT/replies"
}

# expect_replies REPLY...: exactly these replies.  They come from the host's
# bash, in LF lines whatever the programs' system.
expect_replies() {
    local expected=""
    [ $# -eq 0 ] || expected=$(printf '%s\n' "$@")$'\n'
    compare_text replies "$expected" "$OUT/replies"
}

@test "completion: !discard escaped, @ with listfiles, tarnvex's options" {
    BASH_COMPLETION=/usr/share/bash-completion/bash_completion
    [ -f "$BASH_COMPLETION" ] || skip "bash-completion is not installed"
    touch base.lst game.set
    mkdir sub

    complete_line _vashpak vashpak out.set '!dis'
    expect_replies '\!discard'
    complete_line _vashpak vashpak out.set @
    expect_replies @base.lst @game.set @sub/
    complete_line _vashpak vashpak out.set @b
    expect_replies @base.lst

    complete_line _tarnvex tarnvex --
    expect_replies --help --list --version
    complete_line _tarnvex tarnvex -l g
    expect_replies game.set
    complete_line _tarnvex tarnvex game.set x
    expect_replies
}
