#!/usr/bin/env bash
# Runs a Windows program inside the test run's Wine session:
#   run.sh STATE_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
state=$1
shift
[ -f "$state/env" ] || { echo "run.sh: no Wine session in $state (its start failed or did not run)" >&2; exit 1; }
# shellcheck disable=SC1091
. "$state/env"
exec "$MORVANE_WINE_LOADER" "$@"
