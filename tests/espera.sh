# Shell helpers shared by the whole-program tests; sourced, not run.

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
  n=$1
  shift
  while ! "$@" >/dev/null 2>&1; do
    n=$((n - 1))
    [ "$n" -gt 0 ] || return 1
    sleep 0.1
  done
}
