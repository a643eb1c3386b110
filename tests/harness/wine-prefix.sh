#!/bin/bash
# Makes sure a throwaway Wine prefix is booted, with its own Xvfb display and
# a persistent wineserver that holds none of the caller's pipes open.
# Safe to call concurrently; prints nothing.
# usage: wine-prefix.sh PREFIX        (set up)
#        wine-prefix.sh PREFIX --down (stop server and display)
set -euo pipefail
prefix="$(realpath -m "$1")"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

if [ "${2:-}" = "--down" ]; then
  wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
  if [ -f "$prefix.xvfb-pid" ]; then kill "$(cat "$prefix.xvfb-pid")" 2>/dev/null || true; rm -f "$prefix.xvfb-pid" "$prefix.display"; fi
  exit 0
fi

# One Xvfb per prefix; the display number it chose is kept beside the prefix.
if [ ! -f "$prefix.xvfb-pid" ] || ! kill -0 "$(cat "$prefix.xvfb-pid")" 2>/dev/null; then
  exec 8>"$prefix.display.tmp"
  setsid Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
  echo $! >"$prefix.xvfb-pid"
  exec 8>&-
  for _ in $(seq 100); do [ -s "$prefix.display.tmp" ] && break; sleep 0.05; done
  echo ":$(tr -d '\n' <"$prefix.display.tmp")" >"$prefix.display"
  rm -f "$prefix.display.tmp"
fi
export DISPLAY="$(cat "$prefix.display")"

# The wineserver of a prefix runs in a folder named after the prefix's device
# and inode; finding it tells whether the prefix is up with its services.
server_running() {
  local key
  key="server-$(printf '%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")"
  for pid in $(pgrep -x wineserver64; pgrep -x wineserver); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$key") return 0 ;; esac
  done
  return 1
}

mkdir -p "$prefix"
if ! server_running; then
  # Detached: the server and the services that wineboot starts must not
  # inherit the caller's pipes, or a test runner waits on them for ever.
  setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  if [ ! -f "$prefix/.orvanta-ready" ]; then
    setsid wineboot -i </dev/null >/dev/null 2>&1 9>&-
    # A virtual desktop lets every process of the prefix see the others' windows.
    setsid wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1 9>&-
    setsid wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1 9>&-
    # The desktop already running is not virtual; only a restarted prefix
    # reads the setting (without it, removing a tray icon waits 2 s for a
    # window manager that Xvfb does not have).
    wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
    setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    touch "$prefix/.orvanta-ready"
  fi
  setsid wineboot </dev/null >/dev/null 2>&1 9>&-
fi
