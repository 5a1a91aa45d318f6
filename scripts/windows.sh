#!/bin/sh
# Cross-builds Margivo for 64-bit Windows with MinGW-w64 (Release, warnings
# as errors) and makes dist/margivo-windows.zip: margivo.exe,
# margivo-report.exe, the Qt and MinGW DLLs they need, the platform and style
# plugins and LEIA-ME.txt, in one folder, Margivo\.
#
#   sh scripts/windows.sh           the programs and the zip
#   sh scripts/windows.sh --tests   also the tests that run under Wine
#                                   (scripts/test-windows.sh runs them)
#
# Qt 6.4.2 for Windows (Debian has none) comes from
# ../shared/toolchains/qt6.4.2-mingw64.tar.xz beside the checkout, unpacked
# into .cache/windows/; without it, it is built once from Debian's own source
# (scripts/build-qt-windows.sh, about 45 minutes on 2 CPUs) and kept there.
# MARGIVO_QT_WINDOWS=<folder> names a Qt for Windows unpacked elsewhere.
# Run as root on Debian 12 from the checkout; the build goes to build-windows/.
set -eu
cd "$(dirname "$0")/.."
checkout=$(pwd)

tests=OFF
case "${1:-}" in
  --tests) tests=ON ;;
  "") ;;
  *)
    echo "usage: $0 [--tests]" >&2
    exit 2
    ;;
esac

if [ "$tests" = ON ]; then
  sh scripts/deps-windows.sh test
else
  sh scripts/deps-windows.sh
fi

cache=$checkout/.cache/windows
tarball=$checkout/../shared/toolchains/qt6.4.2-mingw64.tar.xz
if [ -n "${MARGIVO_QT_WINDOWS:-}" ]; then
  qt=$MARGIVO_QT_WINDOWS
elif [ -f "$tarball" ]; then
  qt=$cache/qt6-mingw
  # Unpacked again only when the archive changed.
  sum=$(sha256sum "$tarball" | cut -d ' ' -f 1)
  if [ "$(cat "$qt/.margivo-unpacked" 2>/dev/null)" != "$sum" ]; then
    echo "Unpacking Qt for Windows from $tarball..."
    rm -rf "$qt"
    mkdir -p "$cache"
    tar -xJf "$tarball" -C "$cache"
    echo "$sum" >"$qt/.margivo-unpacked"
  fi
else
  qt=$cache/qt6-mingw-built
  if [ ! -f "$qt/.margivo-built" ]; then
    echo "Qt 6.4.2 for Windows is not in ../shared/toolchains: building it from Debian's source"
    echo "(once, about 45 minutes on 2 CPUs; kept in $qt)."
    start=$(date +%s)
    sh scripts/build-qt-windows.sh "$qt"
    echo "Qt for Windows built in $((($(date +%s) - start) / 60)) minutes."
  fi
fi
[ -x "$qt/bin/qt-cmake" ] || { echo "no Qt for Windows in $qt (bin/qt-cmake missing)" >&2; exit 1; }

"$qt/bin/qt-cmake" -S . -B build-windows -DCMAKE_BUILD_TYPE=Release -DMARGIVO_WERROR=ON \
  -DMARGIVO_BUILD_TESTS="$tests"
if [ "$tests" = ON ]; then
  cmake --build build-windows -j"$(nproc)"
else
  cmake --build build-windows -j"$(nproc)" --target windows_zip
fi
mkdir -p dist
cp build-windows/margivo-windows.zip dist/margivo-windows.zip
echo "Windows programs: dist/margivo-windows.zip"
