#!/usr/bin/env bash
# Checks the import tables of both Windows builds' exe, set-up program and
# uninstaller against tools/windows-imports.tsv: nothing newer than Windows 7 is imported.
set -euo pipefail
. "$(dirname "$0")/common.sh"

files=()
for arch in i686 x86_64; do
  bin="$build_root/win-$arch/bin"
  case $arch in i686) setup=morvane-setup-x86.exe ;; *) setup=morvane-setup-x64.exe ;; esac
  files+=("$bin/morvane.exe" "$bin/$setup" "$build_root/win-$arch/installer/uninstall.exe")
done
python3 "$root/tools/check_imports.py" "$root/tools/windows-imports.tsv" "${files[@]}"
