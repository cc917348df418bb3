#!/usr/bin/env bash
# Builds the release into OUT_DIR (default build/release): morvane-x64.exe,
# morvane-x86.exe, morvane-setup-x64.exe, morvane-setup-x86.exe, SHA256SUMS
# of those four, and TOOLCHAIN.txt, the versions that made them. Unsigned
# unless MORVANE_SIGN_CERT and MORVANE_SIGN_KEY name a certificate and its key
# (cmake/Signing.cmake). The same commit gives the same bytes, unsigned, in
# any folder at any time: the build starts from a clean state of its own
# folders (build/release-build), and what would vary is pinned below
# (docs/releasing.md).
#   scripts/release.sh [OUT_DIR]
set -euo pipefail
. "$(dirname "$0")/common.sh"
bash "$root/scripts/install-deps.sh"

out=${1:-$build_root/release}
names=(morvane-x64.exe morvane-x86.exe morvane-setup-x64.exe morvane-setup-x86.exe SHA256SUMS TOOLCHAIN.txt)
mkdir -p "$out"
out=$(cd "$out" && pwd)
(cd "$out" && rm -f "${names[@]}")
if [ -n "$(ls -A "$out")" ]; then
  echo "release: $out holds other files; give an empty folder" >&2
  exit 1
fi

# The PE time stamp (the linker takes SOURCE_DATE_EPOCH), from the commit;
# the set-ups store no file dates (SetDateSave off in installer/morvane.nsh).
commit=$(git -C "$root" rev-parse HEAD)
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
export LC_ALL=C LANG=C TZ=UTC
umask 022
build_root=$root/build/release-build
rm -rf "$build_root"
for arch in x86_64 i686; do
  echo "== release build: Windows $arch"
  build_windows "$arch" OFF
done

x64=$build_root/win-x86_64/bin x86=$build_root/win-i686/bin
cp "$x64/morvane.exe" "$out/morvane-x64.exe"
cp "$x86/morvane.exe" "$out/morvane-x86.exe"
cp "$x64/morvane-setup-x64.exe" "$x86/morvane-setup-x86.exe" "$out/"
(cd "$out" && sha256sum "${names[@]:0:4}" >SHA256SUMS)

packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  mingw-w64-x86-64-dev mingw-w64-i686-dev nsis cmake ninja-build)
{
  echo "commit $commit"
  echo "version $(cat "$build_root/win-x86_64/version.txt")"
  echo "SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
  echo "Debian $(cat /etc/debian_version) ($(. /etc/os-release && echo "$VERSION_CODENAME"))"
  dpkg-query -W -f '${Package} ${Version}\n' "${packages[@]}"
  echo "JsonCpp source $(sed -n '1s/^libjsoncpp (\(.*\)).*/\1/p' "$deps_root/jsoncpp/debian/changelog" 2>/dev/null)" \
    "sha256 of its files $(cd "$deps_root/jsoncpp" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-64)"
} >"$out/TOOLCHAIN.txt"
echo "release of $(cat "$build_root/win-x86_64/version.txt") in $out:"
cat "$out/SHA256SUMS"
