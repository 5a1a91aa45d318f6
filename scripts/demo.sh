#!/bin/sh
# The main job on the demo database: installs what is missing, builds
# Margivo, creates the demo ERP database (embedded engine, a local file) and
# a settings file for it under ./demo (never the user's own settings file),
# then runs the profitability refresh on it and prints the report.
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
