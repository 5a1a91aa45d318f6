#!/bin/sh
# Installs what is missing, checks that every source file is formatted as
# .clang-format says, builds Margivo twice (warnings as errors; then
# with address and undefined-behaviour sanitizers) and runs every test of
# both builds, then builds the test programs that run threads of ours with
# the thread sanitizer and runs them. The tests start their own Firebird
# server on 127.0.0.1 and stop it at the end. Run as root on Debian 12 from
# the checkout.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
sh scripts/check-format.sh
jobs=$(nproc)

# The first build without debug information: it compiles in two thirds of
# the time, and a crash is reported with its stack by the sanitizer builds.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DMARGIVO_WERROR=ON
cmake --build build -j"$jobs"
# As many tests at once as there are processors; the whole-program tests
# under Xvfb, which time the program's exits, run alone (RUN_SERIAL).
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMARGIVO_SANITIZE=ON
cmake --build build-asan -j"$jobs"
# The Firebird engine keeps process-wide caches until exit; leak checking
# would report those, not ours.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The read-ahead fetch and the refresh worker under the thread sanitizer: only
# the programs labelled "threads" are built and run, each as one test.
# tests/tsan.supp names the races reported inside the Firebird engine and Qt,
# which are not built with the sanitizer; a race in our code fails the run.
# The lock-order checker is off: the engine holds more locks at once than it
# can follow (it stops with a CHECK failure), and our code has one mutex.
# Forking once threads run is allowed: the tests that start a second program
# fork only to run it.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARGIVO_SANITIZE_THREAD=ON
cmake --build build-tsan -j"$jobs" --target margivo_thread_tests
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp detect_deadlocks=0 die_after_fork=0" \
  ctest --test-dir build-tsan -L threads --output-on-failure -j1
echo "All tests passed (normal, address and thread sanitizer builds)."
