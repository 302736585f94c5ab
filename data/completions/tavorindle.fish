# fish completion for tavorindle

set -l commands list print copy paste pin unpin delete clear add
set -l item_commands print copy paste pin unpin delete

complete -c tavorindle -f
complete -c tavorindle -s h -l help -d 'Show the help'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -s v -l version -d 'Show the version'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -l toggle -d 'Show or hide the panel'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -l quit -d 'End the running Tavorindle'

complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a list -d 'List the history, pinned items first'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a print -d "Write an item's text to standard output"
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a copy -d "Put an item's text on the clipboard"
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a paste -d 'Paste an item into the active window'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a pin -d 'Pin an item'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a unpin -d 'Unpin an item'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a delete -d 'Delete an item'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a clear -d 'Delete every item that is not pinned'
complete -c tavorindle -n "not __fish_seen_subcommand_from $commands" -a add -d 'Record standard input as a new copy'

complete -c tavorindle -n "__fish_seen_subcommand_from list" -s f -l filter -x -a 'all code links text pinned' -d 'Only items of one category'
complete -c tavorindle -n "__fish_seen_subcommand_from list" -s s -l search -x -d 'Only items that contain a text'
complete -c tavorindle -n "__fish_seen_subcommand_from list" -l json -d 'One JSON object a line'
complete -c tavorindle -n "__fish_seen_subcommand_from list" -l picker -d 'One line an item, for a launcher'
complete -c tavorindle -n "__fish_seen_subcommand_from list" -s 0 -l null -d 'End each line with NUL'

# The running copy's items: the number, with the text as its description.
complete -c tavorindle -n "__fish_seen_subcommand_from $item_commands" -a '(tavorindle list --picker 2>/dev/null | string replace ": " \t)'
