# SPDX-License-Identifier: MIT
# bash completion for tarnvex: its options, a folder after -C, then the set's
# file name.  Only bash builtins and bash-completion's own functions run.

_tarnvex()
{
    local cur prev words cword
    _init_completion || return

    # After -l as the first word comes the set alone.
    if ((cword == 2)) && [[ $prev == -l || $prev == --list ]]; then
        _filedir
        return
    fi
    if [[ $prev == -C || $prev == --directory ]]; then
        _filedir -d
        return
    fi
    # Options come before the set; once it, or "--" before it, is there,
    # nothing more is.
    local i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        -C | --directory) ((i++)) ;;
        -d | --make-directories) ;;
        --)
            ((i == cword - 1)) && _filedir
            return
            ;;
        *) return ;;
        esac
    done
    if [[ $cur == -* ]]; then
        local options='-d --make-directories -C --directory --'
        ((cword == 1)) && options+=' -l --list -h --help --version'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir
} && complete -F _tarnvex tarnvex
