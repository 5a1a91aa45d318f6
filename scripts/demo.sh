#!/bin/sh
# The main job on the demo database: installs what is missing, builds
# Margivo, creates the demo ERP database (embedded engine, a local file) and
# a settings file for it under ./demo (never the user's own settings file),
# then runs the profitability refresh on it and prints the report, and starts
# the desktop gadget on the same database. Without a display the gadget runs
# on a virtual one (Xvfb) until its first refresh has ended, and leaves a
# screenshot of itself, whose path is printed.
# Run as root on Debian 12 from the checkout.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

demo=$(pwd)/demo
mkdir -p "$demo/config/TempKZW"
if [ ! -f "$demo/erp.fdb" ]; then
  build/sampledb/margivo-sampledb create "$demo/erp.fdb"
fi
ini="$demo/config/TempKZW/ConfigGadGet.Ini"
if [ ! -f "$ini" ]; then
  cat > "$ini" <<INI
[Configuracoes]
LocRem=L
Servidor=
Protocolo=0
CaminhoBanco=$demo/erp.fdb
Usuario=SYSDBA
Senha=masterkey
Filial=01

[Trovesk]
Empresa=01
Periodo=3
MostraPedidos=2
INI
fi
export XDG_CONFIG_HOME="$demo/config"
echo "Settings file: $ini"
echo "Demo database: $demo/erp.fdb"
echo
build/tools/margivo-report
echo

# The gadget. Its autostart entry goes to the demo's settings folder too.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  nohup build/app/margivo >"$demo/margivo.log" 2>&1 &
  echo "Gadget started on the desktop (pid $!; a copy already running keeps its place)."
  exit 0
fi

captura="$demo/margivo.png"
rm -f "$captura"
mkdir -p -m 700 "$demo/run"
xvfb_pid=""
gadget_pid=""
parar() {
  [ -n "$gadget_pid" ] && kill "$gadget_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap parar EXIT
rm -f "$demo/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$demo/display" 2>"$demo/xvfb.log" &
xvfb_pid=$!
n=100
while [ ! -s "$demo/display" ] && [ "$n" -gt 0 ]; do sleep 0.1; n=$((n - 1)); done
if [ ! -s "$demo/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$demo/xvfb.log" >&2
  exit 1
fi
echo "No display: running the gadget on a virtual one until its first refresh ends..."
DISPLAY=":$(head -n 1 "$demo/display")" XDG_RUNTIME_DIR="$demo/run" QT_QPA_PLATFORM=xcb \
  MARGIVO_CAPTURA="$captura" build/app/margivo >"$demo/margivo.log" 2>&1 &
gadget_pid=$!
n=3000
while ! grep -q '^Captura: ' "$demo/margivo.log" 2>/dev/null && [ "$n" -gt 0 ]; do
  kill -0 "$gadget_pid" 2>/dev/null || break
  sleep 0.1
  n=$((n - 1))
done
if ! grep -q '^Captura: ' "$demo/margivo.log" 2>/dev/null; then
  echo "The gadget left no screenshot:" >&2
  cat "$demo/margivo.log" >&2
  exit 1
fi
echo "Gadget screenshot: $captura"
