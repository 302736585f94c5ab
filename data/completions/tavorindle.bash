# bash completion for tavorindle

_tavorindle()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" arguments=0 i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -*) ;;
            *) [[ -z $command ]] && command=${COMP_WORDS[i]} || arguments=$((arguments + 1)) ;;
        esac
    done

    case $command in
        "")
            COMPREPLY=($(compgen -W "list print copy paste pin unpin delete clear add
                                     --toggle --quit --help --version" -- "$cur")) ;;
        list)
            case $prev in
                -f|--filter) COMPREPLY=($(compgen -W "all code links text pinned" -- "$cur")); return ;;
                -s|--search) return ;;
            esac
            COMPREPLY=($(compgen -W "--filter --search --json --picker --null --help" -- "$cur")) ;;
        print|copy|paste|pin|unpin|delete)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--help" -- "$cur"))
            elif ((arguments == 0)); then
                # The numbers of the running copy's items; nothing when none runs.
                COMPREPLY=($(compgen -W "$(tavorindle list --picker 2>/dev/null | cut -d: -f1)" -- "$cur"))
            fi ;;
        *)
            COMPREPLY=($(compgen -W "--help" -- "$cur")) ;;
    esac
}
complete -F _tavorindle tavorindle
