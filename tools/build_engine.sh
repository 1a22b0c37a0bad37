#!/usr/bin/env bash
# Builds the simulated phone engine alone: configures the project (as scripts/test does) and builds
# just the DaridiveVarara target into build/bin/DaridiveVarara.
#   tools/build_engine.sh              configure and build
#   tools/build_engine.sh --bootstrap  install the Debian packages first (scripts/bootstrap)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--bootstrap" ]; then
  bash scripts/bootstrap >&2
fi
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
cmake --build build --target DaridiveVarara -j "$(nproc)" >&2
echo "$PWD/build/bin/DaridiveVarara"
