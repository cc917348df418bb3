#!/usr/bin/env bash
# Runs Morvane under Wine against zarnik-sim, which plays the service with a
# demo shop whose orders, messages and complaints arrive on a timetable
# (sim/demo_events.txt). The demo has a Wine prefix of its own, under
# build/demo: a virtual desktop with a taskbar, Chinese fonts, the simulator
# as the browser proxy, and a browser hook that shows the web console.
# Morvane is installed there silently with the set-up of its architecture
# (morvane-setup-x86.exe or morvane-setup-x64.exe), which starts
# the installed copy: what the demo shows is what a shop gets.
#
# On a machine with a display the desktop opens as a window there, with the
# demo shop's credentials already stored: the tray icon, the balloons, the
# notification dialog and the console come as the timetable runs. Without
# one it runs on Xvfb, goes through the stages as a user would (the first
# balloon, the tray menu, the settings dialog with a test log-in, the
# notification dialog, View now and the console page, the tooltip and the
# waiting count on the icon, About; it lists the registered sound event)
# and saves a screenshot of each to build/demo/screenshots/.
# Ctrl-C stops everything it started. MORVANE_DPI=144 runs the desktop at
# 150 % scaling (144 dpi; 120 for 125 %), 96 (100 %) without it.
set -euo pipefail
. "$(dirname "$0")/common.sh"

account=demo
password=morvane
shop_id=ZN-0451

# Only the demo shows the web console in a browser.
bash "$root/scripts/install-deps.sh" chromium
echo "== building the simulator and Morvane"
build_native zarnik-sim
arch=$(test_arch)
build_windows "$arch" ON

state="$build_root/demo"
shots="$state/screenshots"
session="$root/scripts/wine-session.sh"
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64 setup_arch=x64; else loader=/usr/lib/wine/wine setup_arch=x86; fi
setup="$build_root/win-$arch/bin/morvane-setup-$setup_arch.exe"

# The demo's prefix outlives the run: its DPI is written at every start.
export MORVANE_DPI=${MORVANE_DPI:-96}
headless=1
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=0
  export MORVANE_DISPLAY=$DISPLAY
fi

stop() {
  trap - INT TERM EXIT
  if [ -f "$state/browser.pids" ]; then
    while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$state/browser.pids"
    rm -f "$state/browser.pids"
  fi
  stop_sim "$state"
  bash "$session" stop "$state" || true
}
# Ctrl-C ends the demo at once, wherever it waits: the trap runs when the
# waiting command (a short sleep at most) returns, then the demo exits.
trap stop EXIT
trap 'echo "== stopped"; exit 130' INT TERM

mkdir -p "$state"
rm -f "$state/opened-urls.txt" "$state/browser.pids"
echo "== starting the Wine session in $state"
bash "$session" start "$state" "$loader"
# shellcheck disable=SC1091
. "$state/env"

echo "== starting zarnik-sim with the shop $account (shop id $shop_id)"
start_sim "$state" "$(sim_exe)" --shop "$account:$password:$shop_id" --script "$root/sim/demo_events.txt"
port=$(cat "$state/sim.port")
echo "   control interface: curl -H 'Host: sim.control' http://127.0.0.1:$port/state (or /log)"

if [ "$headless" -eq 1 ]; then browser_shots=$shots; else browser_shots=""; fi
cat >"$state/browser.conf" <<CONF
port=$port
shots=$browser_shots
size=1024,768
CONF
set_browser_proxy "$port"
set_browser "\"/bin/bash\" \"$root/scripts/demo-browser.sh\" \"$state\""
# Without a display the credentials are entered in the settings dialog.
"$loader" reg delete 'HKCU\Software\Trevolt\Orvent' /f </dev/null >/dev/null 2>&1 || true
if [ "$headless" -eq 0 ]; then store_credentials "$account" "$password"; fi

echo "== installing Morvane silently (morvane-setup-$setup_arch.exe /S), which starts the installed copy"
"$loader" "$setup" /S </dev/null >"$state/morvane.log" 2>&1
# Whether the copy of this prefix runs, wherever it was started from.
morvane_runs() {
  local p
  for p in $(pgrep -f '[\\/]morvane\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

if [ "$headless" -eq 0 ]; then
  echo "Morvane runs in the Wine desktop window: its icon is at the right end of the taskbar."
  echo "The demo shop's first requests arrive after 5 seconds and are announced at the next poll;"
  echo "View now opens the console in a browser window. More arrive, are handled, and the session"
  echo "ends later on (sim/demo_events.txt). Right-click the icon for the menu. Ctrl-C stops everything."
  while morvane_runs; do sleep 2; done
  exit 0
fi

rm -rf "$shots"
mkdir -p "$shots"
shot() {
  import -display "$DISPLAY" -window root "$shots/$1.png"
  echo "   saved $shots/$1.png"
}
# Waits up to $2 seconds for a request whose target contains $1 in the
# simulator's log.
wait_for_request() {
  local pattern=$1 seconds=$2
  for _ in $(seq $((seconds * 5))); do
    curl -s --noproxy '*' -H 'Host: sim.control' "http://127.0.0.1:$port/log" | grep -q "$pattern" && return 0
    sleep 0.2
  done
  echo "   (no $pattern request within $seconds s)" >&2
  return 1
}
# The notification area sits at the right end of the taskbar, at the bottom
# of the 1024x768 desktop; the tray menu opens above and left of it, one
# item every 17 pixels.
tray_x=1012
tray_y=758
menu_x=960
settings_item_y=722
about_item_y=756

echo "== the tray icon, with the balloon of the first cycle: no credentials yet"
sleep 4
shot 01-tray-balloon
echo "== the tray menu"
xdotool mousemove "$tray_x" "$tray_y" click 3
sleep 1
shot 02-tray-menu
echo "== the settings dialog: the demo shop's account and password, tested"
xdotool mousemove "$menu_x" "$settings_item_y" click 1
sleep 1.5
# The focus starts on OK; the edits and Test follow it in the tab order.
xdotool key Tab Tab
xdotool type --delay 50 "$account"
xdotool key Tab
xdotool type --delay 50 "$password"
xdotool key Tab space
wait_for_request "shop_login.php" 10 || true
sleep 1
shot 03-settings
# From Test the tab order comes round to OK.
xdotool key Tab space
echo "== the notification dialog: the next cycle logs in and finds the new requests"
wait_for_request "untreatedSheet.php" 45 || true
sleep 2
shot 04-notification
echo "== View now: the console, signed in with a one-time key"
xdotool key Return
for _ in $(seq 300); do [ -f "$shots/05-console.png" ] && break; sleep 0.2; done
if [ -f "$shots/05-console.png" ]; then echo "   saved $shots/05-console.png"; else echo "   (no console page)" >&2; fi
echo "== the tooltip with the waiting requests"
xdotool mousemove 900 400
sleep 0.5
xdotool mousemove "$tray_x" "$tray_y"
sleep 2
shot 06-tray-tooltip
echo "== the waiting count on the tray icon, close up"
import -display "$DISPLAY" -window root -crop 160x40+864+728 "$shots/06-tray-badge.png"
echo "   saved $shots/06-tray-badge.png"
echo "== the announcement's sound event, registered for Windows' Sound settings"
"$loader" reg query 'HKCU\AppEvents\Schemes\Apps\Morvane' /s </dev/null 2>/dev/null | tr -d '\r' | sed 's/^/   /'
echo "== the About dialog"
xdotool click 3
sleep 1
xdotool mousemove "$menu_x" "$about_item_y" click 1
sleep 1.5
shot 07-about
curl -s --noproxy '*' -H 'Host: sim.control' "http://127.0.0.1:$port/log" >"$state/requests.json" || true
echo "Screenshots are in $shots; the requests the simulator received are in $state/requests.json"
