#!/usr/bin/env bash
# Unpacks Debian's libjsoncpp source package into the folder given (default
# build/deps/jsoncpp) for the mingw build, and prints that folder (and nothing
# else on standard output). Safe to run again: an unpacked tree is reused.
#
# Where the archive lacks the package's .dsc or Debian's changes (some mirrors
# keep only the upstream tarball of a release's newest version), the upstream
# tarball that the release's source index names is unpacked instead, after its
# SHA256 sum is checked against that index.
set -euo pipefail
dest=${1:-build/deps/jsoncpp}
if [ -f "$dest/CMakeLists.txt" ]; then
  echo "$dest"
  exit 0
fi
fail() {
  echo "fetch-jsoncpp-source: $*" >&2
  exit 1
}
work=$(dirname "$dest")/jsoncpp-download
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# One line per file: 'URI' NAME SIZE SHA256:SUM
apt-get source --print-uris libjsoncpp >uris.txt 2>apt.log ||
  fail "apt-get knows no libjsoncpp source package (is there a deb-src entry? scripts/install-deps.sh adds one): $(tail -n 1 apt.log)"
orig=$(sed -nE "s/^'[^']*' ([^ ]*\.orig\.tar\.[a-z0-9]+) [0-9]+ SHA256:([0-9a-f]+)$/\1 \2/p" uris.txt)
[ -n "$orig" ] || fail "the source index names no upstream tarball of libjsoncpp"
read -r orig_name orig_sum <<<"$orig"

# apt-get source drops privileges to _apt where it can; a folder that _apt
# cannot write only earns a warning. It keeps every file it could fetch.
if apt-get source --download-only libjsoncpp >>apt.log 2>&1 && dpkg-source --no-check -x ./*.dsc src >>apt.log 2>&1; then
  :
else
  echo "fetch-jsoncpp-source: Debian's libjsoncpp source package could not be fetched whole; using its upstream tarball $orig_name" >&2
  grep -E '^(E|Err):' apt.log | sed 's/^/  /' >&2 || true
  [ -f "$orig_name" ] || fail "the archive did not give $orig_name either; see $work/apt.log"
  echo "$orig_sum  $orig_name" | sha256sum --check --quiet >&2 ||
    fail "$orig_name does not match the SHA256 sum of the source index"
  rm -rf src
  mkdir src
  tar -xf "$orig_name" -C src --strip-components=1 || fail "could not unpack $orig_name"
  [ -f src/CMakeLists.txt ] || fail "$orig_name holds no CMakeLists.txt at its top"
fi
cd - >/dev/null
rm -rf "$dest"
mv "$work/src" "$dest"
rm -rf "$work"
echo "$dest"
