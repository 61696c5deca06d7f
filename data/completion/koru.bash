# bash completion for koru, koru-cli and koru-sample-server; installed once
# under each name, as bash-completion loads a command's file by its name.

_koru_options() {
    case $prev in
    --home) _filedir -d; return 0 ;;
    --server) return 0 ;;
    esac
    return 1
}

_koru() {
    local cur prev words cword
    _init_completion || return
    _koru_options && return
    COMPREPLY=($(compgen -W '--choose-home --check --home --server --help --version update' -- "$cur"))
}

_koru_cli() {
    local cur prev words cword
    _init_completion || return
    _koru_options && return
    case $prev in
    vanto-update | all | --check) _filedir zip; return ;;
    install)
        COMPREPLY=($(compgen -W '--check' -- "$cur"))
        _filedir zip
        return
        ;;
    esac
    local i command=
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} != -* && ${words[i - 1]} != --home && ${words[i - 1]} != --server ]] && command=1
    done
    local words_here='plugins patches search check vanto-update help-links-update all install restore'
    [[ -z $command ]] && words_here+=' --yes --no --notify --home --server --help --version'
    COMPREPLY=($(compgen -W "$words_here" -- "$cur"))
}

_koru_sample_server() {
    local cur prev words cword
    _init_completion || return
    case $cword in
    1) [[ $cur == -* ]] && COMPREPLY=($(compgen -W '--help --version' -- "$cur")) || _filedir -d ;;
    esac
}

complete -F _koru koru
complete -F _koru_cli koru-cli
complete -F _koru_sample_server koru-sample-server
