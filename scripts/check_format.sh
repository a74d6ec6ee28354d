#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted as .clang-format says;
# prints the files that are not and exits 1. `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cc' '*.h' 2>/dev/null || find src tests bench tools -name '*.cc' -o -name '*.h')
if ! clang-format --dry-run -Werror "${files[@]}" 2>/dev/null; then
  clang-format --dry-run "${files[@]}" 2>&1 | grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error)' | cut -d: -f1 | sort -u
  echo "check_format: the files above are not formatted (clang-format -i FILE)"
  exit 1
fi
echo "check_format: every file is formatted"
