#!/usr/bin/env bash
# Times the two bulk loads of the job database, `qx6export jobs sample COUNT`
# and `qx6export jobs import` of a COUNT-row CSV file, each into a new
# database, with the qx6export of this build against the qx6export of an
# earlier commit (by default the last one whose bulk load ran without a
# journal on disk and without syncing), built here from that commit's
# sources; and `jobs import` against the SQLite shell's .import of the same
# file into the same table. Each load runs RUNS times in turn with the
# others; the best time counts. BASE_COMMIT "none" leaves the earlier
# commit out. Usage: bulk-load.sh BUILD_DIR [COUNT [BASE_COMMIT [RUNS]]]
set -euo pipefail
build="$(cd "${1:?usage: bulk-load.sh BUILD_DIR [COUNT [BASE_COMMIT [RUNS]]]}" && pwd)"
count="${2:-1000000}"
base="${3:-c933138}"
runs="${4:-2}"
source="$(cd "$(dirname "$0")/.." && pwd)"

ours="$build/product/bin/qx6export"
[ -x "$ours" ] || { echo "bulk-load: $ours is not built" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "bulk-load: the sqlite3 shell is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bulk-load: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

world="$build/bench-bulk-load"
baseSource="$world/base-$base-source"
baseBuild="$world/base-$base-build"
theirs="$baseBuild/product/bin/qx6export"
whos="old new"
if [ "$base" = none ]; then
  whos="new"
elif [ ! -x "$theirs" ]; then
  echo "bulk-load: building qx6export of $base in $baseBuild" >&2
  rm -rf "$baseSource"
  mkdir -p "$baseSource"
  git -C "$source" archive "$base" | tar -x -C "$baseSource"
  cmake -S "$baseSource" -B "$baseBuild" -DQX6_BENCHMARKS=OFF >/dev/null
  cmake --build "$baseBuild" -j2 --target qx6export >/dev/null
fi

export QX6_REGISTRY_DIR="$world/registry" HOME="$world/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$HOME" "$QX6_REGISTRY_DIR"
data="$world/data"
rm -rf "$data"
mkdir -p "$data"

# The CSV file: the sample jobs as the SQLite shell writes them, with the
# database's field names as the header.
"$ours" --db "$data/source.db" jobs sample "$count" >/dev/null
sqlite3 -csv -header "$data/source.db" 'SELECT * FROM jobs ORDER BY job_id' >"$data/jobs.csv"
rm -f "$data/source.db"

# Wall seconds of a command; the database's data is on disk before the next.
seconds() {
  /usr/bin/time -o "$data/time.txt" -f '%e' "$@" >/dev/null
  sync
  cat "$data/time.txt"
}

best() { printf '%s\n' "$@" | sort -g | head -1; }

# The peer: the SQLite shell's .import of the same file into the same table
# (the schema and page size of a job database this build made).
"$ours" --db "$data/schema.db" jobs sample 1 >/dev/null
{
  echo "PRAGMA page_size = $(sqlite3 "$data/schema.db" 'PRAGMA page_size');"
  sqlite3 "$data/schema.db" .schema
} >"$data/schema.sql"
rm -f "$data"/schema.db*

declare -a sampleOld sampleNew importOld importNew importShell
for run in $(seq 1 "$runs"); do
  rm -f "$data"/load.db*
  sqlite3 "$data/load.db" <"$data/schema.sql"
  t=$(seconds sqlite3 "$data/load.db" ".import --csv --skip 1 $data/jobs.csv jobs")
  n=$(sqlite3 "$data/load.db" 'SELECT count(*) FROM jobs')
  [ "$n" -eq "$count" ] || { echo "bulk-load: sqlite3 .import holds $n jobs, not $count" >&2; exit 1; }
  importShell+=("$t")
  for who in $whos; do
    program="$ours"
    [ "$who" = old ] && program="$theirs"
    rm -f "$data"/load.db*
    t=$(seconds "$program" --db "$data/load.db" jobs sample "$count")
    [ "$who" = old ] && sampleOld+=("$t") || sampleNew+=("$t")
    rm -f "$data"/load.db*
    t=$(seconds "$program" --db "$data/load.db" jobs import "$data/jobs.csv")
    n=$(sqlite3 "$data/load.db" 'SELECT count(*) FROM jobs')
    [ "$n" -eq "$count" ] || { echo "bulk-load: $who import holds $n jobs, not $count" >&2; exit 1; }
    [ "$who" = old ] && importOld+=("$t") || importNew+=("$t")
  done
done
rm -f "$data"/load.db* "$data/jobs.csv"

[ "$base" = none ] || printf '%-28s %10s %10s %7s\n' "$count jobs, best of $runs" "$base s" "this s" ratio
[ "$base" = none ] || for what in sample import; do
  if [ "$what" = sample ]; then a=$(best "${sampleOld[@]}"); b=$(best "${sampleNew[@]}"); label="jobs sample"
  else a=$(best "${importOld[@]}"); b=$(best "${importNew[@]}"); label="jobs import (CSV)"; fi
  awk -v l="$label" -v a="$a" -v b="$b" 'BEGIN { printf "%-28s %10.2f %10.2f %7.2f\n", l, a, b, b / a }'
done
[ "$base" = none ] || echo "ratio = this build's time / $base's time (target: at most 1.5)"
a=$(best "${importShell[@]}")
b=$(best "${importNew[@]}")
printf '%-28s %10s %10s %7s\n' "$count jobs, best of $runs" "sqlite3 s" "this s" ratio
awk -v a="$a" -v b="$b" 'BEGIN { printf "%-28s %10.2f %10.2f %7.2f\n", "jobs import vs .import", a, b, b / a }'
echo "ratio = this build's jobs import / the SQLite shell's .import of the same file (target: at most 0.5)"
