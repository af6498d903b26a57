#!/usr/bin/env bash
# Set-up: installs what is missing and builds the library, its tools and benchmarks (optimised) in
# build/, then runs the main job: oxa-convert on the samples in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXA_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)"

# The main job: convert each sample to another format and describe the result.
out=build/examples
mkdir -p "$out"
convert=build/tools/oxa-convert
for pair in "scene.3ds scene.obj" "walk.bvh walk.htr" "markers.c3d markers.trc"; do
  set -- $pair
  echo "==== examples/$1 -> $out/$2"
  "$convert" "examples/$1" "$out/$2"
  "$convert" --info "$out/$2"
done
