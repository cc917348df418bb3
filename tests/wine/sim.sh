#!/usr/bin/env bash
# Starts or stops the service simulator of a test run: zarnik-sim on a free
# loopback port, its process id, port file and log in the state folder given,
# under the build folder. The tests add the shops they need through its
# control interface, so it starts with none.
#   sim.sh start STATE_DIR SIM_EXE
#   sim.sh stop STATE_DIR
set -euo pipefail
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)

stop_sim() {
  if [ -f "$state/pid" ]; then
    pid=$(cat "$state/pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$state/pid"
  fi
  rm -f "$state/port"
}

start_sim() {
  local exe=$1
  stop_sim
  if [ ! -x "$exe" ]; then
    echo "no simulator at $exe: build the native tree first (scripts/common.sh build_native)" >&2
    exit 1
  fi
  # Gone before the start, so that the port read below is this run's.
  rm -f "$state/listening"
  # Detached from the caller's output: ctest waits until that closes.
  "$exe" --port 0 </dev/null >"$state/listening" 2>"$state/sim.log" &
  echo $! >"$state/pid"
  local port=""
  for _ in $(seq 200); do
    port=$(sed -n 's/^listening \([0-9][0-9]*\)$/\1/p' "$state/listening" 2>/dev/null || true)
    [ -n "$port" ] && break
    kill -0 "$(cat "$state/pid")" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "zarnik-sim did not start" >&2
    cat "$state/sim.log" >&2
    stop_sim
    exit 1
  fi
  echo "$port" >"$state/port"
  echo "zarnik-sim listens on 127.0.0.1:$port"
}

case "$action" in
  start) start_sim "$3" ;;
  stop) stop_sim ;;
  *) echo "usage: $0 start|stop STATE_DIR [SIM_EXE]" >&2; exit 2 ;;
esac
