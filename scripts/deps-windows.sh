#!/bin/sh
# Installs the Debian 12 packages of the Windows build, apart from those of
# the Linux build (scripts/deps.sh), so that a Linux build installs none of
# them:
#   sh scripts/deps-windows.sh         the cross compilers and what the build
#                                      reads from the host (scripts/windows.sh)
#   sh scripts/deps-windows.sh test    also Wine and a virtual display for the
#                                      tests (scripts/test-windows.sh)
# Run as root. Safe to run again: apt-get skips what is already installed.
set -eu
export DEBIAN_FRONTEND=noninteractive
# The MinGW-w64 compilers with POSIX threads (Qt and std::thread need them);
# the host's Qt tools (moc, rcc, uic) of the same Qt version as the Windows
# Qt; the Firebird client's headers.
packages="cmake make xz-utils
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev
  qt6-base-dev qt6-base-dev-tools firebird-dev"
if [ "${1:-}" = test ]; then
  # GoogleTest's sources, Wine for 64-bit programs, a virtual display and the
  # tools the whole-program test drives it with.
  packages="$packages libgtest-dev wine64 wine xvfb xauth xdotool x11-utils fonts-dejavu-core"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  # shellcheck disable=SC2086
  apt-get install -y --no-install-recommends $missing
fi
