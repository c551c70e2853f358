# bash completion for tklcli                                  -*- shell-script -*-

_tklcli()
{
    local cur prev words cword
    _init_completion || return

    local commands="check download show preview ports upload diff help"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
        --port)
            # The ports of the network the tool would use (TKL_NETWORK, the operator's
            # description or the sample): the first word of each line of `tklcli ports`.
            local ports IFS=$'\n'
            ports=$("${words[0]}" ports 2>/dev/null | sed 's/  node .*//')
            COMPREPLY=($(compgen -W "$ports" -- "$cur"))
            return ;;
        --format)
            COMPREPLY=($(compgen -W "text json" -- "$cur"))
            return ;;
        --values|-o|--output)
            _filedir
            return ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local options
    case $command in
        check) options="--port --format --help" ;;
        download) options="--port --strict --print-writes --help" ;;
        show) options="--port --format --help" ;;
        preview) options="--port --values --no-codes --help" ;;
        ports) options="--format --help" ;;
        upload) options="--port --output --force --help" ;;
        diff) options="--port --format --help" ;;
        help)
            COMPREPLY=($(compgen -W "check download show preview ports upload diff" -- "$cur"))
            return ;;
        *) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command != show && $command != ports && $command != upload ]]; then
        _filedir txt
    fi
} &&
    complete -F _tklcli tklcli

# ex: filetype=sh
