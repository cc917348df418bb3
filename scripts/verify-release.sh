#!/usr/bin/env bash
# IT's check of a published release: rebuilds the release of this checkout's
# commit and compares it with the published folder, file by file, byte for
# byte. A published exe or set-up that is signed has its signature moved onto
# the rebuilt file first, so that the bytes the build made are what is
# compared (a signed set-up packs a signed exe, which its rebuild cannot
# carry: for it, compare its exe, docs/releasing.md). Exit 0 when every file
# is the same.
#   scripts/verify-release.sh PUBLISHED_DIR [REBUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
published=$(cd "$1" && pwd)
rebuilt=${2:-$root/build/verify-release}
signatures=$(mktemp -d)
trap 'rm -rf "$signatures"' EXIT
bash "$root/scripts/release.sh" "$rebuilt"
status=0
for name in morvane-x64.exe morvane-x86.exe morvane-setup-x64.exe morvane-setup-x86.exe SHA256SUMS TOOLCHAIN.txt; do
  ours=$rebuilt/$name
  if [ ! -f "$published/$name" ]; then
    echo "MISSING in $published: $name"
    status=1
    continue
  fi
  if osslsigncode extract-signature -in "$published/$name" -out "$signatures/$name.sig" >/dev/null 2>&1; then
    ours=$signatures/$name
    osslsigncode attach-signature -sigin "$signatures/$name.sig" -in "$rebuilt/$name" -out "$ours" >/dev/null 2>&1 ||
      [ -f "$ours" ] || { echo "DIFFERENT: $name (its signature does not fit the rebuilt file)"; status=1; continue; }
  fi
  if cmp -s "$published/$name" "$ours"; then
    echo "same: $name"
  else
    echo "DIFFERENT: $name; first differing bytes (offset, octal values):"
    cmp -l "$published/$name" "$ours" | head -n 5 || true
    status=1
  fi
done
exit "$status"
