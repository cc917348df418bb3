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
# and saves a screenshot of each to build/demo/screenshots/. It picks the
# tray menu's items with the keyboard and checks each step by what the
# program shows; a step that does not happen ends it with exit code 1.
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
# A step that did not happen ends the demo with its reason and exit code 1;
# the screenshots before it stay, the desktop as it then was is saved as
# failed.png, and its windows are listed in windows.txt.
failed() {
  echo "== FAILED: $*" >&2
  import -display "$DISPLAY" -window root "$shots/failed.png" 2>/dev/null || true
  xwininfo -root -tree >"$state/windows.txt" 2>&1 || true
  exit 1
}
# Each screenshot shows the program's desktop, so the copy must still run.
shot() {
  morvane_runs || failed "Morvane no longer runs, so there is nothing to show for $1"
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
  return 1
}
# What the program's foreground dialog shows (tools/demo_probe_win.cpp):
# "focus" for the ID of the control with the keyboard focus, a control's ID
# for its text; nothing while no dialog of the program takes the keys.
probe() { "$loader" "$build_root/win-$arch/bin/demo_probe.exe" "$1" </dev/null 2>/dev/null | tr -d '\r'; }
# Wine gives each window of the desktop an X window of the same title, which
# is shown while the window is.
window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Waits up to $2 seconds for the condition $1 to hold.
within() {
  for _ in $(seq $(($2 * 5))); do
    eval "$1" && return 0
    sleep 0.2
  done
  return 1
}
# The tray menu and the notification dialog are the program's shown windows
# without a title (its other windows are hidden or titled).
untitled_window_shown() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^morvane\.exe$' 2>/dev/null); do
    [ -z "$(xdotool getwindowname "$w" 2>/dev/null)" ] && return 0
  done
  return 1
}
# Wine takes the keys for the tray menu from the desktop's X window, which
# loses the X focus when a window that had it (the notice) goes.
focus_desktop() { xdotool search --name ' - Wine desktop$' windowfocus --sync; }
# Opens the tray menu and picks its Nth item (1: "登录Zarnik", 2: "设置", 3:
# "退出", 4: "关于Morvane") with the keyboard: Down from the top N times,
# then Enter, so that the choice does not depend on the items' height at the
# desktop's scaling.
tray_menu_item() {
  xdotool mousemove "$tray_x" "$tray_y" click 3
  within untitled_window_shown 5 || failed "no tray menu came up on the icon at $tray_x,$tray_y"
  [ -z "${2:-}" ] || shot "$2"
  focus_desktop
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
}
# The notification area sits at the right end of the taskbar, at the bottom
# of the 1024x768 desktop, whatever the scaling.
tray_x=1012
tray_y=758

echo "== the tray icon, with the balloon of the first cycle: no credentials yet"
sleep 4
shot 01-tray-balloon
echo "== the tray menu, then the settings dialog: the demo shop's account and password, tested"
tray_menu_item 2 02-tray-menu
within 'window_shown "Morvane设置"' 10 || failed "the tray menu's 设置 opened no settings dialog"
# The dialog takes the keys with the focus on OK (1), the edits and Test
# follow it in the tab order.
within '[ "$(probe focus)" = 1 ]' 10 || failed "the settings dialog did not take the keys with the focus on OK"
xdotool key Tab Tab
xdotool type --delay 50 "$account"
within '[ "$(probe 1000)" = "$account" ]' 10 || failed "the account typed did not reach its edit: '$(probe 1000)'"
xdotool key Tab
xdotool type --delay 50 "$password"
xdotool key Tab space
wait_for_request "shop_login.php" 10 || failed "Test sent no log-in to the simulator"
within '[ "$(probe 1003)" = "测试通过！" ]' 15 || failed "Test showed no pass: '$(probe 1003)'"
shot 03-settings
# From Test, which has the focus again, the tab order comes round to OK.
xdotool key Tab space
within '! window_shown "Morvane设置"' 10 || failed "OK did not close the settings dialog"
echo "== the notification dialog: the next cycle logs in and finds the new requests"
wait_for_request "untreatedSheet.php" 45 || failed "no poll within 45 s of the saved log-in"
within untitled_window_shown 10 || failed "the poll brought no notification dialog"
# It takes the keys with the focus on View now (1), which Enter presses.
within '[ "$(probe focus)" = 1 ]' 10 || failed "the notification dialog did not take the keys with the focus on View now"
shot 04-notification
echo "== View now: the console, signed in with a one-time key"
xdotool key Return
within '[ -f "$shots/05-console.png" ]' 60 || failed "View now opened no console page"
echo "   saved $shots/05-console.png"
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
tray_menu_item 4
within 'window_shown "关于"' 10 || failed "the tray menu's 关于Morvane opened no About dialog"
sleep 1
shot 07-about
curl -s --noproxy '*' -H 'Host: sim.control' "http://127.0.0.1:$port/log" >"$state/requests.json" || true
echo "Screenshots are in $shots; the requests the simulator received are in $state/requests.json"
