#!/usr/bin/env bash
# Starts or stops the service simulator of a test run: zarnik-sim on a free
# loopback port, its pid, port and log in the Wine session's state folder,
# and the prefix's browser proxy pointed at it. The tests add the shops they
# need, so it starts with none.
#   sim.sh start STATE_DIR SIM_EXE
#   sim.sh stop STATE_DIR
set -euo pipefail
. "$(dirname "$0")/../../scripts/common.sh"
state=$(cd "$2" && pwd)

case "$1" in
  start)
    start_sim "$state" "$3"
    # shellcheck disable=SC1091
    . "$state/env"
    set_browser_proxy "$(cat "$state/sim.port")"
    ;;
  stop) stop_sim "$state" ;;
  *) echo "usage: $0 start|stop STATE_DIR [SIM_EXE]" >&2; exit 2 ;;
esac
