#!/bin/bash
# Installs everything a fresh Debian 12 machine lacks for building and testing.
# Idempotent: packages already present are not touched.
set -euo pipefail
PACKAGES=(
  cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine xvfb x11-utils imagemagick googletest
  python3 openssl msitools wixl osslsigncode
  clang libclang-rt-14-dev curl procps
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
