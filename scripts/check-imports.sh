#!/usr/bin/env bash
# Checks the import tables of both Windows builds' exe and set-up program
# against tools/windows-imports.tsv: nothing newer than Windows 7 is imported.
set -euo pipefail
. "$(dirname "$0")/common.sh"

files=()
for arch in i686 x86_64; do
  bin="$build_root/win-$arch/bin"
  case $arch in i686) setup=morvane-setup-x86.exe ;; *) setup=morvane-setup-x64.exe ;; esac
  # The set-up's older name, while a build still makes that one.
  if [ ! -e "$bin/$setup" ] && [ -e "$bin/morvane-setup.exe" ]; then setup=morvane-setup.exe; fi
  files+=("$bin/morvane.exe" "$bin/$setup")
done
python3 "$root/tools/check_imports.py" "$root/tools/windows-imports.tsv" "${files[@]}"
