#!/usr/bin/env bash
# Configures and builds Quellix (library, panel, Designer plugin, tests,
# benchmarks) into ./build, or into the directory given as $1.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
