# fish completion for veldran-cli: its commands, each command's options, and file names.

set -l commands replace find batch env undo
complete -c veldran-cli -f
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -a replace -d 'rewrite the files, log the changes'
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -a find -d 'list the files that contain a text'
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -a batch -d 'write the paths into the batch data file'
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -a env -d 'show what the environment table gives'
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -a undo -d 'put back the files of the last replace'
complete -c veldran-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'show the version'
complete -c veldran-cli -l help -d 'show this help'

complete -c veldran-cli -n "__fish_seen_subcommand_from replace find batch" -F
complete -c veldran-cli -n "__fish_seen_subcommand_from replace find" -s f -l find -r -d 'the text to find'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -s r -l replace -r -d 'the replacement text'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l no-log -d 'write no change log'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l log-name -r -d 'base name of the change log'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l delete-log -d 'delete the change log first'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l batch-data -d 'append the path of each changed file to the batch data file'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace batch" -l batch-name -r -d 'base name of the batch data file'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace batch" -l delete-batch -d 'delete the batch data file first'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l jobs -r -d 'files rewritten at once'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l dry-run -d 'change nothing; print a unified diff of what would change'
complete -c veldran-cli -n "__fish_seen_subcommand_from replace" -l no-undo -d 'keep no undo journal of this replace'
