#!/usr/bin/env bash
# Sets up what is missing, builds both trees and runs every test: the native
# unit tests (sanitizers on), then updater.exe's checks and the end-to-end suite
# under Wine (on Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native -j2
ctest --preset native

cmake --preset windows >/dev/null
cmake --build --preset windows -j2
source scripts/wine-session.sh build/windows
ctest --preset windows

# A short fuzzing run of each target; scripts/fuzz.sh SECONDS runs longer.
bash scripts/fuzz.sh 20
