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

# The build whose exe the Windows tests run is signed, as a release is, with a
# throw-away certificate; installer_check verifies the signatures.
signing="$build_root/signing"
if [ ! -f "$signing/cert.pem" ]; then
  mkdir -p "$signing"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Morvane test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
fi

arch=$(test_arch)
echo "== builds: native (sanitizers), Windows i686 and x86_64 (tests run on the $arch build, signed)"
build_native
# Both builds compile their test programs: the 32-bit one catches what only
# 32-bit Windows rejects (stdcall callbacks, record sizes) at compile time.
for a in i686 x86_64; do
  if [ "$a" = "$arch" ]; then
    build_windows "$a" ON -DMORVANE_SIGN_CERT="$signing/cert.pem" -DMORVANE_SIGN_KEY="$signing/key.pem"
  else
    build_windows "$a" ON
  fi
done
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
