# Bash completion for ormid-cli and ormid-unitsim.
#
# Commands, options, option values and argument names are read from the
# programs' own --help when a completion is asked for, so a command that a
# newer program brings completes without an edit here. Image arguments
# complete *.txi files, WAV arguments *.wav files, --port the ports that
# "ormid-cli ports" lists (local ones and the remembered network ports).
# Flags such as write's and verify's --dry-run and --json come from the same
# help, and a flag takes no value, so the image completes after it.

# Prints one line per entry of a help section ("Subcommands", "Options",
# "Positionals", "Faults"): the name(s), then "=" and the value's type when
# the entry takes a value.
_ormid_help_entries()
{
    local section=$1
    shift
    "$@" --help 2>/dev/null | awk -v want="$section" '
        /^[^ ].*:$/ || /^[^ ].*\):$/ {
            head = $0; sub(/[ (:].*$/, "", head); inside = (head == want); next }
        /^[^ ]/ { inside = 0; next }
        inside && /^  [^ ]/ {
            line = $0; sub(/^  /, "", line)
            n = split(line, part, /  +/)
            col = part[1]
            name = col; sub(/ .*$/, "", name)
            type = ""
            if (index(col, " ") > 0) { type = col; sub(/^[^ ]+ /, "", type) }
            print name (type == "" ? "" : "=" type)
        }'
}

# Completes file names, only those ending in .EXT (any case) when an
# extension is given; folders always, to walk into.
_ormid_files()
{
    local ext=$1 cur=$2 f
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    for f in $(compgen -f -- "$cur"); do
        if [[ -d $f || -z $ext || ${f,,} == *."$ext" ]]; then
            COMPREPLY+=("$f")
        fi
    done
}

# Completes the value of an option or argument from its name and type.
_ormid_value()
{
    local prog=$1 name=$2 type=$3 cur=$4
    local lname=${name,,}
    local IFS=$'\n'
    case $type in
        *\{*\}*)
            local choices=${type#*\{}
            choices=${choices%%\}*}
            COMPREPLY=($(IFS=, compgen -W "$choices" -- "$cur"))
            return ;;
    esac
    case $lname in
        --port|port)
            local cli=ormid-cli
            [[ $prog == */* ]] && cli=${prog%/*}/ormid-cli
            # Remembered network ports are listed with a mark to leave out;
            # their addresses hold colons, which bash splits words at.
            COMPREPLY=($(compgen -W "$("$cli" ports 2>/dev/null | sed 's/ (network)$//')" -- "$cur"))
            declare -F __ltrim_colon_completions >/dev/null && __ltrim_colon_completions "$cur" ;;
        image|--image) _ormid_files txi "$cur" ;;
        wav) _ormid_files wav "$cur" ;;
        slot) COMPREPLY=($(compgen -W "$(seq 1 8)" -- "$cur")) ;;
        --fault)
            COMPREPLY=($(compgen -W "$(_ormid_help_entries Faults "$prog" | sed 's/=.*//')" -- "$cur")) ;;
        --flash|--log|--link|--grab) _ormid_files "" "$cur" ;;
        *)
            # A file of an unknown kind, or a number: files are the safer offer.
            [[ $type == FILE* || $type == PATH* || $type == TEXT* ]] && _ormid_files "" "$cur" ;;
    esac
}

# Completes one program or subcommand whose help is "$@" --help; words are
# the words after it on the command line, the last one being completed.
_ormid_complete_level()
{
    local -a helpcmd=("${@:1:$#-1}")
    local nwords=${!#}
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prog=${helpcmd[0]}
    local -a options positionals
    local IFS=$'\n'
    options=($(_ormid_help_entries Options "${helpcmd[@]}"))
    positionals=($(_ormid_help_entries Positionals "${helpcmd[@]}"))

    # Walk the words before the cursor: option values are skipped, the
    # rest are positional arguments.
    local i word entry names type pending="" pendtype="" argc=0
    for ((i = nwords; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $pending ]]; then
            pending=""
            continue
        fi
        if [[ $word == -* && $word != *=* ]]; then
            for entry in "${options[@]}"; do
                names=${entry%%=*}
                if [[ $entry == *=* && ",$names," == *",$word,"* ]]; then
                    pending=$word
                fi
            done
        elif [[ $word != -* ]]; then
            ((argc++))
        fi
    done

    # The value of the option before the cursor.
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    if ((COMP_CWORD - 1 >= nwords)) && [[ $prev == -* ]]; then
        for entry in "${options[@]}"; do
            names=${entry%%=*}
            if [[ $entry == *=* && ",$names," == *",$prev,"* ]]; then
                local long=${names##*,}
                _ormid_value "$prog" "$long" "${entry#*=}" "$cur"
                return
            fi
        done
    fi

    if [[ $cur == -* ]]; then
        local -a all=()
        for entry in "${options[@]}"; do
            names=${entry%%=*}
            all+=(${names//,/$'\n'})
        done
        COMPREPLY=($(compgen -W "${all[*]}" -- "$cur"))
        return
    fi
    if ((argc < ${#positionals[@]})); then
        entry=${positionals[argc]}
        _ormid_value "$prog" "${entry%%=*}" "${entry#*=}" "$cur"
    fi
}

_ormid_cli()
{
    COMPREPLY=()
    local prog=${COMP_WORDS[0]}
    local IFS=$'\n'
    local -a commands
    commands=($(_ormid_help_entries Subcommands "$prog" | sed 's/=.*//'))
    # The command is the first word that names one; options of the program
    # itself may stand before it.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        local word=${COMP_WORDS[i]}
        local c
        for c in "${commands[@]}"; do
            if [[ $word == "$c" ]]; then
                _ormid_complete_level "$prog" "$c" $((i + 1))
                return
            fi
        done
    done
    local cur=${COMP_WORDS[COMP_CWORD]}
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_ormid_help_entries Options "$prog" | sed 's/=.*//' | tr ',' '\n')" -- "$cur"))
    else
        COMPREPLY=($(compgen -W "${commands[*]}" -- "$cur"))
    fi
}

_ormid_unitsim()
{
    COMPREPLY=()
    _ormid_complete_level "${COMP_WORDS[0]}" 1
}

complete -F _ormid_cli ormid-cli
complete -F _ormid_unitsim ormid-unitsim
