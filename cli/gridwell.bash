# Bash completion for gridwell: commands, each command's options, file names, and the sheet
# names of the workbook already on the line after --sheet.
#
# The options come from `gridwell COMMAND --help` itself, so that a new option completes as
# soon as the tool describes it. An option followed by an upper-case word there (`-o PAGE`,
# `--sheet NAME|N`) takes a value.

# Prints the options of one command, one a line; every command takes --help.
_gridwell_options() {
  local tool="$1" cmd="$2"
  {
    "$tool" "$cmd" --help 2>/dev/null | grep -oE '(^|[][ ,|])--?[[:alpha:]][[:alnum:]-]*' |
      sed -E 's/^[][ ,|]//'
    echo --help
  } | sort -u
}

# True when OPTION of CMD takes a value, by the way `--help` shows it.
_gridwell_takes_value() {
  local tool="$1" cmd="$2" option="$3"
  "$tool" "$cmd" --help 2>/dev/null |
    grep -qE "(^|[][ ,|])${option} [A-Z]"
}

_gridwell() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev="" tool="${COMP_WORDS[0]}"
  ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
  [[ "$tool" == "~/"* ]] && tool="$HOME/${tool#\~/}"
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "convert sheets cells --help" -- "$cur")
    return 0
  fi
  local cmd="${COMP_WORDS[1]}"

  # Walk the words before the cursor: the workbook is the first one that is neither an
  # option nor an option's value; a password on the line opens an encrypted workbook.
  local i word book="" password="" has_password=0
  for ((i = 2; i < COMP_CWORD; i++)); do
    word="${COMP_WORDS[i]}"
    if [[ "$word" == -?* ]]; then
      if [[ "$word" == --password ]]; then
        password="${COMP_WORDS[i + 1]}"
        has_password=1
      fi
      if _gridwell_takes_value "$tool" "$cmd" "$word"; then ((i++)); fi
    elif [[ -z "$book" ]]; then
      book="$word"
    fi
  done
  [[ "$book" == "~/"* ]] && book="$HOME/${book#\~/}"

  case "$prev" in
    --sheet)
      [[ -n "$book" ]] || return 0
      local -a names args=(sheets "$book")
      ((has_password)) && args+=(--password "$password")
      mapfile -t names < <(timeout 10 "$tool" "${args[@]}" 2>/dev/null)
      local name unquoted="${cur//\\/}"
      unquoted="${unquoted#[\'\"]}"
      for name in "${names[@]}"; do
        [[ "$name" == "$unquoted"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
      done
      return 0
      ;;
    -o | --output | --background-image | --table-image)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0
      ;;
  esac
  if [[ "$prev" == -?* ]] && _gridwell_takes_value "$tool" "$cmd" "$prev"; then
    return 0  # a password, a range, a number or a colour: nothing to offer
  fi

  if [[ "$cur" == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_gridwell_options "$tool" "$cmd")" -- "$cur")
  elif [[ -z "$book" ]]; then
    # Workbooks, and folders to reach them.
    compopt -o filenames 2>/dev/null
    local f
    while IFS= read -r f; do
      [[ -d "$f" || "${f,,}" == *.xls || "${f,,}" == *.xlsx ]] && COMPREPLY+=("$f")
    done < <(compgen -f -- "$cur")
  fi
  return 0
}
complete -F _gridwell gridwell
