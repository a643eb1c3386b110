#!/bin/bash
# Prints the product version, whose only home is resources/version.h.
set -euo pipefail
sed -n 's/^#define RUNNER_VERSION_TEXT "\([0-9.]*\)".*/\1/p' "$(dirname "$0")/../resources/version.h"
