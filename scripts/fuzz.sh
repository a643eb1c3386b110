#!/bin/bash
# Builds the libFuzzer targets natively (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a while, starting from the
# seed corpus in fuzz/corpus/<target>/.
#
# usage: scripts/fuzz.sh [--short | --long] [--seconds N] [--build-dir DIR] [TARGET...]
#   --short      8 s per target (the form the test suite runs)
#   --long       300 s per target (default: --short)
#   --seconds N  N seconds per target
# A crash leaves its input in DIR/artifacts/<target>/; add that file to
# fuzz/corpus/<target>/ so that every later run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds=8
build_dir="$root/build-fuzz"
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --short) seconds=8 ;;
    --long) seconds=300 ;;
    --seconds) seconds="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
[ ${#targets[@]} -gt 0 ] || targets=(json_fields url_encode multipart channel queue_names watch_records browser_url)

compiler="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$compiler" ]; then echo "fuzz: clang++ not found (scripts/setup.sh installs it)" >&2; exit 2; fi
cmake -S fuzz -B "$build_dir" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >"$build_dir/build.log" 2>&1 || { cat "$build_dir/build.log"; exit 1; }

failed=0
printf '%-14s %8s %10s %7s  %s\n' target seconds runs corpus result
for target in "${targets[@]}"; do
  work="$build_dir/work/$target" artifacts="$build_dir/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  log="$build_dir/$target.log"
  # The first corpus folder receives new inputs; the seeds stay untouched.
  if "$build_dir/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    result=ok
  else
    result="CRASH (see $log, input in $artifacts)"
    failed=1
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  corpus="$(find "$work" -type f | wc -l)"
  printf '%-14s %8s %10s %7s  %s\n' "$target" "$seconds" "${runs:-?}" "$corpus" "$result"
  if [ "$result" != ok ]; then grep -E 'ERROR|property failed|SUMMARY' "$log" | head -5 | sed 's/^/    /'; fi
done
if [ "$failed" -ne 0 ]; then echo "fuzz: 1 or more targets failed"; exit 1; fi
echo "fuzz: ${#targets[@]} targets, no crash"
