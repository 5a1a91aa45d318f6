#!/bin/bash
# A private Firebird 3 server on 127.0.0.1 for the tests that connect
# through a server.
#
#   scripts/fbserver.sh start    start it (or confirm the running one), print its coordinates
#   scripts/fbserver.sh stop     stop the server that `start` started, by its process id
#   scripts/fbserver.sh status   print the coordinates, exit 1 when it is not running
#
# Everything lives in one state directory, $MARGIVO_FBSERVER_DIR
# (default /tmp/margivo-fbserver):
#   server.env  the coordinates, KEY=value lines (also valid shell):
#                 MARGIVO_FBSERVER_HOST=127.0.0.1
#                 MARGIVO_FBSERVER_PORT=<port>
#                 MARGIVO_FBSERVER_USER=SYSDBA
#                 MARGIVO_FBSERVER_PASSWORD=<password>
#                 MARGIVO_FBSERVER_DATA=<state dir>/data
#               A database of the server is named
#               "$HOST/$PORT:$DATA/<file>.fdb"; files go in $DATA only.
#               The file exists only while the server is up and answering.
#   server.pid  the server's process id
#   conf/       firebird.conf, databases.conf and a private copy of the
#               security database whose SYSDBA password is set here
#   lock/       the server's lock files (FIREBIRD_LOCK), apart from the
#               embedded engine's /tmp/firebird: a SuperServer opens its files
#               exclusively, so its files and the tests' embedded files never
#               mix
#   data/       the databases created through the server (owned by the
#               server's user)
#   server.log  the server's output
#
# Port: $MARGIVO_FBSERVER_PORT, default 3059; when that port is taken by
# another program the next free one up to 20 above is used. Never 3050, the
# port of a system-wide server.
#
# As root the server runs as user firebird (the package's user); as another
# user it runs as that user. The system's own server, configuration and
# security database are left untouched.
set -u

STATE=${MARGIVO_FBSERVER_DIR:-/tmp/margivo-fbserver}
FIRST_PORT=${MARGIVO_FBSERVER_PORT:-3059}
PASSWORD=margivo
SERVER_BIN=/usr/sbin/firebird
SYSTEM_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
MSG_DIR=/usr/lib/x86_64-linux-gnu/firebird/3.0
PLUGINS_CONF=/etc/firebird/3.0/plugins.conf
SYSTEM_LOG=/var/log/firebird/firebird3.0.log

die() {
  echo "fbserver: $*" >&2
  exit 1
}

if [ "$(id -u)" = 0 ]; then
  RUN_AS=firebird
else
  RUN_AS=$(id -un)
fi

# Runs a command as the server's user, in the server's environment.
as_server() {
  local env="export FIREBIRD='$STATE/conf' FIREBIRD_LOCK='$STATE/lock' FIREBIRD_MSG='$MSG_DIR';"
  if [ "$(id -un)" = "$RUN_AS" ]; then
    sh -c "$env $1"
  else
    su -s /bin/sh "$RUN_AS" -c "$env $1"
  fi
}

port_accepts() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# True when $1 is a live server process started from this state directory
# (a recycled process id is not ours).
is_our_server() {
  local pid=$1
  [ -n "$pid" ] && [ -d "/proc/$pid" ] || return 1
  local state
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
  [ "$state" != Z ] || return 1
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$SERVER_BIN" ] || return 1
  tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "FIREBIRD_LOCK=$STATE/lock"
}

recorded_pid() {
  cat "$STATE/server.pid" 2>/dev/null
}

print_coordinates() {
  cat "$STATE/server.env"
}

running() {
  local pid
  pid=$(recorded_pid)
  [ -f "$STATE/server.env" ] && is_our_server "$pid" || return 1
  # shellcheck disable=SC1091
  . "$STATE/server.env"
  port_accepts "$MARGIVO_FBSERVER_PORT"
}

stop_server() {
  local pid
  pid=$(recorded_pid)
  if is_our_server "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 1 100); do
      is_our_server "$pid" || break
      sleep 0.1
    done
    if is_our_server "$pid"; then
      kill -KILL "$pid" 2>/dev/null
      sleep 0.2
    fi
    is_our_server "$pid" && die "server (pid $pid) did not stop"
    echo "fbserver: stopped server pid $pid"
  fi
  rm -rf "$STATE/server.env" "$STATE/server.pid" "$STATE/conf" "$STATE/lock" "$STATE/data"
}

start_server() {
  if running; then
    print_coordinates
    return 0
  fi
  # A state directory left by a server that died: start over.
  stop_server >/dev/null

  [ -x "$SERVER_BIN" ] || die "$SERVER_BIN not found (package firebird3.0-server)"
  [ -r "$SYSTEM_SECURITY_DB" ] || die "cannot read $SYSTEM_SECURITY_DB"
  command -v isql-fb >/dev/null || die "isql-fb not found (package firebird3.0-utils)"
  if [ "$RUN_AS" = firebird ] && ! id firebird >/dev/null 2>&1; then
    die "user firebird does not exist (package firebird3.0-server)"
  fi

  local port=$FIRST_PORT
  while port_accepts "$port" || [ "$port" = 3050 ]; do
    port=$((port + 1))
    [ "$port" -le $((FIRST_PORT + 20)) ] || die "no free port in $FIRST_PORT..$((FIRST_PORT + 20))"
  done

  mkdir -p "$STATE/conf" "$STATE/lock" "$STATE/data" || die "cannot create $STATE"
  cp "$SYSTEM_SECURITY_DB" "$STATE/conf/security3.fdb" || die "cannot copy the security database"
  [ -r "$PLUGINS_CONF" ] && cp "$PLUGINS_CONF" "$STATE/conf/plugins.conf"
  cat >"$STATE/conf/firebird.conf" <<EOF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $STATE/conf/security3.fdb
UdfAccess = None
EOF
  cat >"$STATE/conf/databases.conf" <<EOF
security.db = $STATE/conf/security3.fdb
{
	RemoteAccess = false
}
EOF
  chmod 0755 "$STATE"
  chmod 0770 "$STATE/lock" "$STATE/data" "$STATE/conf"
  if [ "$(id -un)" != "$RUN_AS" ]; then
    chown -R "$RUN_AS:$RUN_AS" "$STATE/conf" "$STATE/lock" "$STATE/data" || die "cannot hand $STATE to $RUN_AS"
  fi

  # A known password on the private copy of the security database, set
  # through the embedded engine before the server opens the file.
  local sql="$STATE/conf/password.sql"
  printf "ALTER USER SYSDBA PASSWORD '%s' USING PLUGIN Srp;\nCOMMIT;\n" "$PASSWORD" >"$sql"
  chmod 0644 "$sql"
  if ! as_server "isql-fb -q -user SYSDBA -i '$sql' '$STATE/conf/security3.fdb'" >"$STATE/password.log" 2>&1; then
    cat "$STATE/password.log" >&2
    die "cannot set the SYSDBA password on $STATE/conf/security3.fdb"
  fi
  rm -f "$sql"

  : >"$STATE/server.log"
  chmod 0666 "$STATE/server.log"
  local pid
  pid=$(as_server "cd '$STATE/data' && setsid $SERVER_BIN </dev/null >>'$STATE/server.log' 2>&1 & echo \$!")
  [ -n "$pid" ] || die "could not start $SERVER_BIN"
  echo "$pid" >"$STATE/server.pid"

  for _ in $(seq 1 150); do
    port_accepts "$port" && break
    is_our_server "$pid" || break
    sleep 0.1
  done
  if ! is_our_server "$pid" || ! port_accepts "$port"; then
    echo "fbserver: the server did not come up on 127.0.0.1:$port" >&2
    echo "--- $STATE/server.log" >&2
    cat "$STATE/server.log" >&2
    if [ -r "$SYSTEM_LOG" ]; then
      echo "--- last lines of $SYSTEM_LOG" >&2
      tail -n 20 "$SYSTEM_LOG" >&2
    fi
    stop_server >/dev/null
    exit 1
  fi

  cat >"$STATE/server.env.tmp" <<EOF
MARGIVO_FBSERVER_HOST=127.0.0.1
MARGIVO_FBSERVER_PORT=$port
MARGIVO_FBSERVER_USER=SYSDBA
MARGIVO_FBSERVER_PASSWORD=$PASSWORD
MARGIVO_FBSERVER_DATA=$STATE/data
EOF
  chmod 0644 "$STATE/server.env.tmp"
  mv "$STATE/server.env.tmp" "$STATE/server.env"
  echo "fbserver: started server pid $pid on 127.0.0.1:$port (state in $STATE)"
  print_coordinates
}

case "${1:-}" in
  start) start_server ;;
  stop) stop_server ;;
  status)
    if running; then
      print_coordinates
    else
      echo "fbserver: not running" >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
