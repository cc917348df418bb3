#!/usr/bin/env bash
# Silent install without start (/NOSTART), silent install that starts the
# program, silent install again over the running copy, silent uninstall, in
# the Wine session that session.sh started; checks the files,
# the registry and the running copies after each step, and that the set-up
# program and the exe carry one version.
#   installer_check.sh STATE_DIR BIN_DIR   (BIN_DIR holds morvane.exe and morvane-setup.exe)
set -euo pipefail
state=$1 bin=$(cd "$2" && pwd)
# shellcheck disable=SC1091
. "$state/env"
wine() { "$MORVANE_WINE_LOADER" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# The started copy must not hold the caller's output open.
setup() { "$MORVANE_WINE_LOADER" "$@" </dev/null >/dev/null 2>&1 || fail "$1 $2: exit code $?"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
expect() { [ "$2" = "$3" ] || fail "$1: '$2', expected '$3'"; }
# A value's data as reg prints it, or nothing.
value() { wine reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# The Morvane processes of this prefix, whatever folder they run from.
copies() {
  local p
  for p in $(pgrep -f '[\\/]morvane\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
  return 0
}
# A copy left by a failed step must not meet the tests that follow.
trap 'kill $(copies) 2>/dev/null || true' EXIT
# Waits up to 20 s for a condition to hold.
within() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.2; done; return 1; }
# The command line a process was started with, as Wine gives it.
command_of() { tr '\0' '\n' <"/proc/$1/cmdline" | sed -n '1s/ *$//p'; }
version_of() { x86_64-w64-mingw32-windres -i "$1" -O rc | sed -n 's/.*"ProductVersion", L\{0,1\}"\([^"]*\)".*/\1/p'; }

dir_win="$(wine cmd /c echo %LOCALAPPDATA%)\\Programs\\Morvane"
dir=$(wine winepath -u "$dir_win")
link=$(wine winepath -u "$(wine cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs\\Morvane.lnk")
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane'
store='HKCU\Software\Trevolt\Orvent'
wine reg add "$store" /v Account /t REG_SZ /d shop-7 /f >/dev/null
wine reg add "$store" /v Password /t REG_BINARY /d 650166016e017001 /f >/dev/null

echo "== silent install, not started: what the set-up itself writes"
setup "$bin/morvane-setup.exe" /S /NOSTART
cmp -s "$dir/morvane.exe" "$bin/morvane.exe" || fail "no installed exe in $dir"
[ -f "$dir/uninstall.exe" ] && [ -f "$link" ] || fail "no uninstaller or no shortcut"
expect "Run value" "$(value "$run" Morvane)" "\"$dir_win\\morvane.exe\""
for name in DisplayName DisplayIcon Publisher UninstallString QuietUninstallString EstimatedSize; do
  [ -n "$(value "$entry" "$name")" ] || fail "uninstall entry without $name"
done
expect InstallLocation "$(value "$entry" InstallLocation)" "$dir_win"
expect "NoModify NoRepair" "$(value "$entry" NoModify) $(value "$entry" NoRepair)" "0x1 0x1"
expect "set-up version" "$(version_of "$bin/morvane-setup.exe")" "$(version_of "$bin/morvane.exe")"
expect DisplayVersion "$(value "$entry" DisplayVersion)" "$(version_of "$bin/morvane.exe")"
expect "running copies" "$(copies)" ""

echo "== silent install, started"
setup "$bin/morvane-setup.exe" /S
within '[ -n "$(copies)" ]' || fail "the installed copy does not run"
first=$(copies)
# A copy whose icon cannot be added ends at once: still running means its icon is up.
sleep 3
expect "running copy" "$(copies) $(command_of "$first")" "$first $dir_win\\morvane.exe"

echo "== silent install over the running copy"
setup "$bin/morvane-setup.exe" /S
within '[ -n "$(copies)" ]' || fail "no copy runs after the upgrade"
sleep 3
[ "$(copies | wc -l)" = 1 ] && [ "$(copies)" != "$first" ] || fail "copies after the upgrade: $(copies | xargs)"
expect "stored account and password" "$(value "$store" Account) $(value "$store" Password)" "shop-7 650166016E017001"

echo "== silent uninstall"
setup "$dir/uninstall.exe" /S
# The uninstaller goes on from a copy of itself in the temp folder.
within '[ ! -e "$dir" ]' || fail "$dir is still there"
within '[ -z "$(value "$entry" DisplayName)" ]' || fail "the uninstall entry is still there"
expect "running copies" "$(copies)" ""
[ ! -e "$link" ] || fail "the shortcut is still there"
expect "Run value" "$(value "$run" Morvane)" ""
expect "stored account and password" "$(value "$store" Account) $(value "$store" Password)" "shop-7 650166016E017001"
# A signed build (CERT, the third argument): the set-up, and the exe and the
# uninstaller it installs, carry valid signatures of CERT.
if [ -n "${3:-}" ]; then
  echo "== signatures"
  signed=$bin/morvane-setup.exe
  for file in "$bin"/morvane-setup-x*.exe; do [ ! -e "$file" ] || signed=$file; done
  setup "$signed" /S /NOSTART
  for file in "$signed" "$dir/morvane.exe" "$dir/uninstall.exe"; do
    osslsigncode verify -CAfile "$3" -in "$file" >/dev/null 2>&1 || fail "$file: no valid signature of $3"
  done
  setup "$dir/uninstall.exe" /S
  within '[ ! -e "$dir" ]' || fail "$dir is still there"
fi
echo "installer check passed"
