#!/usr/bin/env bash
# Fails, naming each file, when a C++ file of the project is not laid out as
# the root's .clang-format says (clang-format -i FILE mends it).
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc')
if [ "${#unformatted[@]}" -gt 0 ]; then
  printf 'not formatted (clang-format -i FILE): %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "format: every C++ file as .clang-format says"
