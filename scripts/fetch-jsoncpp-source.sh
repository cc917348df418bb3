#!/usr/bin/env bash
# Unpacks Debian's libjsoncpp source package into the folder given (default
# build/deps/jsoncpp) for the mingw build, and prints that folder. Safe to run
# again: an unpacked tree is reused.
set -euo pipefail
dest=${1:-build/deps/jsoncpp}
if [ -f "$dest/CMakeLists.txt" ]; then
  echo "$dest"
  exit 0
fi
work=$(dirname "$dest")/jsoncpp-download
rm -rf "$work"
mkdir -p "$work"
(
  cd "$work"
  # apt-get source drops privileges to _apt where it can; a folder that _apt
  # cannot write only earns a warning.
  apt-get source --download-only libjsoncpp >/dev/null 2>&1 || apt-get source --download-only libjsoncpp
  dpkg-source --no-check -x libjsoncpp_*.dsc src >/dev/null
)
rm -rf "$dest"
mv "$work/src" "$dest"
rm -rf "$work"
echo "$dest"
