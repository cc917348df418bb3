#!/usr/bin/env bash
# Starts or stops the service simulator of a test run: zarnik-sim on a free
# loopback port, its pid, port and log in the Wine session's state folder,
# and the prefix's browser proxy pointed at it (the program reads that at its
# start). The tests add the shops they need, so it starts with none.
#   sim.sh start STATE_DIR SIM_EXE
#   sim.sh stop STATE_DIR
set -euo pipefail
state=$(cd "$2" && pwd)

stop_sim() {
  [ -f "$state/sim.pid" ] && kill "$(cat "$state/sim.pid")" 2>/dev/null || true
  rm -f "$state/sim.pid" "$state/sim.port"
}

# DefaultConnectionSettings: version, counter, flags (direct | proxy), then
# the proxy, the bypass list and the script address, each as length + bytes.
proxy_record() {
  local proxy=$1
  printf '46000000''01000000''03000000''%02x000000' "${#proxy}"
  printf '%s' "$proxy" | od -An -tx1 | tr -d ' \n'
  printf '00000000''00000000'
}

start_sim() {
  stop_sim
  "$1" --port 0 </dev/null >"$state/sim.listening" 2>"$state/sim.log" &
  echo $! >"$state/sim.pid"
  for _ in $(seq 100); do
    sed -n 's/^listening \([0-9]*\)$/\1/p' "$state/sim.listening" >"$state/sim.port"
    [ -s "$state/sim.port" ] && break
    sleep 0.1
  done
  [ -s "$state/sim.port" ] || { echo "zarnik-sim did not start" >&2; cat "$state/sim.log" >&2; exit 1; }
  # shellcheck disable=SC1091
  . "$state/env"
  "$MORVANE_WINE_LOADER" reg add \
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' /f \
    /v DefaultConnectionSettings /t REG_BINARY /d "$(proxy_record "127.0.0.1:$(cat "$state/sim.port")")" >/dev/null
}

case "$1" in
  start) start_sim "$3" ;;
  stop) stop_sim ;;
  *) echo "usage: $0 start|stop STATE_DIR [SIM_EXE]" >&2; exit 2 ;;
esac
