#!/usr/bin/env bash
# Starts or stops the Wine session of a test run: an Xvfb display, a Wine
# prefix with a virtual desktop (it draws a taskbar with the notification
# area, and every process of the prefix shares it), and one persistent
# wineserver. Everything lives in the state folder given, under the build
# folder; nothing outside it is touched.
#   session.sh start STATE_DIR WINE_LOADER
#   session.sh stop STATE_DIR
set -euo pipefail
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export HOME="$state/home"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
mkdir -p "$HOME"

stop_session() {
  if [ -f "$state/env" ]; then
    # shellcheck disable=SC1091
    . "$state/env"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    pid=$(cat "$state/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  rm -f "$state/env"
}

# Starts Xvfb; it picks a free display number itself and tells it on a pipe.
start_xvfb() {
  exec 9<> <(:)
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -auth /dev/null </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  display=""
  read -r -t 20 display <&9 || true
  exec 9<&-
  if [ -z "$display" ]; then
    echo "Xvfb did not start" >&2
    cat "$state/xvfb.log" >&2
    exit 1
  fi
}

start_session() {
  local loader=$1
  stop_session
  if [ -n "${MORVANE_DISPLAY:-}" ]; then
    # A display of the user's: the virtual desktop opens there as a window.
    local display=${MORVANE_DISPLAY#:}
  else
    start_xvfb
  fi

  export DISPLAY=":$display"
  cat >"$state/env" <<ENV
export WINEPREFIX="$WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export HOME="$HOME"
export DISPLAY="$DISPLAY"
export MORVANE_WINE_LOADER="$loader"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
ENV
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$loader" wineboot -i </dev/null >"$state/wineboot.log" 2>&1 || true
  fi
  # The desktop settings must be in place before the desktop process starts:
  # write them, let every process of the prefix end, then keep one server.
  "$loader" regedit /S "$here/prefix-settings.reg" </dev/null >/dev/null 2>&1
  wineserver -w
  # Whatever stays running must not hold the caller's output open: ctest
  # waits for it to close.
  wineserver -p </dev/null >/dev/null 2>&1
  # The first program to use the desktop starts the desktop process, which
  # then outlives it: start it here, detached from every test's output.
  "$loader" regedit /S "$here/prefix-settings.reg" </dev/null >/dev/null 2>&1
}

case "$action" in
  start) start_session "$3" ;;
  stop) stop_session ;;
  *) echo "usage: $0 start|stop STATE_DIR [WINE_LOADER]" >&2; exit 2 ;;
esac
