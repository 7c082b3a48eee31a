#!/usr/bin/env bash
# Runs the whole test suite of the build in build/ (or $KLV_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KLV_BUILD_DIR:-build}
cmake --build "$build_dir" -j"$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" "$@"
