#!/bin/sh
# The whole program on a real X server (Xvfb, no window manager), driven the
# way a user drives it:
#   - it starts on a real database file and shows its window, as large as the
#     screen, off the taskbar, with the gadget's figures (a screenshot is
#     saved once the first refresh has ended);
#   - the autostart entry appears, naming the program's full path;
#   - the desktop takes the clicks wherever the gadget draws nothing;
#   - a second copy exits at once with status 0;
#   - hovering the panel shows the caption strip, and a click on its close
#     button removes the autostart entry, writes IniWindows=0 and ends the
#     process with status 0;
#   - started again, it ends on SIGTERM (a session that closes) with status
#     0, leaving its autostart entry in place.
# Usage: test_app_xvfb.sh <margivo> <margivo-sampledb>
set -eu

margivo=$1
sampledb=$2
for tool in Xvfb xdotool xprop xwininfo; do
  command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)"; exit 1; }
done

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

# A display of our own.
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

# The demo database and a settings file for it; the panel at (100, 80).
"$sampledb" create "$tmp/erp.fdb" --items 200 >"$tmp/sampledb.log" 2>&1 ||
  fail "cannot create the database: $(cat "$tmp/sampledb.log")"
ini="$XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini"
cat >"$ini" <<INI
[Configuracoes]
LocRem=L
CaminhoBanco=$tmp/erp.fdb
Usuario=SYSDBA
Senha=masterkey

[Trovesk]
Empresa=01
Periodo=3
MostraPedidos=2
PosX=100
PosY=80
INI

MARGIVO_CAPTURA="$tmp/captura.png" "$margivo" >"$tmp/saida" 2>&1 &
app_pid=$!

# The window shows, as large as the screen, and the first refresh ends.
wait_for 300 xdotool search --onlyvisible --name '^Form1$' || fail "the window did not show"
win=$(xdotool search --onlyvisible --name '^Form1$' | head -n 1)
xwininfo -id "$win" | grep -q 'Map State: IsViewable' || fail "the window is not viewable"
xwininfo -id "$win" | grep -q 'Width: 1280' || fail "the window is not as wide as the screen"
xwininfo -id "$win" | grep -q 'Height: 800' || fail "the window is not as tall as the screen"
wait_for 600 grep -q '^Captura: ' "$tmp/saida" || fail "no screenshot after the first refresh"
[ -s "$tmp/captura.png" ] || fail "empty screenshot"
xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR || fail "the window is on the taskbar"

# The autostart entry names the program.
entry="$XDG_CONFIG_HOME/autostart/Rentabilidade.desktop"
[ -f "$entry" ] || fail "no autostart entry"
grep -qx "Exec=$(readlink -f "$margivo")" "$entry" || fail "autostart command: $(grep Exec "$entry")"

# A second copy exits at once, with status 0, and the first one goes on.
status=0
timeout 20 "$margivo" >"$tmp/segunda" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the second copy ended with status $status"
kill -0 "$app_pid" 2>/dev/null || fail "the first copy ended"

# The window under the pointer at x, y (decimal id; the root when none of ours).
window_at() {
  xdotool mousemove "$1" "$2"
  xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p'
}
# Far from the panel the desktop takes the pointer, not the screen-sized window.
[ "$(window_at 1200 700)" != "$win" ] || fail "the transparent window takes the clicks off the panel"
[ "$(window_at 250 180)" = "$win" ] || fail "the panel does not take the pointer"

# Hover the face, then the close button of the strip (x 100+360, y 80).
closed=""
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  window_at 250 180 >/dev/null
  sleep 0.2
  if [ "$(window_at 471 91)" = "$win" ]; then
    xdotool click 1
    closed=yes
    break
  fi
done
[ -n "$closed" ] || fail "the caption strip did not show under the pointer"
wait_for 200 sh -c "! kill -0 $app_pid 2>/dev/null" || fail "the close button did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ ! -f "$entry" ] || fail "the close button left the autostart entry"
grep -qx 'IniWindows=0' "$ini" || fail "IniWindows is not 0: $(grep IniWindows "$ini")"
grep -qx 'PosX=100' "$ini" || fail "the position changed: $(grep Pos "$ini")"

# The output file of the first run still holds its "Captura:" line: remove it
# before the restart, or the wait below could see it before the shell truncates.
rm -f "$tmp/captura.png" "$tmp/saida"
MARGIVO_CAPTURA="$tmp/captura.png" "$margivo" >"$tmp/saida" 2>&1 &
app_pid=$!
wait_for 600 grep -q '^Captura: ' "$tmp/saida" || fail "no screenshot after the restart"
kill -TERM "$app_pid"
wait_for 100 sh -c "! kill -0 $app_pid 2>/dev/null" || fail "SIGTERM did not end the program"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended by SIGTERM with status $status"
[ -f "$entry" ] || fail "ending by a signal removed the autostart entry"
echo "PASS"
