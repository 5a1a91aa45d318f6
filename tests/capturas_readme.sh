#!/bin/sh
# The README's two pictures, taken from the whole program on the demo
# database under a virtual X server (Xvfb): the panel after its first
# refresh (docs/painel.png) and its context menu, opened by a right click on
# the face (docs/menu.png).
# Usage: tests/capturas_readme.sh <build dir> [output dir, default docs]
# Exit status 0 when both pictures were taken; 3 when the panel's was and no
# context menu opened (its picture is then left as it was).
set -eu
build=$(cd "$1" && pwd)
saida=$(mkdir -p "${2:-docs}" && cd "${2:-docs}" && pwd)
margivo="$build/app/margivo"
sampledb="$build/sampledb/margivo-sampledb"
captura="$build/tests/captura_tela"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (scripts/deps.sh installs it)"; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
n=100
while [ ! -s "$tmp/display" ] && [ "$n" -gt 0 ]; do sleep 0.1; n=$((n - 1)); done
[ -s "$tmp/display" ] || { echo "Xvfb did not start: $(cat "$tmp/xvfb.log")"; exit 1; }
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
# Brazilian number and date formats, as the panel's users see them.
export LC_ALL=pt_BR.UTF-8
unset WAYLAND_DISPLAY || true
mkdir -p "$XDG_CONFIG_HOME/TempKZW"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The demo database, the year's figures of its first branch, the panel at
# (40, 40) on a plain desktop.
"$sampledb" create "$tmp/erp.fdb" --items 3000 >"$tmp/sampledb.log" 2>&1 ||
  { echo "cannot create the database: $(cat "$tmp/sampledb.log")"; exit 1; }
cat >"$XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini" <<INI
[Configuracoes]
LocRem=L
CaminhoBanco=$tmp/erp.fdb
Usuario=SYSDBA
Senha=masterkey

[Trovesk]
Empresa=01
Periodo=3
MostraPedidos=2
PosX=40
PosY=40
INI

MARGIVO_CAPTURA="$saida/painel.png" "$margivo" >"$tmp/saida" 2>&1 &
app_pid=$!
n=600
while ! grep -q '^Captura: ' "$tmp/saida" 2>/dev/null && [ "$n" -gt 0 ]; do sleep 0.1; n=$((n - 1)); done
grep -q '^Captura: ' "$tmp/saida" || { echo "no picture of the panel:"; cat "$tmp/saida"; exit 1; }
echo "panel: $saida/painel.png"

# The context menu: a right click on the face, then the area around it.
xdotool mousemove 200 150
sleep 0.5
"$captura" "$tmp/antes.png" 0 0 700 500
xdotool click 3
sleep 1
"$captura" "$tmp/menu.png" 0 0 700 500
if cmp -s "$tmp/antes.png" "$tmp/menu.png"; then
  echo "no context menu opened on a right click: its picture is pending"
  exit 3
fi
cp "$tmp/menu.png" "$saida/menu.png"
echo "context menu: $saida/menu.png"
