#!/bin/sh
# The Windows programs as a user gets them, from the distribution zip, under
# Wine on a virtual display (no Firebird client exists for Windows here):
#   - the zip holds the programs, the Qt and MinGW DLLs, the platform plugin
#     and LEIA-ME.txt, and the programs run with nothing else on the path;
#   - margivo-report.exe --help exits 0; without a settings file it exits 2
#     naming C:\TempKZW\ConfigGadGet.Ini; with one, it exits 1 naming the
#     client libraries it looked for, each with the system's reason;
#   - margivo.exe, with a settings file in Windows-1252 with CRLF at
#     C:\TempKZW\ConfigGadGet.Ini, shows its error box for the missing client
#     (a screenshot is kept: ARTEFACTS/margivo-cliente-ausente.png), a second
#     copy started meanwhile ends at once with status 0 and shows nothing,
#     and OK ends the program with status 1, every window gone and the
#     settings file untouched.
# Usage: test_programa_wine.sh ZIP CAPTURA_TELA.EXE WINE.SH WINE_STATE_DIR ARTEFACTS
set -eu

zip=$1
captura=$2
wine_sh=$3
state=$4
artefacts=$5

command -v xdotool >/dev/null 2>&1 || { echo "FAIL: xdotool is missing (scripts/deps-windows.sh installs it)"; exit 1; }
# shellcheck disable=SC1090
. "$state/wine.env"
export DISPLAY WINEPREFIX
# Only what the zip holds: no DLL folder of the build on the path.
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM || true

tmp=$(mktemp -d)
ini_dir="$WINEPREFIX/drive_c/TempKZW"
ini="$ini_dir/ConfigGadGet.Ini"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp" "$ini_dir"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  for f in "$tmp"/*.out "$tmp"/*.err; do
    [ -s "$f" ] && { echo "--- $(basename "$f"):"; cat "$f"; }
  done
  exit 1
}

run() {
  sh "$wine_sh" run "$state" "$@"
}

# wait_for TENTHS COMMAND...
. "$(dirname "$0")/../espera.sh"

visible_windows() {
  xdotool search --onlyvisible --classname '^margivo\.exe$' 2>/dev/null | wc -l
}

shows_a_window() {
  [ "$(visible_windows)" -ge 1 ]
}

# --- The zip's layout.
cmake -E chdir "$tmp" cmake -E tar xf "$zip" || fail "cannot unpack $zip"
app="$tmp/Margivo"
for f in margivo.exe margivo-report.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
  platforms/qwindows.dll styles/qwindowsvistastyle.dll \
  libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll LEIA-ME.txt; do
  [ -f "$app/$f" ] || fail "the zip lacks Margivo/$f"
done
grep -q 'C:\\TempKZW\\ConfigGadGet.Ini' "$app/LEIA-ME.txt" || fail "LEIA-ME.txt does not say where the settings are"
grep -q 'fbclient.dll' "$app/LEIA-ME.txt" || fail "LEIA-ME.txt does not name the Firebird client"
[ "$(head -c 3 "$app/LEIA-ME.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "LEIA-ME.txt has no UTF-8 byte order mark"
grep -q "$(printf '\r')\$" "$app/LEIA-ME.txt" || fail "LEIA-ME.txt lines do not end in CRLF"
echo "ok: the zip holds the programs, their DLLs, the plugins and LEIA-ME.txt"

# --- The report tool.
rm -rf "$ini_dir"
run "$app/margivo-report.exe" --help >"$tmp/help.out" 2>"$tmp/help.err" || fail "margivo-report.exe --help exited $?"
grep -q 'Status de saída' "$tmp/help.out" || fail "the help does not list the exit statuses"
status=0
run "$app/margivo-report.exe" >"$tmp/sem-arquivo.out" 2>"$tmp/sem-arquivo.err" || status=$?
[ "$status" = 2 ] || fail "without a settings file margivo-report.exe exited $status, not 2"
grep -qF 'Arquivo de configuração não encontrado: C:\TempKZW\ConfigGadGet.Ini' "$tmp/sem-arquivo.err" ||
  fail "the missing settings file is not named"
echo "ok: margivo-report.exe --help exits 0; a missing settings file exits 2 and is named"

# The settings as the ERP's tools write them: Windows-1252, CRLF.
mkdir -p "$ini_dir"
printf '[Configuracoes]\r\nLocRem=R\r\nServidor=servidor-erp\r\nProtocolo=0\r\nCaminhoBanco=C:\\ERP\\DADOS.FDB\r\nUsuario=SYSDBA\r\nSenha=masterkey\r\nFilial=S\343o Paulo\r\n\r\n[Trovesk]\r\nEmpresa=01\r\nPeriodo=2\r\n' >"$ini"
cp "$ini" "$tmp/ini.before"

status=0
run "$app/margivo-report.exe" >"$tmp/sem-cliente.out" 2>"$tmp/sem-cliente.err" || status=$?
[ "$status" = 1 ] || fail "without a Firebird client margivo-report.exe exited $status, not 1"
grep -qF 'Não foi possível carregar a biblioteca cliente do Firebird (fbclient.dll, gds32.dll). Instale o cliente do Firebird usado pelo ERP' \
  "$tmp/sem-cliente.err" || fail "the message does not name the client libraries"
grep -q '^  fbclient.dll: .' "$tmp/sem-cliente.err" || fail "no reason for fbclient.dll"
grep -q '^  gds32.dll: .' "$tmp/sem-cliente.err" || fail "no reason for gds32.dll"
echo "ok: without the client margivo-report.exe exits 1 naming fbclient.dll and gds32.dll"

# --- The program.
run "$app/margivo.exe" >"$tmp/margivo.out" 2>"$tmp/margivo.err" &
app_pid=$!
wait_for 300 shows_a_window || fail "margivo.exe showed no window"
box=$(xdotool search --onlyvisible --classname '^margivo\.exe$' | head -n 1)
[ "$(visible_windows)" = 1 ] || fail "margivo.exe shows $(visible_windows) windows, not only its message box"
title=$(xdotool getwindowname "$box")
[ "$title" = margivo ] || fail "the box's title is \"$title\""
geometry=$(xwininfo -id "$box" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}')
# A moment for the box to paint itself, then the picture.
sleep 1
mkdir -p "$artefacts"
shot="$artefacts/margivo-cliente-ausente.png"
rm -f "$shot"
# The screenshot tool runs on the zip's DLLs too.
cp "$captura" "$app/captura_tela.exe"
run "$app/captura_tela.exe" "$shot" >"$tmp/captura.out" 2>"$tmp/captura.err" ||
  fail "cannot take the screenshot"
drawn=$(tr -d '\r' <"$tmp/captura.out")
# Everything drawn on the screen lies in the box.
set -- $geometry
bx=$1 by=$2 bw=$3 bh=$4
set -- $drawn
[ "$1" -ge "$bx" ] && [ "$2" -ge "$by" ] && [ $(($1 + $3)) -le $((bx + bw)) ] &&
  [ $(($2 + $4)) -le $((by + bh)) ] && [ $(($3 * $4)) -gt $((bw * bh / 2)) ] ||
  fail "the screen shows \"$drawn\" where the box is \"$geometry\""
echo "ok: margivo.exe shows its error box ($geometry); screenshot: $shot"

# A second copy while the first holds the lock.
status=0
run "$app/margivo.exe" >"$tmp/segunda.out" 2>"$tmp/segunda.err" || status=$?
[ "$status" = 0 ] || fail "the second copy exited $status, not 0"
[ "$(visible_windows)" = 1 ] || fail "the second copy showed a window"
echo "ok: a second copy ends at once with status 0 and shows nothing"

# OK ends the program.
xdotool windowfocus --sync "$box" key Return
n=100
while kill -0 "$app_pid" 2>/dev/null && [ "$n" -gt 0 ]; do
  sleep 0.1
  n=$((n - 1))
done
kill -0 "$app_pid" 2>/dev/null && fail "margivo.exe did not end after OK"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 1 ] || fail "margivo.exe exited $status after the start-up failed, not 1"
[ "$(visible_windows)" = 0 ] || fail "a window of margivo.exe is left"
cmp -s "$tmp/ini.before" "$ini" || fail "the settings file was changed"
echo "ok: OK ends margivo.exe with status 1; no window left; the settings file untouched"
