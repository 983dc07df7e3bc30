#!/usr/bin/env bash
# The bash completion of qx6export, qx6regsvr and qx6rc, against a stand-in
# qx6export that prints fixed listings and records how it was called.
# usage: completion-test.sh COMPLETION_FILE
set -u
completion="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC1090
source "$completion"

fake="$work/qx6export"
cat >"$fake" <<FAKE
#!/usr/bin/env bash
printf '%s\n' "\$*" >>"$work/calls"
case "\${@: -2}" in
  "schedule list") printf 'nightly\tAll jobs\t/db/a.db\nweekly run\tDaily printer report\t/db/a.db\n' ;;
esac
[ "\${@: -1}" = list ] && [ "\${@: -2:1}" != schedule ] &&
  printf '0\t<Default>\n1\tAll jobs\n2\tDaily printer report\n3\tDaily totals\n'
exit 0
FAKE
chmod +x "$fake"
mkdir -p "$work/files/sub dir"
touch "$work/files/jobs.csv" "$work/files/strings.rc" "$work/files/mark.dll" "$work/files/lib.so"

failures=0
# expect DESCRIPTION EXPECTED WORD...: completes the last WORD (the words as
# bash splits them) and compares the offers, one a line, sorted.
expect() {
  local what="$1" expected="$2"; shift 2
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  : >"$work/calls"
  case "${COMP_WORDS[0]}" in
    */qx6export) _qx6export ;;
    qx6regsvr) _qx6regsvr ;;
    qx6rc) _qx6rc ;;
  esac
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | sed '/^$/d')"
  expected="$(printf '%s\n' "$expected" | LC_ALL=C sort | sed '/^$/d')"
  if [ "$got" = "$expected" ]; then
    echo "ok: $what"
  else
    echo "FAILED: $what"; echo "  expected: ${expected//$'\n'/ | }"; echo "  got:      ${got//$'\n'/ | }"
    failures=$((failures + 1))
  fi
}
calls() { cat "$work/calls"; }

commands=$'columns\nlist\nrun\nedit\nquick\nsamples\njobs\nschedule\nregister\nunregister'
expect "commands" "$commands" "$fake" ""
expect "commands after a global option and its value" $'register\nrun' "$fake" --db /x.db r
expect "commands after --db=FILE" $'register\nrun' "$fake" --db = /x.db r
expect "global options" $'--db\n--decimals' "$fake" --d
expect "decimals" $'1\n10\n11\n12\n13\n14\n15' "$fake" --decimals 1
expect "options of run, with the global ones" $'--db\n--decimals\n--exporter\n--from\n--help\n--output\n--silent\n--to\n--version' "$fake" run --
expect "register --user" $'--user' "$fake" register --u
expect "schedule add's options" $'--at\n--db\n--decimals\n--exporter\n--help\n--replace\n--version' "$fake" schedule add n Nightly --
expect "jobs' commands" $'import\nimport-cups\nsample' "$fake" jobs ""
expect "import-cups' options" $'--page-log\n--page-log-format' "$fake" jobs import-cups --page
expect "schedule's commands" $'add\nlist\nremove\nrun' "$fake" schedule ""
expect "sample's options" $'--seed' "$fake" jobs sample 10 --s

expect "configuration names, escaped" $'All\\ jobs' "$fake" run A
expect "configuration names, in an open quote" $'Daily printer report\nDaily totals' "$fake" run '"Da'
expect "configuration names after a space typed escaped" $'Daily\\ printer\\ report' "$fake" run 'Daily\ p'
expect "configuration names for edit, shell characters escaped" $'\\<Default\\>\nAll\\ jobs\nDaily\\ printer\\ report\nDaily\\ totals' "$fake" edit ""
expect "the global options are passed on to list" $'All\\ jobs' "$fake" --exporter Other.Exporter run --db '~/j.db' A
[ "$(calls)" = "--exporter Other.Exporter --db $HOME/j.db list" ] && echo "ok: list called with the global options" ||
  { echo "FAILED: list called as: $(calls)"; failures=$((failures + 1)); }
expect "--db=FILE passed on to list" $'All\\ jobs' "$fake" --db = /x.db run A
[ "$(calls)" = "--db /x.db list" ] && echo "ok: --db=FILE passed on" ||
  { echo "FAILED: list called as: $(calls)"; failures=$((failures + 1)); }
expect "option values are no positional arguments" $'All\\ jobs' "$fake" run --from 2024-01-01 A
expect "--output's value is no positional argument" $'All\\ jobs' "$fake" run --output - A
expect "nothing after the configuration" "" "$fake" run 'All\ jobs' ""
expect "schedule add: no offer for the task name" "" "$fake" schedule add n
expect "schedule add: configuration names" $'All\\ jobs' "$fake" schedule add nightly A
expect "schedule run: task names" $'weekly\\ run' "$fake" schedule run w
expect "schedule remove: task names" $'nightly\nweekly\\ run' "$fake" --db /x.db schedule remove ""
expect "no task names for schedule list" "" "$fake" schedule list ""

cd "$work/files"
expect "jobs import: files" $'jobs.csv' "$fake" jobs import j
expect "--db: files" $'jobs.csv' "$fake" --db j
expect "qx6regsvr: libraries and folders" $'lib.so\nsub dir' qx6regsvr ""
expect "qx6regsvr: options" $'--help\n--user\n--version\n-s\n-u' qx6regsvr -u -
expect "qx6rc: scripts and folders" $'strings.rc\nsub dir' qx6rc ""
expect "qx6rc: the output module" $'mark.dll\nsub dir' qx6rc strings.rc -o ""

if [ "$failures" -ne 0 ]; then echo "$failures completion case(s) failed"; exit 1; fi
echo "all completion cases passed"
