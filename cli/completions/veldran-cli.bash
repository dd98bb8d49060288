# bash completion for veldran-cli: its commands, each command's options, and file names.

_veldran_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="replace find batch env undo"
    if [ "$cword" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
        return
    fi

    local options
    case ${words[1]} in
    replace)
        options="-f --find -r --replace --no-log --log-name --delete-log --batch-data
                 --batch-name --delete-batch --jobs --dry-run --no-undo --help"
        ;;
    find) options="-f --find --help" ;;
    batch) options="--batch-name --delete-batch --help" ;;
    env | undo) options="--help" ;;
    *) return ;;
    esac

    # An option that takes a value: the value is the user's own text.
    case $prev in
    -f | --find | -r | --replace | --log-name | --batch-name | --jobs) return ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [ "${words[1]}" != env ] && [ "${words[1]}" != undo ]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null
    fi
}
complete -F _veldran_cli veldran-cli
