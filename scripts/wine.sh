#!/bin/sh
# A private Wine environment for running the Windows build's tests headless:
# a virtual X display (Xvfb) and a Wine prefix of its own, with its Wine
# server kept running between programs.
#
#   scripts/wine.sh start DIR   make it (or confirm the running one) and print its coordinates
#   scripts/wine.sh stop DIR    end every Wine process of the prefix and the display, remove DIR
#   scripts/wine.sh run DIR PROGRAM.exe [ARGS...]
#                               run a Windows program in it (the exit status is the program's;
#                               its output comes out when it has ended)
#
# Everything lives in DIR:
#   wine.env    DISPLAY=:<n> and WINEPREFIX=<DIR>/prefix (also valid shell);
#               present only while both are up
#   xvfb.pid    the display server's process id
#   prefix/     the Wine prefix (its C: drive is prefix/drive_c)
#   xvfb.log, wineboot.log
#
# The system's own Wine prefix (~/.wine) and displays are never touched.
# 64-bit programs run through /usr/lib/wine/wine64 (the `wine` wrapper of
# Debian 12 does not start them).
set -u

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

die() {
  echo "wine.sh: $*" >&2
  exit 1
}

[ $# -ge 2 ] || die "usage: $0 start|stop DIR | run DIR PROGRAM [ARGS...]"
command=$1
STATE=$2
shift 2
case $STATE in
  /*) ;;
  *) STATE=$(pwd)/$STATE ;;
esac

# No Mono or Gecko installers (and their dialogs) while the prefix is made;
# nothing here needs them.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

recorded_pid() {
  cat "$STATE/xvfb.pid" 2>/dev/null
}

# True when $1 is a live Xvfb started for this state directory.
is_our_xvfb() {
  pid=$1
  [ -n "$pid" ] && [ -d "/proc/$pid" ] || return 1
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$(command -v Xvfb)")" ] || return 1
  { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "MARGIVO_WINE_DIR=$STATE"
}

running() {
  [ -f "$STATE/wine.env" ] && is_our_xvfb "$(recorded_pid)"
}

stop_all() {
  if [ -d "$STATE/prefix" ]; then
    WINEPREFIX="$STATE/prefix" "$WINESERVER" -k 2>/dev/null
    WINEPREFIX="$STATE/prefix" "$WINESERVER" -w 2>/dev/null
  fi
  pid=$(recorded_pid)
  if is_our_xvfb "$pid"; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do
      is_our_xvfb "$pid" || break
      sleep 0.1
    done
    is_our_xvfb "$pid" && kill -9 "$pid" 2>/dev/null
  fi
  rm -rf "$STATE"
}

start_all() {
  if running; then
    cat "$STATE/wine.env"
    return 0
  fi
  stop_all
  [ -x "$WINE" ] || die "$WINE not found (package wine64; scripts/deps-windows.sh installs it)"
  command -v Xvfb >/dev/null 2>&1 || die "Xvfb not found (package xvfb)"
  mkdir -p "$STATE" || die "cannot create $STATE"

  # MARGIVO_WINE_DIR in its environment tells this Xvfb apart from any
  # other when it is stopped.
  # The servers started here outlive this script: none of them may keep its
  # caller's output open (a test runner waits for that to close).
  MARGIVO_WINE_DIR=$STATE Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp \
    3>"$STATE/display" </dev/null >/dev/null 2>"$STATE/xvfb.log" &
  echo $! >"$STATE/xvfb.pid"
  for _ in $(seq 1 100); do
    [ -s "$STATE/display" ] && break
    sleep 0.1
  done
  [ -s "$STATE/display" ] || { cat "$STATE/xvfb.log" >&2; stop_all; die "Xvfb did not start"; }
  display=:$(head -n 1 "$STATE/display")

  export DISPLAY="$display" WINEPREFIX="$STATE/prefix"
  if ! "$WINE" wineboot -i </dev/null >"$STATE/wineboot.log" 2>&1; then
    cat "$STATE/wineboot.log" >&2
    stop_all
    die "wineboot could not make the prefix"
  fi
  # Windows opened before the prefix has settled do not show: wait for its
  # first server to end, then keep one running for the programs to come.
  "$WINESERVER" -w
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || { stop_all; die "cannot start the Wine server"; }

  printf 'DISPLAY=%s\nWINEPREFIX=%s\n' "$display" "$STATE/prefix" >"$STATE/wine.env.tmp"
  mv "$STATE/wine.env.tmp" "$STATE/wine.env"
  cat "$STATE/wine.env"
}

case $command in
  start) start_all ;;
  stop) stop_all ;;
  run)
    [ $# -ge 1 ] || die "usage: $0 run DIR PROGRAM [ARGS...]"
    running || die "no Wine environment in $STATE (run: $0 start $STATE)"
    # shellcheck disable=SC1091
    . "$STATE/wine.env"
    export DISPLAY WINEPREFIX
    # The prefix's own processes (services.exe and the like) that the
    # program starts outlive it, holding whatever output it had: the
    # program writes into files of its own, copied out once it has ended,
    # so that nothing keeps the caller's output open.
    out=$(mktemp "$STATE/out.XXXXXX") && err=$(mktemp "$STATE/err.XXXXXX") ||
      die "cannot make files in $STATE"
    status=0
    "$WINE" "$@" </dev/null >"$out" 2>"$err" || status=$?
    cat "$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    exit "$status"
    ;;
  *) die "unknown command $command" ;;
esac
