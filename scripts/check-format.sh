#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format (.clang-format) makes
# of it. Lists the files that need formatting.
set -euo pipefail
cd "$(dirname "$0")/.."
# The source folders themselves, not git's index: a fresh machine may have no git.
mapfile -t files < <(find platform common client controls updater tools skin tests benchmarks \
  \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
if [ ${#files[@]} -eq 0 ]; then
  echo "Formatting: no source files found" >&2
  exit 1
fi
bad=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "Not formatted (run clang-format -i):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "Formatting: ${#files[@]} files checked"
