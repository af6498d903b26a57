#!/usr/bin/env bash
# Set-up: installs what is missing and builds the library, its tools and benchmarks (optimised) in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXA_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)"
