#!/bin/bash
# Refresh benchmark: a year of about 250 000 order items at one busy branch.
#
#   bench/run.sh
#
# Builds margivo-report and margivo-sampledb (Release) in $BUILD_DIR (default
# build-bench), creates the sample database once in $BENCH_DIR (default
# /tmp/margivo-bench; its index statistics computed as a restored database
# has them; reused afterwards, delete it to rebuild), then measures side by
# side, embedded and through a local server on 127.0.0.1 of its own
# (scripts/fbserver.sh, state in $BENCH_DIR/fbserver):
#   fetch-only   the order-items query of the year alone, every row fetched
#                (the median of 3 in one process before the refreshes and 3
#                in one after)
#   first        the first refresh of a run, which reads the whole year (the
#                median of the first refreshes of three runs)
#   no change    the median of refreshes 2..N of a run, nothing written
#                between them
#   changes      the median of refreshes 2..N of a run on a copy of the
#                database, while another process (margivo-sampledb change)
#                edits a few order lines, adds an order and deletes one
#                between each two refreshes
#   server CPU   (through the server) the server's own CPU time for a run of
#                one refresh, and per refresh of the run without changes
#                after its first one
#   per-item     the literal per-item refresh, on the last month, scaled to
#                the year's rows (PER_ITEM=0 leaves it out)
# and prints the ratios and the report tool's peak memory over each run.
#
# Knobs: ITEMS (250000), SEED (1), TODAY (2024-12-31), REFRESHES (7: the
# first and 6 more), INTERVAL (2 seconds between refreshes), PER_ITEM (1).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
BENCH_DIR=${BENCH_DIR:-/tmp/margivo-bench}
ITEMS=${ITEMS:-250000}
SEED=${SEED:-1}
TODAY=${TODAY:-2024-12-31}
REFRESHES=${REFRESHES:-7}
INTERVAL=${INTERVAL:-2}
PER_ITEM=${PER_ITEM:-1}

[ -x /usr/bin/time ] || "$ROOT/scripts/deps.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DMARGIVO_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target margivo-report margivo-sampledb >/dev/null
REPORT=$(find "$BUILD_DIR" -name margivo-report -type f -perm -u+x | head -1)
SAMPLEDB=$(find "$BUILD_DIR" -name margivo-sampledb -type f -perm -u+x | head -1)

mkdir -p "$BENCH_DIR"
# The generator computes the index statistics after loading since this name.
DB=$BENCH_DIR/bench-$ITEMS-$SEED-stats.fdb
if [ ! -f "$DB" ]; then
  echo "Creating $DB ($ITEMS items, seed $SEED, one branch)..." >&2
  "$SAMPLEDB" create "$DB" --items "$ITEMS" --seed "$SEED" --today "$TODAY" --branches 1
fi

# Settings file: $1 ini path, then the database section's lines.
write_ini() {
  local ini=$1
  shift
  {
    echo "[Configuracoes]"
    printf '%s\n' "$@"
    echo "Filial=01"
    echo
    echo "[Trovesk]"
    echo "Empresa=01"
    echo "Periodo=3"
    echo "MostraPedidos=2"
  } >"$ini"
}

# The server of this benchmark alone (the tests start and stop their own).
export MARGIVO_FBSERVER_DIR=${MARGIVO_FBSERVER_DIR:-$BENCH_DIR/fbserver}
export MARGIVO_FBSERVER_PORT=${MARGIVO_FBSERVER_PORT:-3079}
"$ROOT/scripts/fbserver.sh" start >/dev/null
# shellcheck disable=SC1091
. "$MARGIVO_FBSERVER_DIR/server.env"
SERVER_PID=$(cat "$MARGIVO_FBSERVER_DIR/server.pid")
SERVER_PREFIX=$MARGIVO_FBSERVER_HOST/$MARGIVO_FBSERVER_PORT

# copy_db SOURCE NAME MODE: a copy of SOURCE for MODE (embedded: in
# $BENCH_DIR; server: in the server's data directory); prints its path.
copy_db() {
  local source=$1 name=$2 mode=$3 target
  if [ "$mode" = server ]; then
    target=$MARGIVO_FBSERVER_DATA/$name
  else
    target=$BENCH_DIR/$name
  fi
  cp "$source" "$target"
  if [ "$mode" = server ] && [ "$(id -u)" = 0 ]; then chown firebird:firebird "$target"; fi
  echo "$target"
}

# ini_for MODE DBPATH: the settings file of a run on DBPATH.
ini_for() {
  local mode=$1 db=$2 ini=$BENCH_DIR/$1-$(basename "$2" .fdb).ini
  if [ "$mode" = server ]; then
    write_ini "$ini" LocRem=R "Servidor=$SERVER_PREFIX" Protocolo=0 "CaminhoBanco=$db" \
      "Usuario=$MARGIVO_FBSERVER_USER" "Senha=$MARGIVO_FBSERVER_PASSWORD"
  else
    write_ini "$ini" LocRem=L Servidor= Protocolo=0 "CaminhoBanco=$db" Usuario=SYSDBA \
      Senha=masterkey
  fi
  echo "$ini"
}

# The server's CPU time so far, in seconds.
server_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$SERVER_PID/stat"
}

# run INI ARGS...: runs the report tool; sets TIMES (each refresh's
# --timing seconds), KINDS (full/incremental each), ROWS (of the last
# output line) and PEAK_MB (maximum resident set size of the run).
run() {
  local ini=$1
  shift
  local out=$BENCH_DIR/out.json err=$BENCH_DIR/stderr.txt
  LC_ALL=C /usr/bin/time -v "$REPORT" --config "$ini" --today "$TODAY" --format json --timing "$@" \
    >"$out" 2>"$err" || { cat "$err" >&2; exit 1; }
  parse "$err" "$out"
  PEAK_MB=$(awk '/Maximum resident set size/ {printf "%.1f", $NF / 1024}' "$err")
}
parse() {
  TIMES=$(sed -n 's/^Tempo: \([0-9.]*\) s.*/\1/p' "$1" | tr '\n' ' ')
  KINDS=$(sed -n 's/^Tempo: .*; \([a-z]*\))$/\1/p' "$1" | tr '\n' ' ')
  ROWS=$(tail -1 "$2" | sed -n 's/.*"rows": *\([0-9]*\).*/\1/p')
}
# The median of the numbers given (after the first N skipped: median_from N ...).
median_from() {
  local skip=$1
  shift
  printf '%s\n' "$@" | tail -n +"$((skip + 1))" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
first_of() { echo "$1"; }
count_word() { printf '%s\n' $2 | tail -n +2 | grep -c "^$1$" || true; }

# run_with_writer INI WRITER_DB ARGS...: like run, while margivo-sampledb
# writes one round of changes to WRITER_DB after each refresh but the last.
run_with_writer() {
  local ini=$1 writer_db=$2
  shift 2
  local out=$BENCH_DIR/out.json err=$BENCH_DIR/stderr.txt timefile=$BENCH_DIR/time.txt
  local writer_args=(--today "$TODAY")
  if [[ $writer_db == *:* ]]; then
    writer_args+=(--user "$MARGIVO_FBSERVER_USER" --password "$MARGIVO_FBSERVER_PASSWORD")
  fi
  LC_ALL=C /usr/bin/time -v -o "$timefile" "$REPORT" --config "$ini" --today "$TODAY" \
    --format json --timing "$@" >"$out" 2>"$err" &
  local pid=$! k
  for ((k = 1; k < REFRESHES; k++)); do
    while [ "$(grep -c '^Tempo' "$err" || true)" -lt "$k" ]; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    "$SAMPLEDB" change "$writer_db" --round "$k" "${writer_args[@]}" >/dev/null
  done
  wait "$pid" || { cat "$err" >&2; exit 1; }
  parse "$err" "$out"
  PEAK_MB=$(awk '/Maximum resident set size/ {printf "%.1f", $NF / 1024}' "$timefile")
}

measure() {
  local mode=$1 name
  local db=$DB writer_db
  if [ "$mode" = server ]; then
    db=$(copy_db "$DB" "bench.fdb" server)
    name="server $SERVER_PREFIX (TCP)"
  else
    name="embedded ($DB)"
  fi
  local ini
  ini=$(ini_for "$mode" "$db")

  # Fetch-only is timed again after the refreshes, and the median of both
  # runs' times kept: the machine's speed drifts over the minutes between.
  run "$ini" --fetch-only --refreshes 3
  local fetch fetch_rows=$ROWS fetches=$TIMES

  # The first refresh is timed in three runs (this one and the first of the
  # two below) and the median kept: alone, it varies by 10 % from run to run.
  local cpu0 cpu1 cpu_full="" cpu_steady="" firsts
  cpu0=$( [ "$mode" = server ] && server_cpu || echo 0)
  run "$ini" --refreshes 1
  cpu1=$( [ "$mode" = server ] && server_cpu || echo 0)
  [ "$mode" = server ] && cpu_full=$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "%.3f", b - a }')
  # shellcheck disable=SC2086
  firsts=$(first_of $TIMES)

  cpu0=$( [ "$mode" = server ] && server_cpu || echo 0)
  run "$ini" --refreshes "$REFRESHES" --interval "$INTERVAL"
  cpu1=$( [ "$mode" = server ] && server_cpu || echo 0)
  local first steady steady_kinds peak=$PEAK_MB rows=$ROWS
  # shellcheck disable=SC2086
  firsts="$firsts $(first_of $TIMES)"
  # shellcheck disable=SC2086
  steady=$(median_from 1 $TIMES)
  steady_kinds=$(count_word incremental "$KINDS")
  if [ "$mode" = server ]; then
    cpu_steady=$(awk -v a="$cpu0" -v b="$cpu1" -v f="$cpu_full" -v n="$REFRESHES" \
      'BEGIN { printf "%.3f", (b - a - f) / (n - 1) }')
  fi

  # The changes go to a copy, so the year stays as it was for the next run.
  local copy
  if [ "$mode" = server ]; then
    copy=$(copy_db "$DB" "bench-changes.fdb" server)
    writer_db=$SERVER_PREFIX:$copy
  else
    copy=$(copy_db "$DB" "bench-changes.fdb" embedded)
    writer_db=$copy
  fi
  run_with_writer "$(ini_for "$mode" "$copy")" "$writer_db" --refreshes "$REFRESHES" \
    --interval "$INTERVAL"
  local changed changed_kinds changed_peak=$PEAK_MB
  # shellcheck disable=SC2086
  changed=$(median_from 1 $TIMES)
  # shellcheck disable=SC2086
  firsts="$firsts $(first_of $TIMES)"
  # shellcheck disable=SC2086
  first=$(median_from 0 $firsts)
  changed_kinds=$(count_word incremental "$KINDS")
  rm -f "$copy"

  run "$ini" --fetch-only --refreshes 3
  # shellcheck disable=SC2086
  fetch=$(median_from 0 $fetches $TIMES)

  local month="" month_rows=""
  if [ "$PER_ITEM" = 1 ]; then
    run "$ini" --path per-item --periodo 2
    # shellcheck disable=SC2086
    month=$(first_of $TIMES)
    month_rows=$ROWS
  fi

  awk -v n="$name" -v f="$fetch" -v fr="$fetch_rows" -v first="$first" -v rows="$rows" \
    -v st="$steady" -v stk="$steady_kinds" -v ch="$changed" -v chk="$changed_kinds" \
    -v pk="$peak" -v cpk="$changed_peak" -v runs="$((REFRESHES - 1))" \
    -v cf="$cpu_full" -v cs="$cpu_steady" -v m="$month" -v mr="$month_rows" -v fs="$firsts" 'BEGIN {
      printf "%s\n", n
      printf "  fetch-only (year)              %8.3f s  %d rows\n", f, fr
      printf "  first refresh (full; median)   %8.3f s  %5.2f x fetch-only  (goal <= 2.5; runs: %s)\n", first, first / f, fs
      printf "  steady, no change (median)     %8.3f s  %5.2f x fetch-only  (goal <= 0.25; %d of %d incremental)\n", st, st / f, stk, runs
      printf "  steady, changes (median)       %8.3f s  %5.2f x fetch-only  (goal <= 0.35; %d of %d incremental)\n", ch, ch / f, chk, runs
      printf "  peak memory, whole run         %8.1f MB without changes, %.1f MB with  (goal < 150 embedded)\n", pk, cpk
      if (cf != "") {
        printf "  server CPU, one full refresh   %8.3f s\n", cf
        printf "  server CPU, steady refresh     %8.3f s  %5.2f x a full one  (goal <= 0.15)\n", cs, cs / cf
      }
      if (m != "") {
        scaled = m * rows / mr
        printf "  per-item (month)               %8.3f s  %d rows -> %.1f s scaled to the year\n", m, mr, scaled
        printf "  per-item / first refresh       %8.1f x\n", scaled / first
      }
    }'
}

echo "margivo refresh benchmark: $ITEMS items, seed $SEED, today $TODAY, $(nproc) CPUs," \
  "$REFRESHES refreshes $INTERVAL s apart"
measure embedded
measure server
