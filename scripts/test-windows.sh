#!/bin/sh
# Builds the Windows programs and their tests (scripts/windows.sh --tests)
# and runs the tests under Wine, headless on a virtual display, in a Wine
# prefix of their own: the tests that need no database (the settings file,
# the helpers, dates and regional formats, the Firebird client's look-up and
# a start-up without it, the desktop layer) and the whole program from the
# zip. No database is reached under Wine.
# Run as root on Debian 12 from the checkout.
set -eu
cd "$(dirname "$0")/.."
sh scripts/windows.sh --tests
ctest --test-dir build-windows --output-on-failure -j1
echo "Screenshot of margivo.exe under Wine: build-windows/artefatos/margivo-cliente-ausente.png"
