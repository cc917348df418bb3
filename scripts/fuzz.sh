#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan) in
# build/fuzz and runs each for SECONDS_PER_TARGET seconds (default 15) on a
# fresh copy of its seed corpus from fuzz/corpus/. A crash, a sanitizer
# report or a broken invariant fails the run; the input that caused it is
# kept in build/fuzz/findings/<target>/ and can be replayed with
#   build/fuzz/fuzz/<target>_fuzzer build/fuzz/findings/<target>/crash-...
# For a longer search, an hour per target:
#   scripts/fuzz.sh 3600
set -euo pipefail
. "$(dirname "$0")/common.sh"

seconds=${1:-15}
dir="$build_root/fuzz"
targets=(login_reply poll_reply)

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMORVANE_FUZZ=ON -DMORVANE_BUILD_TESTS=OFF -DMORVANE_SANITIZER=address >/dev/null
cmake --build "$dir" -j "$jobs"

failed=()
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  findings="$dir/findings/$target"
  log="$dir/$target.log"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  if "$dir/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: ${runs:-?} inputs in ${seconds}s, no finding"
  else
    echo "fuzz $target: FAILED, see $log and $findings" >&2
    grep -E 'ERROR|invariant broken|SUMMARY|Test unit written' "$log" | head -20 >&2 || tail -30 "$log" >&2
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
