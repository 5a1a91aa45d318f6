#!/bin/sh
# The whole program ends promptly and cleanly in every state it can be in, on
# a real X server (Xvfb, no window manager), real database files and a real
# network:
#   idle after its first refresh                      SIGTERM
#   refreshing a large database (its up-front loads)  the close button; SIGTERM
#   connecting to a port nobody listens on            SIGTERM in the pauses
#   connecting to a server that accepts and is mute   SIGTERM (the deadline)
#   a box open: the start-up's settings error, the    SIGTERM
#   first activation's, a refresh's error, the
#   failed connection's
#   AtualizaDados=0, at moments from 0.1 s on         SIGTERM, SIGINT
#   an empty Senha                                    OK on the warning; SIGTERM
# Each time: the process is gone within 2 s of the signal or the click, with
# status 0; the settings file is byte for byte what it was (the close button
# writes IniWindows=0 and nothing else); the end was not forced by the
# deadline unless a mute server held the program; and the single-instance
# lock is free: the next start runs.
# Usage: test_app_exits_xvfb.sh <margivo> <margivo-sampledb>
set -eu

margivo=$1
sampledb=$2
for tool in Xvfb xdpyinfo xdotool perl cmp; do
  command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)"; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid=""
app_pid=""
mute_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    kill -9 "$app_pid" 2>/dev/null || true
  fi
  [ -n "$mute_pid" ] && kill "$mute_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

caso=""
fail() {
  echo "FAIL [$caso]: $*"
  [ -f "$tmp/saida" ] && { echo "--- program output:"; cat "$tmp/saida"; }
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "--- Xvfb ended:"; cat "$tmp/xvfb.log"; }
  exit 1
}

# wait_for TENTHS COMMAND...
. "$(dirname "$0")/espera.sh"

# A display of our own. The number is one no other X server uses, neither
# by its lock file nor by its abstract socket (which another server in the
# same network namespace may hold without a lock file here, and which
# clients try first): a server that cannot have all its sockets is given up
# for another number.
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  display=$((100 + ($$ * 7 + attempt * 131) % 800))
  [ ! -e "/tmp/.X$display-lock" ] || continue
  ! grep -q "/tmp/.X11-unix/X$display\$" /proc/net/unix 2>/dev/null || continue
  # -noreset: a server resets when its last client leaves, and a program
  # started in that moment (the next start after an exit) cannot connect.
  Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp -noreset 2>"$tmp/xvfb.log" &
  xvfb_pid=$!
  if wait_for 100 xdpyinfo -display ":$display" && ! grep -q 'already running' "$tmp/xvfb.log"; then
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || fail "no X display could be started: $(cat "$tmp/xvfb.log")"
DISPLAY=:$display
export DISPLAY
unset WAYLAND_DISPLAY || true
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$tmp/config"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME/TempKZW"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export LC_ALL=C.UTF-8
ini="$XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini"

# A small database; a large one, whose refresh spends seconds in its
# up-front loads; one whose single bad order makes every refresh fail.
"$sampledb" create "$tmp/pequeno.fdb" --items 200 >"$tmp/sampledb.log" 2>&1 ||
  fail "cannot create the database: $(cat "$tmp/sampledb.log")"
"$sampledb" create "$tmp/grande.fdb" --items 200000 --branches 1 >"$tmp/sampledb.log" 2>&1 ||
  fail "cannot create the large database: $(cat "$tmp/sampledb.log")"
"$sampledb" create "$tmp/ruim.fdb" --items 200 --bad-orders 1 >"$tmp/sampledb.log" 2>&1 ||
  fail "cannot create the database with a bad order: $(cat "$tmp/sampledb.log")"

# A port nobody listens on, and one where a server accepts connections and
# never says a word (a machine behind a firewall that swallows the traffic
# looks the same to the program).
closed_port=$(perl -MIO::Socket::INET -e '
  my $s = IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1", LocalPort => 0) or die;
  print $s->sockport, "\n";')
perl -MIO::Socket::INET -e '
  $| = 1;
  my $s = IO::Socket::INET->new(Listen => 16, LocalAddr => "127.0.0.1", LocalPort => 0,
                                ReuseAddr => 1) or die;
  print $s->sockport, "\n";
  my @held;
  while (my $c = $s->accept) { push @held, $c; }' >"$tmp/mute_port" &
mute_pid=$!
wait_for 50 test -s "$tmp/mute_port" || fail "the mute server did not start"
mute_port=$(head -n 1 "$tmp/mute_port")

# Writes the settings file: the database section from the arguments
# (LocRem, Servidor, CaminhoBanco, Senha), then every key of the gadget's
# section, so that the start-up has no default to add and the file's bytes
# stay as written.
write_ini() {
  rm -rf "$ini"
  cat >"$ini" <<INI
[Configuracoes]
LocRem=$1
Protocolo=0
Servidor=$2
CaminhoBanco=$3
Usuario=SYSDBA
Senha=$4

[Trovesk]
Empresa=01
Periodo=3
MostraPedidos=2
PosX=${posx:-100}
PosY=80
AtualizaDados=${atualiza:-1}
SempreVisivel=0
Transparencia=100
IniWindows=1
PedidosImportados=0
Modo=
GadGet=
INI
  cp "$ini" "$tmp/ini.antes"
}

start_app() {
  rm -f "$tmp/saida" "$tmp/captura.png"
  MARGIVO_CAPTURA="$tmp/captura.png" "$margivo" >"$tmp/saida" 2>&1 &
  app_pid=$!
}

app_window() { xdotool search --onlyvisible --name '^Form1$'; }
box_window() { xdotool search --onlyvisible --name '^margivo$'; }
refreshed() { grep -q '^Captura: ' "$tmp/saida"; }

# The process ends within 2 s of now, with status 0, by itself (not by the
# deadline, unless $1 is "forced").
ends_promptly() {
  n=40
  while kill -0 "$app_pid" 2>/dev/null; do
    n=$((n - 1))
    [ "$n" -gt 0 ] || fail "still running 2 s after it was told to end"
    sleep 0.05
  done
  status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "ended with status $status"
  ! grep -q 'terminate called\|Segmentation\|Aborted' "$tmp/saida" || fail "crashed on the way out"
  if [ "${1:-}" = forced ]; then
    grep -q 'encerramento forçado' "$tmp/saida" || fail "the deadline did not end it"
  else
    ! grep -q 'encerramento forçado' "$tmp/saida" || fail "only the deadline ended it"
  fi
}

ini_intact() {
  cmp -s "$tmp/ini.antes" "$ini" || fail "the settings file changed: $(diff "$tmp/ini.antes" "$ini")"
}

# The lock is free: a start on the small database gets as far as showing
# its window (a second copy would end at once, silently).
lock_free() {
  cp "$ini" "$tmp/ini.caso"
  write_ini L "" "$tmp/pequeno.fdb" masterkey
  start_app
  wait_for 100 app_window || fail "the next start did not run (the lock was kept?)"
  kill -TERM "$app_pid"
  ends_promptly
  cp "$tmp/ini.caso" "$ini"
}

signal_and_check() {
  kill "-$1" "$app_pid"
  ends_promptly "${2:-}"
  ini_intact
  lock_free
}

# Hovers the face, then clicks the close button of the strip (the panel at
# 100, 80: the button at x 100+360, y 80).
click_close() {
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove 250 180
    sleep 0.2
    xdotool mousemove 471 91
    if [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" = "$(app_window | head -n 1)" ]; then
      xdotool click 1
      return 0
    fi
  done
  fail "the caption strip did not show under the pointer"
}

# Each state in a subshell of its own: a failure ends that state (its
# program killed) and the others still run; the list of the failures ends
# the test.
falhas=""
run_case() {
  caso=$1
  shift
  if (
    trap '[ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null; true' EXIT
    "$@"
  ); then
    echo "ok: $caso"
  else
    falhas="$falhas
  $caso"
  fi
}

idle() {
  write_ini L "" "$tmp/pequeno.fdb" masterkey
  start_app
  wait_for 300 refreshed || fail "no first refresh"
  sleep 0.3
  signal_and_check TERM
}

refreshing_close() {
  write_ini L "" "$tmp/grande.fdb" masterkey
  start_app
  wait_for 100 app_window || fail "the window did not show"
  click_close
  ends_promptly
  ! refreshed || fail "the refresh ended before the click: the database is too small to test this"
  grep -v '^IniWindows=' "$tmp/ini.antes" >"$tmp/esperado"
  grep -v '^IniWindows=' "$ini" >"$tmp/obtido"
  cmp -s "$tmp/esperado" "$tmp/obtido" || fail "the close changed more than IniWindows"
  grep -qx 'IniWindows=0' "$ini" || fail "the close did not write IniWindows=0"
  lock_free
}

refreshing_signal() {
  write_ini L "" "$tmp/grande.fdb" masterkey
  start_app
  wait_for 100 app_window || fail "the window did not show"
  sleep 0.5
  kill -TERM "$app_pid"
  ends_promptly
  ! refreshed || fail "the refresh ended before the signal: the database is too small to test this"
  ini_intact
  lock_free
}

connecting_refused() {
  write_ini R "127.0.0.1/$closed_port" /dados/erp.fdb masterkey
  start_app
  sleep 0.5
  signal_and_check TERM
}

connecting_mute() {
  write_ini R "127.0.0.1/$mute_port" /dados/erp.fdb masterkey
  start_app
  sleep 0.5
  signal_and_check TERM forced
}

box_connection() {
  write_ini R "127.0.0.1/$closed_port" /dados/erp.fdb masterkey
  start_app
  wait_for 100 box_window || fail "no box"
  signal_and_check TERM
}

box_settings() {
  rm -f "$ini"
  mkdir "$ini"
  start_app
  wait_for 100 box_window || fail "no box"
  kill -TERM "$app_pid"
  ends_promptly
  [ -d "$ini" ] && [ -z "$(ls -A "$ini")" ] || fail "the settings folder changed"
  write_ini L "" "$tmp/pequeno.fdb" masterkey
  lock_free
}

box_activation() {
  posx=abc
  write_ini L "" "$tmp/pequeno.fdb" masterkey
  posx=""
  start_app
  wait_for 100 box_window || fail "no box"
  signal_and_check INT
}

box_refresh() {
  write_ini L "" "$tmp/ruim.fdb" masterkey
  start_app
  wait_for 300 box_window || fail "no box"
  signal_and_check TERM
}

# $1: seconds after the start, or "refreshed"; $2: the signal.
no_timer() {
  atualiza=0
  write_ini L "" "$tmp/pequeno.fdb" masterkey
  start_app
  if [ "$1" = refreshed ]; then
    wait_for 300 refreshed || fail "no first refresh"
  else
    sleep "$1"
  fi
  signal_and_check "$2"
}

no_password_ok() {
  write_ini L "" "$tmp/pequeno.fdb" ""
  start_app
  wait_for 100 box_window || fail "no warning"
  box=$(box_window | head -n 1)
  xdotool key --window "$box" Return 2>/dev/null || true
  ends_promptly
  ini_intact
  lock_free
}

no_password_signal() {
  write_ini L "" "$tmp/pequeno.fdb" ""
  start_app
  wait_for 100 box_window || fail "no warning"
  signal_and_check TERM
}

run_case "idle" idle
run_case "refreshing, the close button" refreshing_close
run_case "refreshing, SIGTERM" refreshing_signal
run_case "connecting, nobody listening" connecting_refused
run_case "connecting, a mute server" connecting_mute
run_case "the failed connection's box" box_connection
run_case "the start-up's settings error box" box_settings
run_case "the first activation's box" box_activation
run_case "a refresh's error box" box_refresh
# From the first moments on: the start-up, the database client's first use,
# the first activation, the first refresh, idle.
for quando in 0.1 0.15 0.2 0.25 0.3 0.35 0.4 0.5 0.7 refreshed; do
  run_case "AtualizaDados=0, SIGTERM at $quando" no_timer "$quando" TERM
done
run_case "AtualizaDados=0, SIGINT" no_timer refreshed INT
run_case "an empty Senha, OK on the warning" no_password_ok
run_case "an empty Senha, SIGTERM on the warning" no_password_signal

caso="all"
[ -z "$falhas" ] || fail "states that failed:$falhas"
echo "PASS"
