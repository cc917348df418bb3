#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the platform-free code
# natively (AddressSanitizer and UBSan) and runs its tests, runs the
# concurrency tests under ThreadSanitizer and the fuzz targets, builds morvane.exe
# for 32-bit and 64-bit Windows, and runs the Windows tests under Wine.
set -euo pipefail
. "$(dirname "$0")/common.sh"

bash "$root/scripts/install-deps.sh"

echo "== native build and tests"
build_native
ctest --test-dir "$build_root/native" --output-on-failure -j "$jobs"

echo "== ThreadSanitizer: the worker against the user-interface thread"
bash "$root/scripts/tsan.sh"
echo "== fuzzing the readers of outside bytes (15 s per target)"
bash "$root/scripts/fuzz.sh"

arch=$(test_arch)
echo "== Windows builds (tests run on the $arch build)"
for a in i686 x86_64; do
  if [ "$a" = "$arch" ]; then build_windows "$a" ON; else build_windows "$a" OFF; fi
done
ctest --test-dir "$build_root/win-$arch" --output-on-failure
