#!/bin/sh
# Writes a help2man include file with a COMMANDS section that holds the
# --help of every command of PROGRAM, found from the program's own help
# (its "Subcommands:" list, followed down to commands of commands), so that
# the manual page cannot say anything the program does not.
# usage: command-help.sh PROGRAM OUTPUT
set -eu
program="$1"
output="$2"
name="$(basename "$program")"

# The names listed under the "Subcommands:" heading of a help text.
subcommands() {
  awk 'tolower($0) ~ /^subcommands:/ { inside = 1; next }
       inside && /^[^ ]/ { inside = 0 }
       inside && /^  [^ ]/ { print $1 }'
}

# Help text as roff that shows it as it stands.
as_roff() {
  sed -e 's/\\/\\e/g' -e 's/^\([.'"'"']\)/\\\&\1/' -e 's/-/\\-/g'
}

describe() {
  # $@: the command words after the program's name
  # CLI11 names the program by the path it was started with.
  help="$("$program" "$@" --help | sed "s|$program|$name|g")"
  echo ".SS \"$name $*\""
  echo ".nf"
  printf '%s\n' "$help" | as_roff
  echo ".fi"
  for sub in $(printf '%s\n' "$help" | subcommands); do
    describe "$@" "$sub"
  done
}

{
  echo "Written by command-help.sh from $name's own help; do not edit."
  top="$("$program" --help)"
  commands="$(printf '%s\n' "$top" | subcommands)"
  if [ -n "$commands" ]; then
    echo
    echo "[COMMANDS]"
    printf '%s\n' "Each command's own help (\\fB$name\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR)."
    for command in $commands; do
      describe "$command"
    done
  else
    # help2man wants a section in every include file.
    echo "[>DESCRIPTION]"
    printf '%s\n' ".\\\" $name has no commands."
  fi
} >"$output.tmp"
mv "$output.tmp" "$output"
