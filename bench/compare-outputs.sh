#!/usr/bin/env bash
# Checks that two builds of qx6export write the same bytes: every sample
# configuration, the quick export and a set of configurations that reach the
# other paths of row assembly (fixed width with padding and cuts, stripped
# and unquoted fields, custom delimiters, summaries grouped by date and by
# text, a date range), run by each build over one generated job database,
# in two locales; and the database each build makes of one CSV import.
# Exits 1 and names the first difference when any output differs.
# Usage: compare-outputs.sh BASE_BUILD_DIR NEW_BUILD_DIR [COUNT]
# (COUNT jobs, 100000 unless given).
set -euo pipefail
base="$(cd "${1:?usage: compare-outputs.sh BASE_BUILD_DIR NEW_BUILD_DIR [COUNT]}" && pwd)"
new="$(cd "${2:?usage: compare-outputs.sh BASE_BUILD_DIR NEW_BUILD_DIR [COUNT]}" && pwd)"
count="${3:-100000}"
source="$(cd "$(dirname "$0")/.." && pwd)"

for build in "$base" "$new"; do
  [ -x "$build/product/bin/qx6export" ] || { echo "compare-outputs: $build/product/bin/qx6export is not built" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "compare-outputs: the sqlite3 shell is missing" >&2; exit 1; }

world="$new/compare-outputs"
rm -rf "$world"
mkdir -p "$world"
db="$world/jobs.db"
"$new/product/bin/qx6export" --db "$db" jobs sample "$count" --seed 6 >/dev/null

# One configuration file: NAME, the format options, then the columns.
config() {
  local file="$1" name="$2" options="$3" columns="$4"
  {
    printf '<?xml version="1.0"?>\r\n<root>\r\n<Name>%s</Name>\r\n<Version>4</Version>\r\n' "$name"
    printf '<OutputFile>@OUTPUT@/%s.out</OutputFile>\r\n' "$name"
    printf '%s' "$options"
    printf '%s' "$columns"
    printf '</root>\r\n'
  } >"$file"
}

# Index, width, right justify, pad character, action.
column() {
  printf '<Column>\r\n<Index>%s</Index>\r\n<Width>%s</Width>\r\n<RightJustify>%s</RightJustify>\r\n' "$1" "$2" "$3"
  printf '<PadChar>%s</PadChar>\r\n<Action>%s</Action>\r\n' "$4" "$5"
  [ -n "${6:-}" ] && printf '<CustomName>%s</CustomName>\r\n' "$6"
  printf '</Column>\r\n'
}

options() {  # output type, delimiter, begin, trail, row delimiter, custom, quotes, names, date format, export type, strip, auto strip, decimals
  printf '<OutputType>%s</OutputType>\r\n<FieldDelimiter>%s</FieldDelimiter>\r\n' "$1" "$2"
  printf '<BeginningDelimiter>%s</BeginningDelimiter>\r\n<TrailingDelimiter>%s</TrailingDelimiter>\r\n' "$3" "$4"
  printf '<RowDelimiter>%s</RowDelimiter>\r\n<CustomRowDelimiter>%s</CustomRowDelimiter>\r\n' "$5" "$6"
  printf '<StringsInQuotes>%s</StringsInQuotes>\r\n<ColumnNames>%s</ColumnNames>\r\n' "$7" "$8"
  printf '<AppendJobs>False</AppendJobs>\r\n<DateFormat>%s</DateFormat>\r\n<ExportType>%s</ExportType>\r\n' "$9" "${10}"
  printf '<StripChars>%s</StripChars>\r\n<AutoStrip>%s</AutoStrip>\r\n' "${11}" "${12}"
  printf '<AppendDateTime>False</AppendDateTime>\r\n<DecimalPlaces>%s</DecimalPlaces>\r\n' "${13}"
}

configs="$world/configs"
mkdir -p "$configs"
cp "$source"/samples/*.cfg "$configs/"
every=""
fixed=""
for i in $(seq 1 45); do
  every+="$(column "$i" -1 False '' 0)"
  # Widths from 0 to 14: most values are cut, some padded left or right.
  fixed+="$(column "$i" $((i % 15)) $([ $((i % 2)) -eq 0 ] && echo True || echo False) "$([ $((i % 3)) -eq 0 ] && echo '*' || echo '')" 0)"
done
config "$configs/every column.cfg" "every column" \
  "$(options 0 , False False 0 '' True True 'yyyy-mm-dd hh:nn:ss' 0 '' True 2)" "$every"
config "$configs/fixed every column.cfg" "fixed every column" \
  "$(options 1 , False False 2 '' True True 'dd/mm/yy h:n AM/PM' 0 '' True 3)" "$fixed"
config "$configs/stripped.cfg" "stripped" \
  "$(options 0 '; ' True True 4 '|~' False True 'dddd d mmmm yyyy' 0 'ae1' True 0)" \
  "$every$(column -1 -1 False '' 0 'Fixed; text')"
config "$configs/tabbed.cfg" "tabbed" \
  "$(options 0 '<TAB>' True False 1 '' True False 'mmm d yyyy hh:nn' 0 '' False 4)" "$every"
config "$configs/by day.cfg" "by day" \
  "$(options 0 , False False 0 '' True True 'yyyy-mm-dd' 1 '' True 2)" \
  "$(column 12 -1 False '' 2)$(column 6 -1 False '' 0)$(column 23 -1 False '' 3)$(column 34 -1 False '' 3)$(column 28 -1 False '' 0)$(column 10 -1 False '' 0)"
config "$configs/fixed summary.cfg" "fixed summary" \
  "$(options 1 , False False 0 '' True True 'mmm yyyy' 1 '' True 1)" \
  "$(column 2 8 False '.' 1)$(column 21 6 True '' 1)$(column 25 9 True '0' 3)$(column 35 10 True '' 3)$(column 3 12 False '' 0)"

# Runs every configuration with one build in a world of its own; the files
# land in OUT, named by the configuration.
run_all() {
  local build="$1" out="$2" locale="$3"
  local home="$out/home"
  mkdir -p "$home" "$out/files"
  local folder="$home/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport"
  mkdir -p "$folder"
  for cfg in "$configs"/*.cfg; do
    sed "s#@OUTPUT@#$out/files#" "$cfg" >"$folder/$(basename "$cfg")"
  done
  (
    export QX6_REGISTRY_DIR="$out/registry" HOME="$home" XDG_CONFIG_HOME="$home/.config"
    export XDG_DATA_HOME="$home/.local/share" QX6_ANSI_CODEPAGE=1252
    local qx6export="$out/qx6export"
    printf '#!/bin/sh\nLC_ALL=%s LANG=%s exec "%s" "$@"\n' "$locale" "$locale" "$build/product/bin/qx6export" >"$qx6export"
    chmod +x "$qx6export"
    "$qx6export" register >/dev/null
    for cfg in "$configs"/*.cfg; do
      local name
      name="$(sed -n 's#.*<Name>\(.*\)</Name>.*#\1#p' "$cfg" | tr -d '\r')"
      # What it says on standard error, with this world's folder taken out.
      "$qx6export" --db "$db" run "$name" --silent 2>&1 >/dev/null | sed "s#$out#OUT#g" >"$out/files/$name.stderr" ||
        echo "failed" >>"$out/files/$name.stderr"
    done
    "$qx6export" --db "$db" run "every column" --silent --from 2024-02-03 --to 2024-05-06 \
      >/dev/null 2>&1 && cp "$out/files/every column.out" "$out/files/range.out"
    "$qx6export" --db "$db" quick --output "$out/files/quick.out" --silent >/dev/null 2>&1 ||
      echo "quick failed" >"$out/files/quick.stderr"
  )
}

status=0
for locale in C de_DE.UTF-8; do
  run_all "$base" "$world/base-$locale" "$locale"
  run_all "$new" "$world/new-$locale" "$locale"
  files=$(find "$world/base-$locale/files" -type f | wc -l)
  for cfg in "$configs"/*.cfg; do
    name="$(sed -n 's#.*<Name>\(.*\)</Name>.*#\1#p' "$cfg" | tr -d '\r')"
    output="$(sed -n 's#.*<OutputFile>@OUTPUT@/\(.*\)</OutputFile>.*#\1#p' "$cfg" | tr -d '\r')"
    if [ ! -s "$world/new-$locale/files/$output" ]; then
      echo "compare-outputs: $locale: \"$name\" wrote nothing: $(cat "$world/new-$locale/files/$name.stderr")" >&2
      status=1
    fi
  done
  if diff -r -q "$world/base-$locale/files" "$world/new-$locale/files" >"$world/diff.txt"; then
    bytes=$(cat "$world/new-$locale/files"/*.out | wc -c)
    printf 'compare-outputs: %s, %d files (%d bytes of exports) identical\n' "$locale" "$files" "$bytes"
  else
    echo "compare-outputs: $locale: the outputs differ:" >&2
    cat "$world/diff.txt" >&2
    status=1
  fi
done

# The same CSV file imported by each build: the same jobs in the same form.
sqlite3 -csv -header "$db" 'SELECT * FROM jobs ORDER BY job_id' >"$world/jobs.csv"
for who in base new; do
  build="$base"
  [ "$who" = new ] && build="$new"
  (
    export QX6_REGISTRY_DIR="$world/$who-import/registry" HOME="$world/$who-import"
    "$build/product/bin/qx6export" --db "$world/$who-import.db" jobs import "$world/jobs.csv" >/dev/null
  )
  sqlite3 "$world/$who-import.db" .dump >"$world/$who-import.sql"
done
if cmp -s "$world/base-import.sql" "$world/new-import.sql"; then
  echo "compare-outputs: the imports of $count jobs are identical"
else
  echo "compare-outputs: the imported databases differ" >&2
  status=1
fi
[ "$status" -eq 0 ] && rm -rf "$world"
exit "$status"
