#!/usr/bin/env bash
# Times `qx6export run` against the SQLite shell writing the same rows in the
# same order as CSV, on generated job databases, and prints the ratio and
# the peak memory of both, for five kinds of export: details over all 45
# host columns in job order (quoted, comma, CR LF, title row; the figure the
# target is about), the same in fixed width, the same sorted by Department,
# a summary by Department (sorted) and a summary by day (in date order).
# Before timing, it checks that this build writes byte for byte what a base
# build writes (compare-outputs.sh) unless QX6_COMPARE=0.
# Usage: export-vs-sqlite.sh BUILD_DIR [COUNT...]
# (counts default to 1000000 and 3000000). QX6_BASE_BUILD names the base
# build folder; without it the base is built from QX6_BASE_COMMIT (default
# 6371f71, the commit before the per-value work) under BUILD_DIR.
set -euo pipefail
build="$(cd "${1:?usage: export-vs-sqlite.sh BUILD_DIR [COUNT...]}" && pwd)"
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 3000000)
here="$(cd "$(dirname "$0")" && pwd)"

qx6export="$build/product/bin/qx6export"
[ -x "$qx6export" ] || { echo "export-vs-sqlite: $qx6export is not built" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "export-vs-sqlite: the sqlite3 shell is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "export-vs-sqlite: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

if [ "${QX6_COMPARE:-1}" != 0 ]; then
  baseBuild="${QX6_BASE_BUILD:-}"
  if [ -z "$baseBuild" ]; then
    commit="${QX6_BASE_COMMIT:-6371f71}"
    baseSource="$build/bench-base-$commit"
    baseBuild="$baseSource/build"
    if [ ! -x "$baseBuild/product/bin/qx6export" ]; then
      echo "export-vs-sqlite: building the base $commit in $baseBuild" >&2
      rm -rf "$baseSource"
      mkdir -p "$baseSource"
      git -C "$here/.." archive "$commit" | tar -x -C "$baseSource"
      cmake -S "$baseSource" -B "$baseBuild" -DQX6_BENCHMARKS=OFF >/dev/null
      cmake --build "$baseBuild" -j2 --target qx6product >/dev/null
    fi
  fi
  "$here/compare-outputs.sh" "$baseBuild" "$build"
fi

world="$build/bench-export"
rm -rf "$world"
. "$here/world.sh"
enter_world "$world"

# A configuration NAME of OUTPUT_TYPE and EXPORT_TYPE with the columns given
# as "index:width:action" words.
config() {
  local name="$1" outputType="$2" exportType="$3"
  shift 3
  {
    printf '<?xml version="1.0"?>\r\n<root>\r\n<Name>%s</Name>\r\n<Version>4</Version>\r\n' "$name"
    printf '<OutputFile>%s/qx6export.out</OutputFile>\r\n<OutputType>%s</OutputType>\r\n' "$out" "$outputType"
    printf '<FieldDelimiter>,</FieldDelimiter>\r\n<BeginningDelimiter>False</BeginningDelimiter>\r\n'
    printf '<TrailingDelimiter>False</TrailingDelimiter>\r\n<RowDelimiter>0</RowDelimiter>\r\n'
    printf '<CustomRowDelimiter></CustomRowDelimiter>\r\n<StringsInQuotes>True</StringsInQuotes>\r\n'
    printf '<ColumnNames>True</ColumnNames>\r\n<AppendJobs>False</AppendJobs>\r\n'
    printf '<DateFormat>yyyy-mm-dd hh:nn:ss</DateFormat>\r\n<ExportType>%s</ExportType>\r\n' "$exportType"
    printf '<StripChars></StripChars>\r\n<AutoStrip>True</AutoStrip>\r\n<AppendDateTime>False</AppendDateTime>\r\n'
    printf '<DecimalPlaces>2</DecimalPlaces>\r\n'
    local column index width action
    for column in "$@"; do
      IFS=: read -r index width action <<<"$column"
      printf '<Column>\r\n<Index>%d</Index>\r\n<Width>%d</Width>\r\n<RightJustify>False</RightJustify>\r\n' "$index" "$width"
      printf '<PadChar></PadChar>\r\n<Action>%d</Action>\r\n</Column>\r\n' "$action"
    done
  } >"$configs/$name.cfg"
}

every=() fixed=() byDepartment=()
for i in $(seq 1 45); do
  every+=("$i:-1:0")
  fixed+=("$i:12:0")
  if [ "$i" -eq 4 ]; then byDepartment+=("$i:-1:1"); else byDepartment+=("$i:-1:0"); fi
done
config "Every column" 0 0 "${every[@]}"
config "Fixed width" 1 0 "${fixed[@]}"
config "Sorted by department" 0 0 "${byDepartment[@]}"
config "Summary by department" 0 1 4:-1:1 2:-1:0 25:-1:3 34:-1:3 6:-1:0
config "Summary by day" 0 1 12:-1:1 6:-1:0 23:-1:3 34:-1:3

# Each export with the SQLite shell's query of the same rows in the same order.
runs=("Every column|job_id" "Fixed width|job_id" "Sorted by department|department, job_id"
      "Summary by department|department, job_id" "Summary by day|date_time, job_id")

# Wall seconds and peak resident kilobytes of a command, on one line.
measure() {
  local stats="$world/time.txt"
  if ! /usr/bin/time -o "$stats" -f '%e %M' "$@" >/dev/null 2>"$world/stderr.txt"; then
    echo "export-vs-sqlite: $* failed: $(cat "$world/stderr.txt")" >&2
  fi
  cat "$stats"
}

printf '%-9s %-22s %12s %12s %7s %14s %14s %10s\n' jobs export "qx6export s" "sqlite3 s" ratio "qx6export MB" "sqlite3 MB" "file MB"
for count in "${counts[@]}"; do
  db="$world/jobs-$count.db"
  "$qx6export" --db "$db" jobs sample "$count" >/dev/null
  sync
  # One untimed pass of each so that both read the database from the page cache.
  sqlite3 "$db" 'SELECT count(*) FROM jobs' >/dev/null
  cat "$db" >/dev/null
  for run in "${runs[@]}"; do
    name="${run%%|*}"
    order="${run#*|}"
    read -r ours ourKb < <(measure "$qx6export" --db "$db" run "$name" --silent)
    read -r theirs theirKb < <(measure sh -c "sqlite3 -csv -header '$db' 'SELECT * FROM jobs ORDER BY $order' >'$out/sqlite3.csv'")
    theirRows=$(($(wc -l <"$out/sqlite3.csv") - 1))
    if [ "$name" = "Every column" ] || [ "$name" = "Sorted by department" ]; then
      rows=$(($(wc -l <"$out/qx6export.out") - 1))
      if [ "$rows" -ne "$count" ] || [ "$theirRows" -ne "$count" ]; then
        echo "export-vs-sqlite: expected $count rows, qx6export wrote $rows and sqlite3 $theirRows" >&2
        exit 1
      fi
    fi
    size=$(($(stat -c %s "$out/qx6export.out") / 1000000))
    awk -v n="$count" -v e="$name" -v a="$ours" -v b="$theirs" -v ka="$ourKb" -v kb="$theirKb" -v s="$size" \
      'BEGIN { printf "%-9d %-22s %12.2f %12.2f %7.2f %14.1f %14.1f %10d\n", n, e, a, b, a / b, ka / 1024, kb / 1024, s }'
    rm -f "$out/qx6export.out" "$out/sqlite3.csv"
  done
  rm -f "$db"
done
echo "ratio = qx6export time / sqlite3 time of the same rows in the same order (target for Every column: at most 0.30)"
