# SPDX-License-Identifier: MIT
# bash completion for tarnvex: its options, then the set's file name.  Only
# bash builtins and bash-completion's own functions run.

_tarnvex()
{
    local cur prev words cword
    _init_completion || return

    case $cword in
    1)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-l --list -h --help --version' -- "$cur"))
            return
        fi
        ;;
    2)
        [[ $prev == -l || $prev == --list ]] || return
        ;;
    *)
        return
        ;;
    esac
    _filedir
} && complete -F _tarnvex tarnvex
