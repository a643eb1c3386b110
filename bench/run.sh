#!/bin/bash
# The benchmark: the real exe under Wine against the local development server,
# one table on standard output (about five minutes; not part of the tests).
# usage: bench/run.sh [--build-dir DIR]   (default: build, built beforehand)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build_dir="$root/build"
if [ "${1:-}" = "--build-dir" ]; then build_dir="$(realpath "$2")"; fi
[ -f "$build_dir/orvanta-runner.exe" ] || { echo "bench: no orvanta-runner.exe in $build_dir (build first)" >&2; exit 2; }
cmake --build "$build_dir" --target bench_minimal_gui stress_writer >/dev/null
export ORV_SOURCE_DIR="$root" ORV_BUILD_DIR="$build_dir" ORV_WINE_PREFIX="$build_dir/wineprefix"
export ORV_EXE="$build_dir/orvanta-runner.exe" ORV_HELPER_DIR="$build_dir/tests"
exec python3 bench/bench.py
