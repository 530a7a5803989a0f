# bash completion for quillmark
_quillmark() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -i | --input | -o | --output)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --pp | --tenant_id | --salt)
      COMPREPLY=()
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "-h --help -i --input -o --output \
--pp --tenant_id --salt" -- "$cur")
  fi
}
complete -F _quillmark quillmark
