#!/usr/bin/env bash
# Builds the native tests with ThreadSanitizer in build/tsan and runs the
# tests in which the worker and the user-interface thread share the session
# and the credentials. The first race report ends the run with a failure.
set -euo pipefail
. "$(dirname "$0")/common.sh"

dir="$build_root/tsan"
tests="Concurrency*"

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_SANITIZER=thread >/dev/null
cmake --build "$dir" -j "$jobs" --target morvane_native_tests
binary="$dir/tests/native/morvane_native_tests"

# A filter that matches nothing would pass without testing anything.
if ! "$binary" --gtest_list_tests --gtest_filter="$tests" | grep -q '^  '; then
  echo "tsan: no test matches $tests" >&2
  exit 1
fi
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  "$binary" --gtest_filter="$tests" --gtest_brief=1
