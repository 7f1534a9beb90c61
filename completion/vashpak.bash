# SPDX-License-Identifier: MIT
# bash completion for vashpak: the output set, then resource files,
# @listfiles and the directive !discard, which is completed escaped so that
# history expansion leaves it alone; after --wrap as the first word, the raw
# file and the resource file, then nothing for the two words; after --update,
# the set, then resource files and @listfiles; after --delete and --rename,
# the set, then nothing for the patterns and names.  Only bash builtins and
# bash-completion's own functions run.

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
        mapfile -t COMPREPLY < <(compgen -W '--help -h --version --wrap --update --delete --rename' -- "$cur")
        return
    fi
    # --wrap RAW RESOURCE [WORD1 [WORD2]]: files, then numbers.  With more
    # words than that, --wrap is the set being packed, as below.
    if [[ ${words[1]} == --wrap ]] && ((cword <= 5 && ${#words[@]} <= 6)); then
        ((cword <= 3)) && _filedir
        return
    fi
    # --delete SET PATTERN... and --rename SET OLD NEW: the set alone.  With
    # more words than three after it, --rename is the set being packed.
    if [[ ${words[1]} == --delete ]] || { [[ ${words[1]} == --rename ]] && ((cword <= 4 && ${#words[@]} <= 5)); }; then
        ((cword == 2)) && _filedir
        return
    fi
    # --update SET INPUT...: the set, then inputs as below, but for the
    # directive, which an update refuses.
    if [[ ${words[1]} == --update && $cword -eq 2 ]]; then
        _filedir
        return
    fi
    case $cur in
    @*)
        [[ $cword -gt 1 ]] && _vashpak_listfiles "$cur"
        ;;
    '!'* | '\!'*)
        [[ $cword -gt 1 && ${words[1]} != --update && !discard == "${cur#\\}"* ]] && COMPREPLY=('\!discard')
        ;;
    *)
        _filedir
        ;;
    esac
} && complete -F _vashpak vashpak
