#!/usr/bin/env bash
# Runs Morvane under Wine, in a virtual desktop with a taskbar. On a machine
# with a display the desktop opens as a window there; without one it runs on
# Xvfb, walks through the tray icon, its tooltip, its menu and the About
# dialog as a user would, and saves a screenshot of each stage to
# build/demo/screenshots/. Ctrl-C stops everything it started.
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$root/scripts/install-deps.sh"
arch=$(test_arch)
build_windows "$arch" ON

state="$build_root/demo"
shots="$state/screenshots"
session="$root/tests/wine/session.sh"
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
exe="$build_root/win-$arch/bin/morvane.exe"

headless=1
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=0
  export MORVANE_DISPLAY=$DISPLAY
fi

stop() {
  trap - INT TERM EXIT
  bash "$session" stop "$state" || true
}
trap stop INT TERM EXIT

echo "== starting the Wine session in $state"
bash "$session" start "$state" "$loader"
# shellcheck disable=SC1091
. "$state/env"
"$loader" "$exe" </dev/null >"$state/morvane.log" 2>&1 &

if [ "$headless" -eq 0 ]; then
  echo "Morvane runs in the Wine desktop window: its icon is at the right end of the taskbar."
  echo "Right-click it for the menu, hover for the tooltip. Ctrl-C stops everything."
  wait
  exit 0
fi

rm -rf "$shots"
mkdir -p "$shots"
shot() {
  import -display "$DISPLAY" -window root "$shots/$1.png"
  echo "   saved $shots/$1.png"
}
# The notification area sits at the right end of the taskbar, at the bottom
# of the 1024x768 desktop.
tray_x=1012
tray_y=758

echo "== the tray icon, with the balloon of the first log-in attempt"
sleep 4
shot 01-tray-balloon
echo "== the tooltip"
sleep 8
xdotool mousemove "$tray_x" "$tray_y"
sleep 2
shot 02-tray-tooltip
echo "== the tray menu"
xdotool click 3
sleep 1
shot 03-tray-menu
echo "== the About dialog"
xdotool key Up Return
sleep 1.5
shot 04-about
echo "Screenshots are in $shots"
