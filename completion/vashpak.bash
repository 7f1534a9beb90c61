# SPDX-License-Identifier: MIT
# bash completion for vashpak: the output set, then resource files,
# @listfiles and the directive !discard, which is completed escaped so that
# history expansion leaves it alone; after --wrap as the first word, the raw
# file and the resource file, then nothing for the two words.  Only bash
# builtins and bash-completion's own functions run.

_vashpak_listfiles()
{
    local name
    local IFS=$'\n'
    COMPREPLY=()
    for name in $(compgen -f -- "${1#@}"); do
        [[ -d $name ]] && name+=/
        COMPREPLY+=("@$name")
    done
    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]]; then
        compopt -o nospace
    fi
}

_vashpak()
{
    local cur prev words cword
    _init_completion || return

    if [[ $cword -eq 1 && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--help -h --version --wrap' -- "$cur")
        return
    fi
    # --wrap RAW RESOURCE [WORD1 [WORD2]]: files, then numbers.  With more
    # words than that, --wrap is the set being packed, as below.
    if [[ ${words[1]} == --wrap ]] && ((cword <= 5 && ${#words[@]} <= 6)); then
        ((cword <= 3)) && _filedir
        return
    fi
    case $cur in
    @*)
        [[ $cword -gt 1 ]] && _vashpak_listfiles "$cur"
        ;;
    '!'* | '\!'*)
        [[ $cword -gt 1 && !discard == "${cur#\\}"* ]] && COMPREPLY=('\!discard')
        ;;
    *)
        _filedir
        ;;
    esac
} && complete -F _vashpak vashpak
