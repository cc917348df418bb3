#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the platform-free code
# natively (AddressSanitizer and UBSan) and morvane.exe for 32-bit and 64-bit
# Windows, then runs the Windows tests under Wine while the native tests, the
# concurrency tests under ThreadSanitizer and the fuzz targets run beside
# them. The Wine tests spend most of their time waiting for the program's
# 30-second cycle, so the native work fills that time; it runs at a lower
# priority so that the program under Wine keeps its pace.
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/check-format.sh"

arch=$(test_arch)
build_for_tests
echo "== imports of the exes and set-ups: nothing newer than Windows 7"
bash "$root/scripts/check-imports.sh"

wine_log="$build_root/wine-tests.log"
ctest --test-dir "$build_root/win-$arch" --output-on-failure >"$wine_log" 2>&1 &
wine_tests=$!
trap 'kill "$wine_tests" 2>/dev/null || true' EXIT

status=0
echo "== native tests"
nice -n 10 ctest --test-dir "$build_root/native" --output-on-failure -j "$jobs" || status=1
echo "== ThreadSanitizer: the worker against the user-interface thread"
nice -n 10 bash "$root/scripts/tsan.sh" || status=1
echo "== fuzzing the readers of outside bytes (15 s per target)"
nice -n 10 bash "$root/scripts/fuzz.sh" || status=1

echo "== Windows tests under Wine"
wait "$wine_tests" || status=1
trap - EXIT
cat "$wine_log"
# Where Wine's 32-bit half starts, the 32-bit exe's tray, dialogs and
# resources are checked in process as well.
if [ "$arch" != i686 ] && can_run_32bit_wine; then
  echo "== Windows tests of the 32-bit build (tray, dialogs, resources)"
  ctest --test-dir "$build_root/win-i686" --output-on-failure -R '^tray_test$' || status=1
fi
exit "$status"
