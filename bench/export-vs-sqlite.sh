#!/usr/bin/env bash
# Times `qx6export run` of a details export over all 45 host columns (quoted,
# comma, CR LF, title row) against the SQLite shell writing the same rows in
# the same order as CSV, on generated job databases, and prints the ratio and
# the peak memory of both. Usage: export-vs-sqlite.sh BUILD_DIR [COUNT...]
# (counts default to 1000000 and 3000000).
set -euo pipefail
build="$(cd "${1:?usage: export-vs-sqlite.sh BUILD_DIR [COUNT...]}" && pwd)"
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 3000000)

qx6export="$build/product/bin/qx6export"
[ -x "$qx6export" ] || { echo "export-vs-sqlite: $qx6export is not built" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "export-vs-sqlite: the sqlite3 shell is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "export-vs-sqlite: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

world="$build/bench-export"
rm -rf "$world"
export QX6_REGISTRY_DIR="$world/registry" HOME="$world/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
configs="$HOME/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport"
out="$world/out"
mkdir -p "$configs" "$out"
"$qx6export" register >/dev/null

# The details configuration: every host column in host order.
{
  printf '<?xml version="1.0"?>\r\n<root>\r\n<Name>Every column</Name>\r\n<Version>4</Version>\r\n'
  printf '<OutputFile>%s/qx6export.csv</OutputFile>\r\n<OutputType>0</OutputType>\r\n' "$out"
  printf '<FieldDelimiter>,</FieldDelimiter>\r\n<BeginningDelimiter>False</BeginningDelimiter>\r\n'
  printf '<TrailingDelimiter>False</TrailingDelimiter>\r\n<RowDelimiter>0</RowDelimiter>\r\n'
  printf '<CustomRowDelimiter></CustomRowDelimiter>\r\n<StringsInQuotes>True</StringsInQuotes>\r\n'
  printf '<ColumnNames>True</ColumnNames>\r\n<AppendJobs>False</AppendJobs>\r\n'
  printf '<DateFormat>yyyy-mm-dd hh:nn:ss</DateFormat>\r\n<ExportType>0</ExportType>\r\n'
  printf '<StripChars></StripChars>\r\n<AutoStrip>True</AutoStrip>\r\n<AppendDateTime>False</AppendDateTime>\r\n'
  printf '<DecimalPlaces>2</DecimalPlaces>\r\n'
  for i in $(seq 1 45); do
    printf '<Column>\r\n<Index>%d</Index>\r\n<Width>-1</Width>\r\n<RightJustify>False</RightJustify>\r\n' "$i"
    printf '<PadChar></PadChar>\r\n<Action>0</Action>\r\n</Column>\r\n'
  done
} >"$configs/every column.cfg"

# Wall seconds and peak resident kilobytes of a command, on one line.
measure() {
  local stats="$world/time.txt"
  /usr/bin/time -o "$stats" -f '%e %M' "$@" >/dev/null
  cat "$stats"
}

printf '%-9s %12s %12s %7s %14s %14s %10s\n' jobs "qx6export s" "sqlite3 s" ratio "qx6export MB" "sqlite3 MB" "file MB"
for count in "${counts[@]}"; do
  db="$world/jobs-$count.db"
  "$qx6export" --db "$db" jobs sample "$count" >/dev/null
  sync
  # One untimed pass of each so that both read the database from the page cache.
  sqlite3 "$db" 'SELECT count(*) FROM jobs' >/dev/null
  read -r ours ourKb < <(measure "$qx6export" --db "$db" run "Every column" --silent)
  read -r theirs theirKb < <(measure sh -c "sqlite3 -csv -header '$db' 'SELECT * FROM jobs ORDER BY job_id' >'$out/sqlite3.csv'")
  rows=$(($(wc -l <"$out/qx6export.csv") - 1))
  theirRows=$(($(wc -l <"$out/sqlite3.csv") - 1))
  if [ "$rows" -ne "$count" ] || [ "$theirRows" -ne "$count" ]; then
    echo "export-vs-sqlite: expected $count rows, qx6export wrote $rows and sqlite3 $theirRows" >&2
    exit 1
  fi
  size=$(($(stat -c %s "$out/qx6export.csv") / 1000000))
  awk -v n="$count" -v a="$ours" -v b="$theirs" -v ka="$ourKb" -v kb="$theirKb" -v s="$size" \
    'BEGIN { printf "%-9d %12.2f %12.2f %7.2f %14.1f %14.1f %10d\n", n, a, b, a / b, ka / 1024, kb / 1024, s }'
  rm -f "$db" "$out/qx6export.csv" "$out/sqlite3.csv"
done
echo "ratio = qx6export time / sqlite3 time (target: at most 0.5)"
