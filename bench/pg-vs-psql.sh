#!/usr/bin/env bash
# Times `qx6export run` of a details export over all 45 host columns from a
# job database on a PostgreSQL server against psql's own \copy of the same
# SELECT ... ORDER BY to a CSV file, on the same private server in one run,
# and prints the ratio and the peak memory of both (/usr/bin/time -v).
# Usage: pg-vs-psql.sh BUILD_DIR [COUNT...] (counts default to 1000000 and
# 3000000). The server is initdb'd into a temporary folder, listens only on a
# Unix socket there (run as the user postgres when the script runs as root)
# and is stopped at the end. Each count runs ROUNDS (default 5) rounds of one
# run each, the two taking turns at going first; the median ratio sums up.
set -euo pipefail
build="$(cd "${1:?usage: pg-vs-psql.sh BUILD_DIR [COUNT...]}" && pwd)"
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 3000000)
rounds="${ROUNDS:-5}"

qx6export="$build/product/bin/qx6export"
[ -x "$qx6export" ] || { echo "pg-vs-psql: $qx6export is not built" >&2; exit 1; }
command -v psql >/dev/null || { echo "pg-vs-psql: psql is missing (Debian package postgresql-client)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "pg-vs-psql: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }
bin="$(pg_config --bindir 2>/dev/null || true)"
[ -x "$bin/initdb" ] || bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | tail -1)"
[ -x "$bin/initdb" ] || { echo "pg-vs-psql: no initdb (Debian package postgresql)" >&2; exit 1; }

world="$build/bench-pg"
rm -rf "$world"
mkdir -p "$world"
server="$(mktemp -d /tmp/qx6pg-bench-XXXXXX)"
as=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres "$server"
  as=(runuser -u postgres --)
fi
chmod 755 "$server"
"${as[@]}" "$bin/initdb" -D "$server/data" -A trust -U qx6 -E UTF8 --locale=C >"$world/initdb.log"
"${as[@]}" "$bin/pg_ctl" -D "$server/data" -l "$server/server.log" -w \
  -o "-c listen_addresses='' -k $server -p 5432" start >/dev/null
trap '"${as[@]}" "$bin/pg_ctl" -D "$server/data" -m fast -w stop >/dev/null; rm -rf "$server"' EXIT
location="host=$server port=5432 user=qx6 dbname=jobs"

. "$(dirname "$0")/world.sh"
enter_world "$world"

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
  /usr/bin/time -v -o "$stats" "$@" >/dev/null 2>>"$world/runs.log"
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 } END { printf "%.2f %d\n", s, kb }' "$stats"
}

# One timed run of each; `select` is the statement of the count at hand.
ours() { read -r ourTime ourKb < <(measure "$qx6export" --db "$location" run "Every column" --silent); }
theirs() { read -r theirTime theirKb < <(measure psql -X "$location" -qc "\\copy ($select) TO '$out/psql.csv' CSV HEADER"); }

printf '%-9s %5s %12s %10s %7s %14s %10s %10s\n' jobs round "qx6export s" "psql s" ratio "qx6export MB" "psql MB" "file MB"
for count in "${counts[@]}"; do
  psql -X "host=$server port=5432 user=qx6 dbname=postgres" -qc "SET client_min_messages = warning" \
    -c "DROP DATABASE IF EXISTS jobs" -c "CREATE DATABASE jobs" >/dev/null
  "$qx6export" --db "$location" jobs sample "$count" >/dev/null
  # The new table settles before the timing: hint bits set, its pages and
  # WAL on disk, so that no write-back of the load runs beside either.
  psql -X "$location" -qc "VACUUM ANALYZE jobs" -c "CHECKPOINT" >/dev/null
  sync
  # The same statement qx6export sends for a run without sort columns.
  select="SELECT $(psql -X "$location" -Atc "SELECT string_agg(quote_ident(attname), ', ' ORDER BY attnum) FROM pg_attribute
    WHERE attrelid = 'jobs'::regclass AND attnum > 0 AND NOT attisdropped") FROM jobs ORDER BY job_id"
  # One untimed pass so that both read the table from the server's cache.
  psql -X "$location" -qc "\\copy ($select) TO '/dev/null' CSV" >/dev/null
  ratios=()
  for round in $(seq 1 "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then ours; theirs; else theirs; ours; fi
    rows=$(($(wc -l <"$out/qx6export.csv") - 1))
    theirRows=$(($(wc -l <"$out/psql.csv") - 1))
    if [ "$rows" -ne "$count" ] || [ "$theirRows" -ne "$count" ]; then
      echo "pg-vs-psql: expected $count rows, qx6export wrote $rows and psql $theirRows" >&2
      exit 1
    fi
    size=$(($(stat -c %s "$out/qx6export.csv") / 1000000))
    ratio=$(awk -v a="$ourTime" -v b="$theirTime" 'BEGIN { printf "%.2f", a / b }')
    ratios+=("$ratio")
    awk -v n="$count" -v r="$round" -v a="$ourTime" -v b="$theirTime" -v q="$ratio" -v ka="$ourKb" -v kb="$theirKb" \
      -v s="$size" 'BEGIN { printf "%-9d %5d %12.2f %10.2f %7s %14.1f %10.1f %10d\n", n, r, a, b, q, ka / 1024, kb / 1024, s }'
    rm -f "$out/qx6export.csv" "$out/psql.csv"
  done
  median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
  echo "$count jobs: median ratio $median over $rounds rounds"
done
echo "ratio = qx6export time / psql time (target: at most 1); peak memory of qx6export: target at most 100 MB"
