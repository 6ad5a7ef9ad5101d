#!/usr/bin/env bash
# Installs what is needed, builds, and starts the console on the built-in
# simulated bench. Extra arguments go to the console (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh plain vireon
exec ./build/vireon --driver sim "$@"
