#!/bin/sh
# Builds Qt 6.4.2 for 64-bit Windows with MinGW-w64 from Debian's own source
# package, qt6-base, into PREFIX: Core, Gui, Widgets, the Windows platform
# plugin, the image-format and style plugins; shared libraries, Release.
# About 45 minutes on 2 CPUs. The result works from wherever PREFIX is moved
# to: PREFIX/bin/qt-cmake configures a project for Windows.
# Usage (as root on Debian 12): build-qt-windows.sh PREFIX
set -eu
[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
case $1 in
  /*) prefix=$1 ;;
  *) prefix=$(pwd)/$1 ;;
esac
export DEBIAN_FRONTEND=noninteractive
# The host's own Qt of the same version gives the build tools (moc, rcc,
# uic); perl runs Qt's header generator.
apt-get install -y --no-install-recommends qt6-base-dev qt6-base-dev-tools perl xz-utils \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  mingw-w64-x86-64-dev cmake make >/dev/null

work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The source, through a private apt configuration whose only list is the
# deb-src twin of the system's Debian list: the system's own lists stay as
# they are.
list=/etc/apt/sources.list.d/debian.sources
[ -f "$list" ] || { echo "no $list to make a deb-src list from" >&2; exit 1; }
mkdir -p apt/sources apt/lists/partial
sed 's/^Types: deb$/Types: deb-src/' "$list" >apt/sources/debian-src.sources
apt_private="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$work/apt/sources
  -o Dir::State::Lists=$work/apt/lists"
# shellcheck disable=SC2086
apt-get $apt_private update >/dev/null
# shellcheck disable=SC2086
apt-get $apt_private source --download-only qt6-base
tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz
src=qtbase-everywhere-src-6.4.2

# The cross compilers, and the MinGW-w64 root for libraries and headers only:
# the host's programs run, the host's headers and libraries are never seen.
cat >mingw-w64-x86_64.cmake <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

# Tablet events off: Debian's source drops the bundled wintab.h that both
# Windows platform plugins include for them. Direct2D stays on: without it
# QtGui leaves out the DirectWrite font database that qwindows links to.
# Every library Qt bundles is used bundled (none exists for MinGW here).
cmake -S "$src" -B build -DCMAKE_TOOLCHAIN_FILE="$work/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
  -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF
cmake --build build --parallel "$(nproc)"
cmake --install build

# The prefix carries its toolchain file and finds it relative to itself.
cp mingw-w64-x86_64.cmake "$prefix/lib/cmake/mingw-w64-x86_64.cmake"
sed -i 's|^set(__qt_initially_configured_toolchain_file .*|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../mingw-w64-x86_64.cmake")|' \
  "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
touch "$prefix/.margivo-built"
cd /
rm -rf "$work"
