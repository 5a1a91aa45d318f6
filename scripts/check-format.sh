#!/bin/sh
# Fails, naming them, when source files of ours differ from what
# .clang-format makes of them. `clang-format -i FILE` mends one.
set -eu
cd "$(dirname "$0")/.."
differing=$(git ls-files '*.cpp' '*.h' | while read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"
done)
if [ -n "$differing" ]; then
  echo "These files differ from .clang-format (run clang-format -i on them):" >&2
  echo "$differing" | sed 's/^/  /' >&2
  exit 1
fi
