#!/usr/bin/env bash
# Starts or stops a Wine session of the demo or a test run: an Xvfb display
# (or the user's, MORVANE_DISPLAY), a Wine prefix with a virtual desktop (it
# draws a taskbar with the notification area, shared by every process of the
# prefix), and one persistent wineserver. Everything lives in the state
# folder given, under the build folder; nothing outside it is touched.
#   [MORVANE_DPI=144] wine-session.sh start STATE_DIR WINE_LOADER [BROWSER_COMMAND]
#   wine-session.sh stop STATE_DIR
set -Eeuo pipefail
# A command that fails stops the script and is named (ctest shows only this).
trap 'echo "${BASH_SOURCE[0]##*/}:$LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME="$state/home"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
mkdir -p "$HOME"

stop_session() {
  [ -f "$state/env" ] && { wineserver -k; wineserver -w; } >/dev/null 2>&1 || true
  if [ -f "$state/xvfb.pid" ]; then
    pid=$(cat "$state/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$state/env" "$state/xvfb.pid"
}

start_session() {
  local loader=$1 browser=${2:-} display=${MORVANE_DISPLAY:-}
  display=${display#:}
  stop_session
  if [ -z "$display" ]; then
    # Xvfb picks a free display number itself and tells it on a pipe.
    exec 9<> <(:)
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -auth /dev/null </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    read -r -t 20 display <&9 || { echo "Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
    exec 9<&-
  fi
  export DISPLAY=":$display"
  declare -p WINEPREFIX WINEDEBUG WINEDLLOVERRIDES HOME DISPLAY | sed 's/^declare -x/export/' >"$state/env"
  printf 'export MORVANE_WINE_LOADER=%s\nunset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY\n' \
    "$loader" >>"$state/env"
  [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot -i </dev/null >"$state/wineboot.log" 2>&1 || true
  # The desktop settings must be in place before the desktop process starts:
  # write them, let every process of the prefix end, then keep one server
  # that does not hold the caller's output open (ctest waits for it).
  "$loader" regedit /S "$here/wine-prefix.reg" </dev/null >/dev/null 2>&1
  # The set-ups' Chinese font, by the name their language file gives it, which
  # a REGEDIT4 file cannot carry: the glyphs of the stand-in, as for the others.
  LC_ALL=C.UTF-8 "$loader" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 宋体 /d 'WenQuanYi Micro Hei' /f \
    </dev/null >/dev/null 2>&1
  # MORVANE_DPI (e.g. 144 for 150 % scaling): the screen's DPI, which Wine
  # reads at the session's start.
  if [ -n "${MORVANE_DPI:-}" ]; then
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
      "$loader" reg add "$key" /v LogPixels /t REG_DWORD /d "$MORVANE_DPI" /f </dev/null >/dev/null 2>&1
    done
  fi
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  # The first program to use the desktop starts the desktop process, which
  # outlives it: start it here (the settings written again), detached from
  # every test's output; the prefix's browser where one is given.
  if [ -n "$browser" ]; then MORVANE_WINE_LOADER=$loader set_browser "$browser"; fi
  "$loader" regedit /S "$here/wine-prefix.reg" </dev/null >/dev/null 2>&1
}

case "$action" in
  start) start_session "$3" "${4:-}" ;;
  stop) stop_session ;;
  *) echo "usage: $0 start|stop STATE_DIR [WINE_LOADER [BROWSER_COMMAND]]" >&2; exit 2 ;;
esac
