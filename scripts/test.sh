#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the platform-free code
# natively (AddressSanitizer and UBSan) and morvane.exe for 32-bit and 64-bit
# Windows, then runs the Windows tests under Wine while the native tests, the
# concurrency tests under ThreadSanitizer and the fuzz targets run beside
# them. The Wine tests spend most of their time waiting for the program's
# 30-second cycle, so the other work fills that time (the other Windows
# build, the 32-bit tray test and the release built twice and compared among
# it); it runs at a lower priority so that the program under Wine keeps its
# pace.
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/check-format.sh"

arch=$(test_arch) other=$(other_arch)
echo "== builds: native (sanitizers) and Windows $arch (signed: the Windows tests run its exe)"
build_native
build_test_windows "$arch"

# installer_check comes last and needs the other build's set-up: it runs
# once the rest of the suite and that build are done. The 150 % session's
# tests, the proxy scenario among them, run beside them.
wine_log="$build_root/wine-tests.log" tray32_log="$build_root/wine-tests-32bit.log"
session_log="$build_root/wine-tests-144dpi.log"
ctest --test-dir "$build_root/win-$arch" --output-on-failure -E '^installer_check$' -LE "$session_144dpi_label" \
  >"$wine_log" 2>&1 &
wine_tests=$! tray32= release=
run_144dpi_session >"$session_log" 2>&1 &
session_144dpi=$!
trap 'kill $wine_tests $session_144dpi $tray32 $release 2>/dev/null || true' EXIT

status=0
echo "== build: Windows $other"
(renice -n 10 "$BASHPID" >/dev/null && build_test_windows "$other") || status=1
echo "== imports of the exes and set-ups: nothing newer than Windows 7"
bash "$root/scripts/check-imports.sh" || status=1
if [ "$status" = 0 ] && wants_32bit_tray_test; then
  run_32bit_tray_test >"$tray32_log" 2>&1 &
  tray32=$!
fi
release_log="$build_root/release-check.log"
nice -n 10 bash "$root/tests/release/reproducible.sh" "$build_root/release-check" >"$release_log" 2>&1 &
release=$!
echo "== native tests"
nice -n 10 ctest --test-dir "$build_root/native" --output-on-failure -j "$jobs" || status=1
echo "== ThreadSanitizer: the worker against the user-interface thread"
nice -n 10 bash "$root/scripts/tsan.sh" || status=1
echo "== fuzzing the readers of outside bytes (15 s per target)"
nice -n 10 bash "$root/scripts/fuzz.sh" || status=1

echo "== Windows tests under Wine"
wait "$wine_tests" || status=1
ctest --test-dir "$build_root/win-$arch" --output-on-failure -R '^installer_check$' >>"$wine_log" 2>&1 || status=1
cat "$wine_log"
echo "== the 150 % session: dialogs, tray icon, set-up pages and the proxy scenario"
wait "$session_144dpi" || status=1
cat "$session_log"
if [ -n "$tray32" ]; then
  echo "== Windows tests of the 32-bit build (tray, dialogs, resources)"
  wait "$tray32" || status=1
  cat "$tray32_log"
fi
echo "== the release, built twice in two folders and compared"
wait "$release" || status=1
cat "$release_log"
trap - EXIT
exit "$status"
