#!/bin/bash
# Kill, server-fault, lock and flood tests against the real exe under Wine,
# each printing its counts (kills made, versions written, received, lost,
# duplicates with their cause). The test suite runs the short form; --long
# runs 1,000 kills, every fault kind, a three-minute outage, 100 held
# versions and a one-minute flood (about an hour in all).
#
# usage: scripts/stress.sh [--long] [--build-dir DIR] [--seed N] [kill|faults|lock|flood ...]
# The build directory (default: build) must hold a built tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build_dir="$root/build"
tests=()
while [ $# -gt 0 ]; do
  case "$1" in
    --long) export ORV_STRESS_LONG=1 ;;
    --build-dir) build_dir="$(realpath "$2")"; shift ;;
    --seed) export ORV_STRESS_SEED="$2"; shift ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    -*) echo "stress: unknown option $1" >&2; exit 2 ;;
    *) tests+=("$1") ;;
  esac
  shift
done
[ ${#tests[@]} -gt 0 ] || tests=(kill faults lock flood)
[ -f "$build_dir/orvanta-runner.exe" ] || { echo "stress: no orvanta-runner.exe in $build_dir (build first)" >&2; exit 2; }

export ORV_SOURCE_DIR="$root" ORV_BUILD_DIR="$build_dir" ORV_WINE_PREFIX="$build_dir/wineprefix"
export ORV_EXE="$build_dir/orvanta-runner.exe" ORV_HELPER_DIR="$build_dir/tests"
passed=0 failed=0
for name in "${tests[@]}"; do
  log="$build_dir/stress-$name.log"
  echo "== $name"
  if python3 "tests/e2e/test_stress_$name.py" >"$log" 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  grep -E '^(seed|[a-z]+: .*lost: )|^(FAIL|ERROR|OK)|details in' "$log" | sed 's/^/  /'
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
