# bash completion for quillmark; needs only COMP_WORDS and COMP_CWORD.
_quillmark() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local option=${COMP_WORDS[COMP_CWORD - 1]}
  # bash splits "--input=path" into the option, "=" and the path.
  if [[ $cur == = ]]; then
    cur=
  elif [[ $option == = ]]; then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  case $option in
    -i | --input | -o | --output)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      # A file named "-" is reached as ./-: "-" alone is a standard stream.
      local i
      for i in "${!COMPREPLY[@]}"; do
        [[ ${COMPREPLY[i]} == - ]] && COMPREPLY[i]=./-
      done
      return
      ;;
    --pp | --tenant_id | --salt)
      COMPREPLY=()
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    # An option already on the line, in either of its forms, is not offered
    # again.
    local forms word form offered=()
    for forms in "-h --help" "-i --input" "-o --output" --pp --tenant_id \
      --salt --version; do
      for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        for form in $forms; do
          [[ $word == "$form" ]] && continue 3
        done
      done
      offered+=($forms)
    done
    mapfile -t COMPREPLY < <(compgen -W "${offered[*]}" -- "$cur")
  fi
}
complete -F _quillmark quillmark
