#!/usr/bin/env bash
# Starts or stops the service simulator of a test run: zarnik-sim on a free
# loopback port, its pid, port and log in the Wine session's state folder,
# the prefix's browser proxy pointed at it, and the prefix's browser set to
# one that records the addresses it is given (STATE_DIR/urls.txt). The tests
# add the shops they need, so it starts with none.
#   sim.sh start STATE_DIR SIM_EXE
#   sim.sh stop STATE_DIR
set -Eeuo pipefail
# A command that fails stops the script and is named (ctest shows only this).
trap 'echo "${BASH_SOURCE[0]##*/}:$LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/common.sh"
state=$(cd "$2" && pwd)

case "$1" in
  start)
    start_sim "$state" "$3"
    # shellcheck disable=SC1091
    . "$state/env"
    port=$(cat "$state/sim.port")
    set_browser_proxy "$port"
    # The Proxy scenario's: automatic detection beside the manual proxy; with
    # the script host, a manual list whose first proxy is its port (refused
    # while it refuses), its script alone, and its script beside the manual
    # proxy.
    set_browser_proxy "$port" 11 "" MorvaneDetectionAndProxy
    script=$(cat "$state/script.port")
    set_browser_proxy "$script;$port" 3 "" MorvaneProxyList
    set_browser_proxy "$port" 5 "http://127.0.0.1:$script/proxy.pac" MorvaneHostScriptAlone
    set_browser_proxy "$port" 7 "http://127.0.0.1:$script/proxy.pac" MorvaneHostScriptAndProxy
    set_browser "\"/bin/bash\" \"$here/browser.sh\" \"$state/urls.txt\""
    ;;
  stop) stop_sim "$state" ;;
  *) echo "usage: $0 start|stop STATE_DIR [SIM_EXE]" >&2; exit 2 ;;
esac
