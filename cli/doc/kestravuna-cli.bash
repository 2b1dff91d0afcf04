# bash completion for kestravuna-cli: the commands, the options every command takes, each
# command's own options, the methods of --mode, and folders or files as the command expects.
_kestravuna_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="scan protect restore verify pack unpack list compress decompress advise"
    local general="--quiet --verbose --help --version"
    COMPREPLY=()

    case $prev in
        --mode)
            mapfile -t COMPREPLY < <(compgen -W "good fast auto" -- "$cur")
            return
            ;;
        --password-file)
            compopt -o filenames
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac

    # The command is the first word that is neither an option nor the value of one.
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --mode | --password-file) ((i++)) ;;
            -*) ;;
            *)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands $general" -- "$cur")
        return
    fi

    local options=""
    case $command in
        protect) options="--mode --encrypt --password-file" ;;
        restore) options="--password-file" ;;
        verify) options="--password --password-file" ;;
        compress) options="--mode" ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options $general" -- "$cur")
        return
    fi
    compopt -o filenames
    case $command in
        scan | protect | restore) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
        *) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    esac
}
complete -F _kestravuna_cli kestravuna-cli
