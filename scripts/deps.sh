#!/bin/sh
# Installs the Debian 12 packages Margivo needs to build, test and run.
# Run as root. Safe to run again: apt-get skips what is already installed.
set -eu
export DEBIAN_FRONTEND=noninteractive
packages="cmake g++ make pkg-config git clang-format
  qt6-base-dev qt6-base-private-dev libgl1-mesa-dev
  libgtest-dev
  firebird-dev firebird3.0-server firebird3.0-utils
  xvfb xauth x11-utils fonts-dejavu-core fonts-liberation
  libxcb1-dev xdotool"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  # shellcheck disable=SC2086
  apt-get install -y --no-install-recommends $missing
fi
