#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test, then
# gives each fuzz target a short run. OXA_FUZZ_SECONDS sets the length of a fuzz run (0 skips them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" -DOXA_SANITIZE=ON
cmake --build build-test -j"$jobs"
(cd build-test && ctest --output-on-failure -j"$jobs")

fuzz_seconds=${OXA_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ] && ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOXA_SANITIZE=ON -DOXA_BUILD_FUZZ=ON -DOXA_BUILD_TESTS=OFF -DOXA_BUILD_BENCH=OFF
  cmake --build build-fuzz -j"$jobs"
  for exe in build-fuzz/fuzz/fuzz_*; do
    name=${exe##*/fuzz_}
    work=$(mktemp -d)
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    echo "== fuzzing $name for ${fuzz_seconds}s"
    "$exe" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      "$work" "${seeds[@]}" 2>&1 | tail -n 15
    rm -rf "$work"
  done
fi
