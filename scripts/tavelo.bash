# bash completion of tavelo: commands, options and, after -c/--comp, the
# compositions of the project on the line. The program itself answers
# (`tavelo _complete WORD...`), so new commands and options complete
# without changes here.
_tavelo() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local IFS=$'\n'
  local -a answer
  answer=($("${COMP_WORDS[0]}" _complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null)) || return 0
  COMPREPLY=()
  case ${answer[0]} in
    files)
      compopt -o filenames 2>/dev/null
      [[ $cur == "=" ]] && cur=""
      COMPREPLY=($(compgen -f -- "$cur"))
      ;;
    words)
      local w
      for w in "${answer[@]:1}"; do COMPREPLY+=("$(printf '%q' "$w")"); done
      ;;
  esac
  return 0
}
complete -F _tavelo tavelo
