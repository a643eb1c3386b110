#!/bin/bash
# The main job, end to end: the runner in run mode under Wine (Xvfb and Wine's
# virtual desktop, so the tray icon is real) against the local development
# server. A sample GDT file written into the watched folder is captured and
# uploaded; the server's request lines and the runner's log are shown; then
# everything this script started is stopped again.
#
# usage: scripts/demo.sh            (BUILD_DIR=build by default)
# The server's request lines, the received files and a screenshot of the
# virtual desktop stay in $BUILD_DIR/demo afterwards.
# Works from a fresh clone: missing packages are installed by scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR="$(pwd)"
BUILD_DIR="$(realpath -m "${BUILD_DIR:-build}")"
PREFIX="$BUILD_DIR/demo-prefix"
WORK="$BUILD_DIR/demo"
DEMO_SECRET="demo-secret-$(date +%s)"
USER_NAME="$(id -un)"

say() { printf '\n== %s\n' "$*"; }

EXE="$BUILD_DIR/orvanta-runner.exe"
# DEMO_NO_BUILD=1 uses the exe already built in BUILD_DIR (the test suite does).
if [ "${DEMO_NO_BUILD:-}" != 1 ]; then
  scripts/setup.sh
  say "Building the runner in $BUILD_DIR"
  cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
  cmake --build "$BUILD_DIR" --target orvanta-runner -j"$(nproc)" >/dev/null
fi

say "Starting Xvfb, the Wine prefix and its virtual desktop ($PREFIX)"
tests/harness/wine-prefix.sh "$PREFIX"
export WINEPREFIX="$PREFIX" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
DISPLAY="$(cat "$PREFIX.display")"
export DISPLAY

SERVER_PID=""
RUNNER_PID=""
cleanup() {
  trap - EXIT INT TERM
  set +e
  if [ -n "$RUNNER_PID" ] && kill -0 "$RUNNER_PID" 2>/dev/null; then
    wine "$EXE" --stop </dev/null >/dev/null 2>&1
    for _ in $(seq 100); do kill -0 "$RUNNER_PID" 2>/dev/null || break; sleep 0.1; done
  fi
  if [ -n "$SERVER_PID" ] && kill -0 "$SERVER_PID" 2>/dev/null; then
    kill "$SERVER_PID"
    wait "$SERVER_PID" 2>/dev/null
  fi
  "$SOURCE_DIR/tests/harness/wine-prefix.sh" "$PREFIX" --down
}
trap cleanup EXIT INT TERM

DRIVE_C="$PREFIX/drive_c"
DATA_DIR="$DRIVE_C/users/$USER_NAME/AppData/Local/Orvanta-Dev"
GDT_DIR="$DRIVE_C/orvanta-demo/GDT"
rm -rf "$WORK" "$DATA_DIR" "$DRIVE_C/orvanta-demo"
mkdir -p "$WORK" "$GDT_DIR"

say "Starting the development server"
python3 tools/devserver.py --port-file "$WORK/port" --store "$WORK/received" --client-secret "$DEMO_SECRET" \
  </dev/null >"$WORK/server.txt" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT="$(cat "$WORK/port")"
SERVER_URL="http://127.0.0.1:$PORT"
echo "listening on $SERVER_URL"

say "Storing the demo client secret in the prefix's registry"
printf '%s' "$DEMO_SECRET" >"$DRIVE_C/orvanta-demo/secret.txt"
wine "$EXE" --set-secret-file 'C:\orvanta-demo\secret.txt' </dev/null 2>/dev/null | tr -d '\r'
rm -f "$DRIVE_C/orvanta-demo/secret.txt"

say "Writing runner.ini"
INI="$DRIVE_C/ProgramData/Orvanta-Dev/runner.ini"
mkdir -p "$(dirname "$INI")"
printf '%s\r\n' \
  "[server]" "url=$SERVER_URL" "token_url=$SERVER_URL/realms/quillon/protocol/openid-connect/token" \
  "[gdt]" 'dir=C:\orvanta-demo\GDT' "file=data.gdt" \
  "[run]" "users=$USER_NAME" >"$INI"
tr -d '\r' <"$INI"

LOG="$DATA_DIR/runner.log"
wait_for_log() {  # pattern, seconds
  for _ in $(seq $(($2 * 10))); do grep -q "$1" "$LOG" 2>/dev/null && return 0; sleep 0.1; done
  echo "demo: timed out waiting for \"$1\" in the runner's log" >&2
  return 1
}

say "Starting the runner in run mode"
wine "$EXE" </dev/null >/dev/null 2>&1 &
RUNNER_PID=$!
wait_for_log "watching gdt dir" 30

say "The practice system writes $GDT_DIR/data.gdt"
cp samples/data.gdt "$GDT_DIR/data.gdt"
wait_for_log "gdt sync http=" 30
import -display "$DISPLAY" -window root "$WORK/desktop.png" 2>/dev/null || true

say "The server received"
grep -E 'POST /(api/gdt|realms/)' "$WORK/server.txt" || true
for meta in "$WORK"/received/*.json; do
  echo "--- $(basename "$meta")"
  cat "$meta"
  echo
done
if cmp -s samples/data.gdt "$WORK"/received/*-sync.gdt; then
  echo "the received file is byte for byte the sample GDT file"
fi

say "The runner's log"
tr -d '\r' <"$LOG"

say "Stopping the runner, the server, the wineserver and Xvfb"
wine "$EXE" --stop </dev/null >/dev/null 2>&1
wait "$RUNNER_PID"
RUNNER_PID=""
tail -n 1 "$LOG" | tr -d '\r'
cleanup

# Nothing started here may outlive the script: every process it started
# carries the demo prefix in its environment.
unset WINEPREFIX
left=""
for pid in $(ls /proc | grep -E '^[0-9]+$'); do
  [ "$pid" = "$$" ] && continue
  if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$PREFIX"; then left="$left $pid"; fi
done
if [ -n "$left" ] || kill -0 "$SERVER_PID" 2>/dev/null; then
  echo "demo: processes still running:$left" >&2
  exit 1
fi
echo "demo finished; every process it started has ended (screenshot: $WORK/desktop.png)"
