#!/usr/bin/env bash
# Silent install into a folder IT names (/D=) without start (/NOSTART),
# silent install that starts the program and finds that folder again, silent
# install over the running copy, the move from the 32-bit set-up to the
# 64-bit one, an uninstall that a copy which does not close stops, a silent
# uninstall, and the next set-up, which removes the uninstaller's copy in the
# temporary folder, in the Wine session that scripts/wine-session.sh started; checks the
# files, the registry and the running copies after each step, and that the
# set-up program and the exe carry one version (and, in a signed build, valid
# signatures of CERT); and that a set-up started by the system account
# refuses to run.
#   installer_check.sh STATE_DIR BIN_DIR [CERT]   (the other architecture's build beside this one)
# The end-to-end scenarios drive the copy that this build's set-up installed:
#   installer_check.sh install|remove STATE_DIR BIN_DIR
# installs it silently, not started, and checks that the installed exe is
# byte for byte the one the build made, or uninstalls it.
set -euo pipefail
case $1 in install | remove) mode=$1 && shift ;; *) mode=check ;; esac
state=$1 bin=$(cd "$2" && pwd)
# shellcheck disable=SC1091
. "$state/env"
wine() { "$MORVANE_WINE_LOADER" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# The started copy must not hold the caller's output open.
code() { "$MORVANE_WINE_LOADER" "$@" </dev/null >/dev/null 2>&1 && echo 0 || echo $?; }
setup() { expect "$1 $2 exit code" "$(code "$@")" 0; }
fail() { echo "FAIL: $*" >&2; exit 1; }
expect() { [ "$2" = "$3" ] || fail "$1: '$2', expected '$3'"; }
# A value's data as reg prints it, or nothing.
value() { wine reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# The Morvane processes of this prefix (or those of the program named by the
# pattern given), whatever folder they run from.
copies() {
  local p
  for p in $(pgrep -f "${1:-[\\/]morvane\.exe}"); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
  return 0
}
# A copy left by a failed step must not meet the tests that follow.
trap 'kill -CONT $(copies) 2>/dev/null || true; kill $(copies) 2>/dev/null || true' EXIT
# Waits up to 20 s for a condition to hold.
within() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.2; done; return 1; }
version_of() { x86_64-w64-mingw32-windres -i "$1" -O rc | sed -n 's/.*"ProductVersion", L\{0,1\}"\([^"]*\)".*/\1/p'; }
# This build's set-up, and the bin folders of the 32-bit and the 64-bit build, side by side.
if [ -f "$bin/morvane-setup-x86.exe" ]; then own=$bin/morvane-setup-x86.exe x86=$bin x64=$bin/../../win-x86_64/bin
else own=$bin/morvane-setup-x64.exe x64=$bin x86=$bin/../../win-i686/bin; fi
# The default folder, named, so that an installation left elsewhere does not draw the set-up there.
installed_win="$(wine cmd /c echo %LOCALAPPDATA%)\\Programs\\Morvane" && installed=$(wine winepath -u "$installed_win")
case $mode in
  install) setup "$own" /S /NOSTART "/D=$installed_win" && { cmp -s "$installed/morvane.exe" "$bin/morvane.exe" || fail "not the built exe"; } && exit ;;
  remove) setup "$installed/uninstall.exe" /S && exit ;;
esac

dir_win="$(wine cmd /c echo %LOCALAPPDATA%)\\ShopTools\\Morvane"
dir=$(wine winepath -u "$dir_win")
link=$(wine winepath -u "$(wine cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs\\Morvane.lnk")
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane'
store='HKCU\Software\Trevolt\Orvent'
wine reg add "$store" /v Account /t REG_SZ /d shop-7 /f >/dev/null
wine reg add "$store" /v Password /t REG_BINARY /d 650166016e017001 /f >/dev/null
# Runs a set-up and waits for the one copy that it started, whose icon is
# then up (a copy whose icon cannot be added ends at once).
started() {
  setup "$@"
  within '[ -n "$(copies)" ]' || fail "$1: no copy runs"
  sleep 3
  expect "$1: running copies" "$(copies | wc -l)" 1
}

echo "== silent install into the folder IT names, not started: what the set-up itself writes"
setup "$own" /S /NOSTART "/D=$dir_win"
[ -f "$link" ] || fail "no shortcut"
expect "Run value" "$(value "$run" Morvane)" "\"$dir_win\\morvane.exe\""
for name in DisplayName DisplayIcon Publisher UninstallString QuietUninstallString EstimatedSize; do
  [ -n "$(value "$entry" "$name")" ] || fail "uninstall entry without $name"
done
expect InstallLocation "$(value "$entry" InstallLocation)" "$dir_win"
expect "NoModify NoRepair" "$(value "$entry" NoModify) $(value "$entry" NoRepair)" "0x1 0x1"
expect "installed exe's version" "$(version_of "$dir/morvane.exe")" "$(cat "$bin/../version.txt")"
expect "set-up version" "$(version_of "$own")" "$(version_of "$bin/morvane.exe")"
expect DisplayVersion "$(value "$entry" DisplayVersion)" "$(version_of "$bin/morvane.exe")"
expect "running copies" "$(copies)" ""
# A signed build (CERT, the third argument): the set-up, and the exe and the
# uninstaller it installs, carry valid signatures of CERT.
[ -z "${3:-}" ] || for file in "$own" "$dir/morvane.exe" "$dir/uninstall.exe"; do
  osslsigncode verify -CAfile "$3" -in "$file" >/dev/null 2>&1 || fail "$file: no valid signature of $3"
done

echo "== silent install, started: the upgrade finds the folder"
started "$own" /S
first=$(copies)
# The command line it was started with, as Wine gives it.
expect "running copy" "$(tr '\0' '\n' <"/proc/$first/cmdline" | sed -n '1s/ *$//p')" "$dir_win\\morvane.exe"

echo "== silent install over the running copy: a new copy; the start-up choice kept"
wine reg add "$approved" /v Morvane /t REG_BINARY /d 030000000000000000000000 /f >/dev/null
started "$own" /S
[ "$(copies)" != "$first" ] || fail "the old copy still runs"
expect "start-up choice" "$(value "$approved" Morvane)" 030000000000000000000000

echo "== uninstall while the copy cannot answer: exit code 2, nothing removed"
kill -STOP "$(copies)"
expect "uninstall exit code" "$(code "$dir/uninstall.exe" /S)" 2
kill -CONT "$(copies)"
[ -f "$dir/morvane.exe" ] || fail "the exe was removed"
expect "uninstall entry" "$(value "$entry" DisplayName)" Morvane

echo "== from the 32-bit set-up to the 64-bit one"
/usr/lib/wine/wine --version >/dev/null 2>&1 && started "$x86/morvane-setup-x86.exe" /S ||
  echo "SKIP: 32-bit Wine does not start on this machine: no 32-bit install to move"
started "$x64/morvane-setup-x64.exe" /S
cmp -s "$dir/morvane.exe" "$x64/morvane.exe" || fail "the installed exe is not the 64-bit one"

echo "== silent uninstall: done when it returns"
# The program's sound event, as it registers it.
wine reg add 'HKCU\AppEvents\Schemes\Apps\Morvane\MorvaneNewRequest\.Current' /f >/dev/null
wine reg add 'HKCU\AppEvents\EventLabels\MorvaneNewRequest' /f >/dev/null
setup "$dir/uninstall.exe" /S
[ ! -e "$dir/morvane.exe" ] || fail "the exe is still there"
expect "uninstall entry" "$(value "$entry" DisplayName)" ""
[ ! -e "$link" ] || fail "the shortcut is still there"
expect "Run value" "$(value "$run" Morvane)" ""
expect "start-up choice" "$(value "$approved" Morvane)" ""
expect "the scheme's sound event" "$(code reg query 'HKCU\AppEvents\Schemes\Apps\Morvane')" 1
expect "the sound event's label" "$(code reg query 'HKCU\AppEvents\EventLabels\MorvaneNewRequest')" 1
# Kept by every set-up above and by the silent uninstall.
expect "stored account and password" "$(value "$store" Account) $(value "$store" Password)" "shop-7 650166016E017001"
# The uninstaller's copy in the temporary folder removes it and its folder
# just after it has ended, then ends; the next set-up removes that copy.
within '[ ! -e "$dir" ] && [ -z "$(copies "[\\/]morvane-uninstall\.exe")" ]' || fail "$dir is still there, or its remover still runs"
parked=$(wine winepath -u "$(wine cmd /c echo %TEMP%)\\morvane-uninstall.exe")
setup "$own" /S /NOSTART "/D=$dir_win"
[ ! -e "$parked" ] || fail "the uninstaller's copy is still in the temporary folder"
setup "$dir/uninstall.exe" /S

echo "== a set-up started by the system account: exit code 4, nothing written"
# Under Wine no process runs as the system account: the set-up is made again
# with this Wine user's SID in its place, and its own token check finds it.
system_win="$(wine cmd /c echo %LOCALAPPDATA%)\\SystemRun\\Morvane"
sid=$(wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList' | sed -n 's/.*\\\(S-1-5-21-[-0-9]*\)$/\1/p')
mapfile -t makensis <"$bin/../installer/setup-command.txt"
"${makensis[@]}" "-DMORVANE_SYSTEM_SID=$sid" "-DMORVANE_OUT=$state/setup-as-system.exe" "$(dirname "$0")/../../installer/morvane.nsi"
rm -rf "$(wine winepath -u "$system_win")"  # what a failed run may have left
# Without /S: no one in that session could answer a question, so none is asked.
expect "exit code" "$(code "$state/setup-as-system.exe" "/D=$system_win")" 4
[ ! -e "$(wine winepath -u "$system_win")" ] || fail "the set-up made its folder"
expect "uninstall entry" "$(value "$entry" DisplayName)" ""
expect "Run value" "$(value "$run" Morvane)" ""
echo "installer check passed"
