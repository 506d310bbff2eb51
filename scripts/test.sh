#!/usr/bin/env bash
# Builds both presets and runs every test: the native unit tests (ASan+UBSan)
# and the Wine tests of the real DLL, in one CTest run with one summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

# One test tree over both build folders, so that the last lines are one summary.
mkdir -p build/all
printf 'subdirs("%s")\nsubdirs("%s")\n' "$PWD/build/native" "$PWD/build/win32" > build/all/CTestTestfile.cmake
ctest --test-dir build/all --output-on-failure -j "$jobs" --timeout 600
