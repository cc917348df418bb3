#!/usr/bin/env bash
# Runs a Windows program inside the test run's Wine session:
#   run.sh STATE_DIR PROGRAM.exe [ARGS...]
set -Eeuo pipefail
# A command that fails stops the script and is named (ctest shows only this).
trap 'echo "${BASH_SOURCE[0]##*/}:$LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
state=$1
shift
[ -f "$state/env" ] || { echo "run.sh: no Wine session in $state (its start failed or did not run)" >&2; exit 1; }
# shellcheck disable=SC1091
. "$state/env"
exec "$MORVANE_WINE_LOADER" "$@"
