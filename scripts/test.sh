#!/usr/bin/env bash
# Builds the library, the tests and the fuzz targets once, in build-test/, with AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs the stages:
#   layers        no floor of the library includes a header of a floor above it, and the public
#                 headers are as scripts/public_headers.py writes them (before the build)
#   unit tests    every test without the labels below
#   realfiles     tests that read files written by other programs (CTest label realfiles)
#   interop       tests that hand our files to independent readers (CTest label interop)
#   optimised     builds the library as scripts/build.sh does (Release, no sanitizer) in build-opt/,
#                 with only the test programs of the tests a sanitized program skips, and runs them
#   install       installs that static library and builds a consumer against it
#   fuzzing       every fuzz target, as many side by side as there are cores
# With clang everything also carries the fuzzing coverage instrumentation, so the fuzz targets link
# the same library as the tests. Without clang's fuzzer runtime the build uses g++ and skips fuzzing.
# OXA_FUZZ_SECONDS sets each fuzz target's run (default 60, 0 skips fuzzing); it is shortened when
# there are more targets than cores can run within the fuzz stage's budget (9 minutes, less on
# machines of fewer than five cores).
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
scripts/deps.sh --test
jobs=$(nproc)
build=build-test

stage_start=0
stage_cpu=0
# The processor time of the finished child processes in whole seconds, user and system together:
# on a shared machine a stage's time follows the load, its processor time much less.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{sub(/.*\) /, ""); printf "%d\n", ($14 + $15) / hz}' "/proc/$$/stat"; }
stage() { stage_start=$SECONDS; stage_cpu=$(cpu_seconds); printf '\n==== %s\n' "$1"; }
stage_done() { echo "==== $1 took $((SECONDS - stage_start)) s ($(($(cpu_seconds) - stage_cpu)) s of processor time)"; }

# --- layers -----------------------------------------------------------------------------------
stage "layers"
scripts/check_layers.sh
# The installed headers include each other by installed path and mark what they export.
python3 scripts/public_headers.py --check
stage_done "layers"

# --- build ------------------------------------------------------------------------------------
stage "build"
fuzzer_check=$(mktemp -d)
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  >"$fuzzer_check/f.cpp"
if command -v clang++ >/dev/null &&
   clang++ -fsanitize=fuzzer,address,undefined "$fuzzer_check/f.cpp" -o "$fuzzer_check/f" 2>/dev/null; then
  # -O2: the fuzz targets run up to a tenth more inputs a second than at -O1, and the library
  # compiles in about the same time (the tests build at -O0 whatever is set here).
  cc=clang cxx=clang++ fuzz=ON debug_flags="-O2 -gline-tables-only"
else
  echo "clang with libFuzzer is not available: building with g++, without the fuzz targets"
  cc=gcc cxx=g++ fuzz=OFF debug_flags="-O1 -g1"
fi
rm -rf "$fuzzer_check"
# A build folder configured with the other compiler cannot be reused.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^CMAKE_CXX_COMPILER:.*/$cxx\$" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
# The 250 test and fuzz programs link with lld, when it is installed, in three fifths of the
# processor time of the system linker (the library itself keeps the system linker: the install
# test checks what it exports).
exe_linker_flags=
command -v ld.lld >/dev/null && exe_linker_flags=-fuse-ld=lld
CC=$cc CXX=$cxx cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="$debug_flags" -DCMAKE_C_FLAGS_DEBUG="$debug_flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$exe_linker_flags" \
  -DOXA_SANITIZE=ON -DOXA_BUILD_FUZZ=$fuzz -DOXA_BUILD_BENCH=OFF -DOXA_LIBRARY_TYPE=SHARED
cmake --build "$build" -j"$jobs"
stage_done "build"

# --- tests ------------------------------------------------------------------------------------
ctest_log=$build/ctest-stages.log
: >"$ctest_log"
# Each test program writes a report of its cases to gtest-reports/ (tests/CMakeLists.txt), from
# which the summary counts the cases that ran and those that were skipped.
rm -rf "$build/gtest-reports" build-opt/gtest-reports
run_ctest() { (cd "$build" && ctest -j"$jobs" --output-on-failure "$@") | tee -a "$ctest_log"; }

stage "unit tests"
run_ctest -LE '^(realfiles|interop|install)$'
stage_done "unit tests"

labelled_stage() {
  local label=$1
  stage "$label tests"
  local count
  count=$(cd "$build" && ctest -N -L "^$label\$" | sed -n 's/^Total Tests: //p')
  if [ "${count:-0}" -eq 0 ]; then
    echo "$label: no test carries this label yet, the stage is empty"
  else
    # Verbose, so that each test's own report (files read, refused, skipped) is in the log.
    run_ctest -V -L "^$label\$"
  fi
  stage_done "$label tests"
}
labelled_stage realfiles
labelled_stage interop

# --- optimised --------------------------------------------------------------------------------
# Some tests cannot run in a sanitized program (an allocation failure under an address-space limit
# ends it instead of being handled); they run here, in the configuration users build. Only the
# library, oxa-convert and these tests' programs are built. The install stage then installs this
# static library instead of compiling it once more.
stage "optimised tests"
opt_build=build-opt
opt_targets=(test_tools_oxa_convert_files_cli test_objects_user_property_block)
cmake -S . -B "$opt_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXA_BUILD_FUZZ=OFF -DOXA_BUILD_BENCH=OFF
cmake --build "$opt_build" -j"$jobs" --target "${opt_targets[@]}"
(cd "$opt_build" && ctest -j"$jobs" --output-on-failure -R '^(cli_files[.].*|test_objects_user_property_block)$') |
  tee -a "$ctest_log"
stage_done "optimised tests"

# The install test installs the optimised stage's static library.
OXA_INSTALL_TEST_STATIC_BUILD=$PWD/$opt_build labelled_stage install

# --- fuzzing ----------------------------------------------------------------------------------
# The stage is a smoke run (the long runs are made for each reader change): 9 minutes on a machine
# of five cores or more, one minute a core below that, so that a small machine stays within the
# CI's time.
fuzz_budget=$((jobs >= 5 ? 540 : 60 * jobs))
fuzz_seconds=${OXA_FUZZ_SECONDS:-60}
targets=()
[ "$fuzz" = ON ] && [ "$fuzz_seconds" -gt 0 ] && targets=("$build"/fuzz/fuzz_*)
findings=0
if [ ${#targets[@]} -gt 0 ]; then
  stage "fuzzing"
  # Targets run in rounds of one per core; the per-target time shrinks so the rounds fit the budget.
  rounds=$(( (${#targets[@]} + jobs - 1) / jobs ))
  if [ $((rounds * fuzz_seconds)) -gt "$fuzz_budget" ]; then
    fuzz_seconds=$((fuzz_budget / rounds))
    [ "$fuzz_seconds" -lt 1 ] && fuzz_seconds=1
  fi
  echo "${#targets[@]} targets, $jobs at a time, ${fuzz_seconds} s each"
  runs=$build/fuzz-runs
  rm -rf "$runs"

  fuzz_one() {
    local exe=$1 out=$2 name=${1##*/fuzz_} status=0
    local seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    mkdir -p "$out/corpus" "$out/artifacts"
    # New inputs go to the run's own corpus folder; the seeds in the source tree stay as they are.
    # -entropic=0: the entropic scheduler's bookkeeping after each run grows with the features the
    # input touched, and an input that builds a few nodes touches tens of thousands; it took more
    # time than the reader itself. Without it the targets run three to four times as many inputs
    # in the same time and reach at least as much coverage. -reload=0: no other process adds to the
    # run's corpus folder, so rereading it every second is wasted. -use_counters=0: an edge counts
    # once, not once per bucket of how often it ran. With the buckets, an input that makes forty
    # nodes where another made four shows new counts on every edge of making a node, and the
    # fuzzer kept such inputs for that alone; each costs milliseconds in this build. Without them
    # the targets run up to twice as many inputs in the same time and end within 2% of the same
    # coverage, above or below.
    "$exe" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -entropic=0 -reload=0 \
      -use_counters=0 \
      -artifact_prefix="$out/artifacts/" "$out/corpus" "${seeds[@]}" </dev/null >"$out/log" 2>&1 ||
      status=$?
    echo "$status" >"$out/status"
  }
  for exe in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    fuzz_one "$exe" "$runs/${exe##*/}" &
  done
  wait

  fuzz_stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }
  for exe in "${targets[@]}"; do
    name=${exe##*/}
    out=$runs/$name
    status=$(cat "$out/status")
    execs=$(fuzz_stat number_of_executed_units "$out/log")
    rate=$(fuzz_stat average_exec_per_sec "$out/log")
    added=$(fuzz_stat new_units_added "$out/log")
    rss=$(fuzz_stat peak_rss_mb "$out/log")
    artifacts=("$out"/artifacts/*)
    if [ "$status" -eq 0 ] && [ ${#artifacts[@]} -eq 0 ]; then
      echo "$name: ${execs:-?} executions (${rate:-?}/s), ${added:-?} new inputs, peak ${rss:-?} MB, no finding"
      continue
    fi
    findings=$((findings + 1))
    echo "$name: FINDING after ${execs:-?} executions (exit status $status)"
    # The report from its first error line on (sanitizer, libFuzzer or time-out), else the log's end.
    echo "---- $name report"
    awk '/ERROR|runtime error|ALARM|deadly signal/ {on = 1} on && n++ < 150' "$out/log" >"$out/report"
    if [ -s "$out/report" ]; then cat "$out/report"; else tail -n 80 "$out/log"; fi
    [ ${#artifacts[@]} -eq 0 ] && echo "---- $name left no input behind"
    for input in "${artifacts[@]}"; do
      file=${input##*/}
      echo "---- $file ($(wc -c <"$input") bytes); to replay it, run:"
      echo "base64 -d >$file <<'EOF'"
      base64 -w 76 "$input"
      echo "EOF"
      echo "$exe $file"
    done
  done
  stage_done "fuzzing"
elif [ "$fuzz_seconds" -gt 0 ]; then
  printf '\n==== fuzzing: skipped, no fuzz targets were built\n'
fi

# --- summary ----------------------------------------------------------------------------------
ran=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$ctest_log" | awk '{n += $1} END {print n + 0}')
skipped=$(grep -c '(Skipped)$' "$ctest_log" || true)
# (A parameterized case's report lies in a folder named after its suite.)
report_lines() { find "$build/gtest-reports" build-opt/gtest-reports -name '*.xml' -exec cat {} + 2>/dev/null || true; }
cases=$(report_lines | grep -c '<testcase ' || true)
cases_skipped=$(report_lines | grep -c '<testcase .*result="skipped"' || true)
echo
echo "tests: $((ran - skipped)) passed, 0 failed, $skipped skipped; in them $((cases - cases_skipped)) GoogleTest cases passed, $cases_skipped skipped"
if [ "$findings" -gt 0 ]; then
  echo "fuzzing: $findings of ${#targets[@]} targets had a finding"
  exit 1
fi
