#!/bin/sh
# The face of the whole program as a user drives it, on a real X server
# (Xvfb, no window manager):
#   - a right click on the panel opens its context menu;
#   - its first entry, "Atualizar agora", refreshes at once (the program
#     saves a screenshot at the end of every refresh: a new one appears);
#   - a double click on the face refreshes too;
#   - resting the pointer on an abbreviated title shows its tooltip;
#   - the menu's last entry, "Fechar", ends the program with status 0.
# Screenshots a person would look at are kept in the artefacts directory:
# painel.png after the first refresh, menu.png with the menu open,
# painel-2.png after the menu's refresh, painel-3.png after the double
# click's, dica.png with a tooltip.
# Usage: test_app_face_xvfb.sh <margivo> <margivo-sampledb> <captura_tela> <artefacts dir>
set -eu

margivo=$1
sampledb=$2
captura=$3
artefatos=$4
for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)"; exit 1; }
done
mkdir -p "$artefatos"
rm -f "$artefatos"/*.png

tmp=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    sleep 0.5
    kill -9 "$app_pid" 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  [ -f "$tmp/saida" ] && { echo "--- program output:"; cat "$tmp/saida"; }
  exit 1
}

# wait_for TENTHS COMMAND...
. "$(dirname "$0")/espera.sh"

# The refreshes ended so far (one screenshot line each).
refreshes() { grep -c '^Captura: ' "$tmp/saida" 2>/dev/null || true; }
more_refreshes_than() { [ "$(refreshes)" -gt "$1" ]; }

# The visible windows of the program, one id a line: the host window, and
# a popup menu or a tooltip while one shows.
windows() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null || true; }
window_count_is() { [ "$(windows | wc -l)" -eq "$1" ]; }

# -noreset: the server stays as it is when its last client leaves.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
wait_for 100 test -s "$tmp/display" || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY
unset WAYLAND_DISPLAY || true
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$tmp/config"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME/TempKZW"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export LC_ALL=C.UTF-8

# The demo database; the panel at (100, 80), no periodic refresh within the
# test's time, so that every refresh seen is one the test asked for.
"$sampledb" create "$tmp/erp.fdb" --items 200 >"$tmp/sampledb.log" 2>&1 ||
  fail "cannot create the database: $(cat "$tmp/sampledb.log")"
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
AtualizaDados=60
PosX=100
PosY=80
INI

MARGIVO_CAPTURA="$artefatos/painel.png" "$margivo" >"$tmp/saida" 2>&1 &
app_pid=$!
wait_for 600 more_refreshes_than 0 || fail "no screenshot after the first refresh"
wait_for 50 window_count_is 1 || fail "the program shows $(windows | wc -l) windows at start"

# A right click on the face (x 100+150, y 80+100) opens the menu.
xdotool mousemove 250 180
sleep 0.3
xdotool click 3
wait_for 50 window_count_is 2 || fail "no context menu after a right click"
menu=$(windows | while read -r w; do
  xwininfo -id "$w" | grep -q 'Width: 1280' || echo "$w"
done | head -n 1)
[ -n "$menu" ] || fail "the menu's window was not found"
geometry=$(xwininfo -id "$menu")
mx=$(echo "$geometry" | sed -n 's/.*Absolute upper-left X: *//p')
my=$(echo "$geometry" | sed -n 's/.*Absolute upper-left Y: *//p')
mw=$(echo "$geometry" | sed -n 's/.*Width: *//p')
mh=$(echo "$geometry" | sed -n 's/.*Height: *//p')
[ "$mx" -ge 240 ] && [ "$mx" -le 260 ] && [ "$my" -ge 170 ] && [ "$my" -le 190 ] ||
  fail "the menu is at $mx,$my, not at the pointer"
# Four entries and two separators: taller than three entries would be.
[ "$mh" -ge 70 ] || fail "the menu is only $mh pixels tall"
"$captura" "$artefatos/menu.png" 90 70 $((mx + mw + 20 - 90)) $((my + mh + 20 - 70)) ||
  fail "cannot save the menu's screenshot"

# Its first entry refreshes at once.
antes=$(refreshes)
xdotool mousemove $((mx + mw / 2)) $((my + 12))
sleep 0.2
xdotool click 1
wait_for 300 more_refreshes_than "$antes" || fail "\"Atualizar agora\" did not refresh"
wait_for 50 window_count_is 1 || fail "the menu did not close"

# A double click on the face refreshes too.
antes=$(refreshes)
xdotool mousemove 250 180
sleep 0.3
xdotool click --repeat 2 --delay 80 1
wait_for 300 more_refreshes_than "$antes" || fail "a double click did not refresh"

# Resting on "Rtb. Oper. (%)" (totals band at y 80+176, title at x 100+271)
# shows what the figure is.
xdotool mousemove 395 262
sleep 0.2
xdotool mousemove 396 263
wait_for 50 window_count_is 2 || fail "no tooltip over an abbreviated title"
"$captura" "$artefatos/dica.png" 90 70 900 300 || fail "cannot save the tooltip's screenshot"

# The menu's last entry closes the program.
xdotool mousemove 250 180
sleep 0.3
xdotool click 3
wait_for 50 window_count_is 2 || fail "no context menu the second time"
xdotool key Up Return
wait_for 200 sh -c "! kill -0 $app_pid 2>/dev/null" || fail "\"Fechar\" did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
grep -qx 'IniWindows=0' "$XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini" ||
  fail "\"Fechar\" did not close as the close button does"
echo "PASS (screenshots in $artefatos)"
