#!/usr/bin/env bash
# Runs the Windows tests RUNS times in a row (10 unless given) while
# stress-ng keeps every core busy, as the native tests, ThreadSanitizer and
# the fuzzers do beside them in the test command; --quiet runs them without
# that load. Stops at the first run that fails and shows its log. Builds what
# is missing first, as the test command does.
#   scripts/test-under-load.sh [--quiet] [RUNS]
set -euo pipefail
. "$(dirname "$0")/common.sh"

load=1
if [ "${1:-}" = --quiet ]; then
  load=0
  shift
fi
runs=${1:-10}

bash "$root/scripts/install-deps.sh" stress-ng
arch=$(test_arch)
build_for_tests

if [ "$load" = 1 ]; then
  stress-ng --cpu "$(nproc)" --quiet &
  stress=$!
  trap 'kill "$stress" 2>/dev/null || true' EXIT
  echo "== the Windows tests, $runs runs, every core kept busy by stress-ng"
else
  echo "== the Windows tests, $runs runs, no other load"
fi

for run in $(seq "$runs"); do
  log="$build_root/windows-tests-run-$run.log"
  started=$SECONDS
  status=0
  run_144dpi_session >"$log.144dpi" 2>&1 &
  session_144dpi=$!
  ctest --test-dir "$build_root/win-$arch" --output-on-failure -LE "$session_144dpi_label" >"$log" 2>&1 || status=1
  if wants_32bit_tray_test; then run_32bit_tray_test >>"$log" 2>&1 || status=1; fi
  wait "$session_144dpi" || status=1
  cat "$log.144dpi" >>"$log"
  if [ "$status" != 0 ]; then
    cat "$log"
    echo "== run $run of $runs FAILED after $((SECONDS - started)) s (log: $log)"
    exit 1
  fi
  echo "== run $run of $runs passed in $((SECONDS - started)) s"
done
echo "== all $runs runs passed"
