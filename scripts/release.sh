#!/bin/bash
# Builds a release into dist/: the exe and the MSI (holding that same exe),
# both signed when a certificate is given, and SHA256SUMS.
#
# Environment:
#   RUNNER_SIGN_PKCS12         code-signing certificate with key (.pfx/.p12);
#                              without it the release is left unsigned
#   RUNNER_SIGN_PASSWORD_FILE  file holding the PKCS#12 password (optional)
#   RUNNER_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server (optional)
#   BUILD_DIR                  build tree to use (default build-release)
#   DIST_DIR                   output folder (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
version="$(packaging/version.sh)"
build="${BUILD_DIR:-build-release}"
dist="${DIST_DIR:-dist}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DRUNNER_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target orvanta-runner setup_actions -j"$(nproc)" >/dev/null

exe="orvanta-runner-$version.exe"
msi="orvanta-runner-$version-x64.msi"
mkdir -p "$dist"
rm -f "$dist/$exe" "$dist/$msi" "$dist/SHA256SUMS"

sign() {
  local file="$1"
  local args=(-pkcs12 "$RUNNER_SIGN_PKCS12" -h sha256 -n "Orvanta GDT-Runner")
  [ -n "${RUNNER_SIGN_PASSWORD_FILE:-}" ] && args+=(-readpass "$RUNNER_SIGN_PASSWORD_FILE")
  [ -n "${RUNNER_SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$RUNNER_SIGN_TIMESTAMP_URL")
  osslsigncode sign "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
}

signing=no
[ -n "${RUNNER_SIGN_PKCS12:-}" ] && signing=yes

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp "$build/orvanta-runner.exe" "$dist/$exe"
cp "$build/orvanta-setup-actions.dll" "$stage/"
# Signed before they go into the MSI, so the installed exe and the installer's
# own code carry the signature too.
if [ "$signing" = yes ]; then
  sign "$dist/$exe"
  sign "$stage/orvanta-setup-actions.dll"
fi
packaging/build-msi.sh "$dist/$exe" "$stage/orvanta-setup-actions.dll" "$dist/$msi"
if [ "$signing" = yes ]; then sign "$dist/$msi"; fi
(cd "$dist" && sha256sum "$exe" "$msi" >SHA256SUMS)

if [ "$signing" = yes ]; then
  echo "release $version: $dist/$exe, $dist/$msi, $dist/SHA256SUMS (signed)"
else
  echo "release $version: $dist/$exe, $dist/$msi, $dist/SHA256SUMS"
  echo "NOT SIGNED: set RUNNER_SIGN_PKCS12 (and RUNNER_SIGN_PASSWORD_FILE) to sign" >&2
fi
