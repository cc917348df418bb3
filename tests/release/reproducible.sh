#!/usr/bin/env bash
# The release is reproducible: two clones of this checkout's commit (with the
# uncommitted changes of tracked files), in two folders of other names; the
# first builds the release, the second, later and with another time zone,
# umask and locale, verifies it as IT does, byte for byte.
#   reproducible.sh WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
rm -rf "$work"
commit=$(git -C "$root" stash create)
for side in first/morvane second/release-tree; do
  git clone -q --shared --no-checkout "$root" "$work/$side"
  git -C "$work/$side" checkout -q --detach "${commit:-HEAD}"
  # The fetched JsonCpp source: an input, like the commit.
  mkdir -p "$work/$side/build/deps"
  cp -r "$root/build/deps/jsoncpp" "$work/$side/build/deps/"
done
(cd "$work/first/morvane" && TZ=UTC umask 022 && bash scripts/release.sh) >"$work/first.log" 2>&1 ||
  { cat "$work/first.log"; exit 1; }
(cd "$work/second/release-tree" && export TZ=Asia/Shanghai LANG=zh_CN.UTF-8 && umask 077 &&
  bash scripts/verify-release.sh "$work/first/morvane/build/release" "$work/second/out") >"$work/second.log" 2>&1 ||
  { cat "$work/second.log"; exit 1; }
grep -E '^(same|DIFFERENT|MISSING)' "$work/second.log"
