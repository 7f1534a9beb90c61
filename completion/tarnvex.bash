# SPDX-License-Identifier: MIT
# bash completion for tarnvex: its options, a folder after -C, the set's file
# name, then the names of the set's entries, as patterns that match each one
# alone; after --unwrap as the first word, the resource file and the file to
# write, and nothing more.  Apart from bash builtins and bash-completion's own functions, the
# one thing run is "tarnvex -l SET", and only when SET is a regular file: it
# reads the set's header and table and writes nothing.

# Puts in COMPREPLY the entries of the set that begin with the word being
# completed: the names "tarnvex -l" lists, with the bytes a pattern reads
# specially (\ * ? [) escaped, then quoted for the shell as %q quotes them.
_tarnvex_entries()
{
    local program=$1 set=$2 cur=$3
    declare -F __expand_tilde_by_ref >/dev/null && __expand_tilde_by_ref set
    [[ -f $set && -r $set ]] || return
    # The program being completed, when it was named by a path.
    [[ $program == */* && -x $program ]] || program=tarnvex
    local line name pattern quoted listed=0
    while IFS= read -r line; do
        # Enough for any set vashpak packs, and a bound for any other.
        ((++listed > 5000)) && break
        line=${line%$'\r'}
        [[ $line =~ ^[0-9]+:\ (.*),\ [0-9]+$ ]] || continue
        name=${BASH_REMATCH[1]}
        pattern=${name//\\/\\\\}
        pattern=${pattern//\*/\\*}
        pattern=${pattern//\?/\\?}
        pattern=${pattern//\[/\\[}
        # The word as typed is compared with the word as it is put in.
        printf -v quoted %q "$pattern"
        [[ $quoted == "$cur"* ]] && COMPREPLY+=("$quoted")
    done < <(command "$program" -l "$set" 2>/dev/null)
}

_tarnvex()
{
    local cur prev words cword split
    _init_completion -s || return

    if [[ $split == true && $prev == --directory ]]; then
        _filedir -d
        return
    fi
    # --unwrap RESOURCE RAW: two files, and no set to list.
    if ((cword > 1)) && [[ ${words[1]} == --unwrap ]]; then
        ((cword <= 3)) && _filedir
        return
    fi
    # The words before the one completed, read as tarnvex reads them: the
    # first that is not an option is the set, and -C takes the next word
    # unless its folder is attached.
    local i j word set='' mode='' ended=''
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if [[ -n $ended || $word != -?* ]]; then
            [[ -z $set ]] && set=$word
            continue
        fi
        case $word in
        --) ended=1 ;;
        --directory)
            if ((++i == cword)); then
                _filedir -d
                return
            fi
            ;;
        --list) mode=l ;;
        --test) mode=t ;;
        --to-stdout) mode=O ;;
        --payload) mode=p ;;
        --compare) mode=c ;;
        --*) ;;
        *)
            for ((j = 1; j < ${#word}; j++)); do
                case ${word:j:1} in
                C)
                    if ((j + 1 == ${#word} && ++i == cword)); then
                        _filedir -d
                        return
                    fi
                    break
                    ;;
                [ltOp]) mode=${word:j:1} ;;
                esac
            done
            ;;
        esac
    done

    if [[ -z $ended && $cur == -* ]]; then
        local options='-d --make-directories -C --directory -k --keep-old-files
            --exact -v --verbose --'
        # -l, -t, --compare, -O and -p exclude one another, --json goes
        # with -l alone; --help, -h and --version stand alone.
        [[ -z $mode ]] && options+=' -l --list -t --test --compare -O --to-stdout -p --payload'
        [[ $mode == l ]] && options+=' --json'
        ((cword == 1)) && options+=' -h --help --version --unwrap'
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    if [[ -z $set ]]; then
        _filedir
        return
    fi
    # -t takes no names.
    [[ $mode == t ]] || _tarnvex_entries "${words[0]}" "$set" "$cur"
} && complete -F _tarnvex tarnvex
