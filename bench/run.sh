#!/bin/bash
# Refresh benchmark: a year of about 250 000 order items at one busy branch.
#
#   bench/run.sh
#
# Builds margivo-report and margivo-sampledb (Release) in $BUILD_DIR (default
# build-bench), creates the sample database once in $BENCH_DIR (default
# /tmp/margivo-bench; reused afterwards, delete it to rebuild), then measures
# side by side, embedded and through the local server on 127.0.0.1
# (scripts/fbserver.sh):
#   fetch-only  the order-items query of the year alone, every row fetched
#   fast        the whole refresh of the year (the default path)
#   per-item    the literal per-item refresh, on the last month, scaled to
#               the year's rows
# and prints the ratios and the report tool's peak memory on the year.
#
# Knobs: ITEMS (250000), SEED (1), TODAY (2024-12-31).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
BENCH_DIR=${BENCH_DIR:-/tmp/margivo-bench}
ITEMS=${ITEMS:-250000}
SEED=${SEED:-1}
TODAY=${TODAY:-2024-12-31}

[ -x /usr/bin/time ] || "$ROOT/scripts/deps.sh"
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DMARGIVO_BUILD_GUI=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target margivo-report margivo-sampledb >/dev/null
REPORT=$(find "$BUILD_DIR" -name margivo-report -type f -perm -u+x | head -1)
SAMPLEDB=$(find "$BUILD_DIR" -name margivo-sampledb -type f -perm -u+x | head -1)

mkdir -p "$BENCH_DIR"
DB=$BENCH_DIR/bench-$ITEMS-$SEED.fdb
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

EMB_INI=$BENCH_DIR/embedded.ini
write_ini "$EMB_INI" LocRem=L Servidor= Protocolo=0 "CaminhoBanco=$DB" Usuario=SYSDBA Senha=masterkey

# Through the server: a copy of the file in the server's data directory.
"$ROOT/scripts/fbserver.sh" start >/dev/null
# shellcheck disable=SC1091
. "${MARGIVO_FBSERVER_DIR:-/tmp/margivo-fbserver}/server.env"
SRV_DB=$MARGIVO_FBSERVER_DATA/bench-$ITEMS-$SEED.fdb
if [ ! -f "$SRV_DB" ] || [ "$DB" -nt "$SRV_DB" ]; then
  cp "$DB" "$SRV_DB"
  if [ "$(id -u)" = 0 ]; then chown firebird:firebird "$SRV_DB"; fi
fi
TCP_INI=$BENCH_DIR/tcp.ini
write_ini "$TCP_INI" LocRem=R "Servidor=$MARGIVO_FBSERVER_HOST/$MARGIVO_FBSERVER_PORT" Protocolo=0 \
  "CaminhoBanco=$SRV_DB" "Usuario=$MARGIVO_FBSERVER_USER" "Senha=$MARGIVO_FBSERVER_PASSWORD"

# run INI OUTFILE ARGS...: runs the report tool; sets SECS (its --timing) and
# PEAK_MB (maximum resident set size).
run() {
  local ini=$1 out=$2
  shift 2
  local err=$BENCH_DIR/stderr.txt
  LC_ALL=C /usr/bin/time -v "$REPORT" --config "$ini" --today "$TODAY" --format json --timing "$@" \
    >"$out" 2>"$err" || { cat "$err" >&2; exit 1; }
  SECS=$(sed -n 's/^Tempo: \([0-9.]*\) s.*/\1/p' "$err")
  PEAK_MB=$(awk '/Maximum resident set size/ {printf "%.1f", $NF / 1024}' "$err")
}

rows_of() { sed -n 's/.*"rows": *\([0-9]*\).*/\1/p' "$1" | head -1; }

measure() {
  local name=$1 ini=$2
  run "$ini" "$BENCH_DIR/fetch.json" --fetch-only
  local fetch=$SECS fetch_rows
  fetch_rows=$(rows_of "$BENCH_DIR/fetch.json")
  run "$ini" "$BENCH_DIR/fast.json"
  local fast=$SECS fast_peak=$PEAK_MB fast_rows
  fast_rows=$(rows_of "$BENCH_DIR/fast.json")
  run "$ini" "$BENCH_DIR/month.json" --path per-item --periodo 2
  local month=$SECS month_rows
  month_rows=$(rows_of "$BENCH_DIR/month.json")
  awk -v n="$name" -v f="$fetch" -v fr="$fetch_rows" -v q="$fast" -v qr="$fast_rows" \
    -v m="$month" -v mr="$month_rows" -v pk="$fast_peak" 'BEGIN {
      scaled = m * qr / mr
      printf "%s\n", n
      printf "  fetch-only (year)      %8.3f s  %d rows\n", f, fr
      printf "  fast refresh (year)    %8.3f s  %d rows, peak %s MB\n", q, qr, pk
      printf "  per-item (month)       %8.3f s  %d rows -> %.1f s scaled to the year\n", m, mr, scaled
      printf "  fast / fetch-only      %8.2f x  (goal <= 1.5)\n", q / f
      printf "  per-item / fast        %8.1f x  (goal >= 100)\n", scaled / q
    }'
}

echo "margivo refresh benchmark: $ITEMS items, seed $SEED, today $TODAY, $(nproc) CPUs"
measure "embedded ($DB)" "$EMB_INI"
measure "server 127.0.0.1:$MARGIVO_FBSERVER_PORT (TCP)" "$TCP_INI"
