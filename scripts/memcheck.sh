#!/usr/bin/env bash
# shellcheck disable=SC2016  # xargs hands each line to bash -c as its $0
# Runs the whole test suite, and oxa-convert over real files from other programs, under valgrind's
# memcheck in the Release build, and fails on any memory error or leak that memcheck reports.
# For developers before they resolve an issue; it takes long, so CI does not run it.
#
# Usage: scripts/memcheck.sh [-j N] [-x PROGRAM]... [BUILD_DIR]
#   -j N        tests run side by side (default: the number of cores)
#   -x PROGRAM  leaves the test program of that name out (for example
#               test_formats_geometry_dxf_voxa_dxf_realfiles, which alone takes about an hour);
#               may be given more than once, and a name that is no test program is a usage error
#   BUILD_DIR   a Release build with tests, reused when it is configured (default build-mut);
#               it is configured and built when needed
# Environment: OXA_MEMCHECK_TESTS=REGEX runs only the tests that match; OXA_MEMCHECK_FILES=N
# sets how many drawing files of each folder are converted (default 8).
# Exit code: 0 clean, 1 memcheck found errors or a test failed, 2 a usage or setup error.
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
root=$PWD

usage="usage: $0 [-j N] [-x PROGRAM]... [BUILD_DIR]"
jobs=$(nproc)
left_out=()
while getopts "j:x:" option; do
  case $option in
    j) jobs=$OPTARG ;;
    x) left_out+=("$OPTARG") ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
build=${1:-build-mut}
[ $# -le 1 ] || { echo "$usage" >&2; exit 2; }
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "-j takes a positive whole number" >&2; exit 2; }

command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }

# --- build ------------------------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXA_BUILD_BENCH=OFF
elif ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
  echo "$build is not a Release build" >&2
  exit 2
fi
cmake --build "$build" -j"$jobs"
build=$(cd "$build" && pwd)

# Every error makes valgrind exit with 99; definite and possible leaks count as errors. The
# suppressions file, when there is one, hides reports from system libraries.
report=$build/memcheck
rm -rf "$report"
mkdir -p "$report"
# shellcheck disable=SC2054  # the commas belong to valgrind's option values
valgrind_options=(--tool=memcheck --error-exitcode=99 --leak-check=full
                  --errors-for-leak-kinds=definite,possible --show-leak-kinds=definite,possible
                  --track-origins=yes --num-callers=30 --trace-children=no)
[ -f "$root/scripts/memcheck.supp" ] && valgrind_options+=(--suppressions="$root/scripts/memcheck.supp")

# --- the test suite ----------------------------------------------------------------------------
# Each test program runs whole under valgrind (one process per program rather than per test case:
# valgrind's start-up would otherwise dominate, and CTest's per-test time limits do not fit its
# slowdown). The programs that read many real files go first, as they take longest.
for name in "${left_out[@]}"; do
  if [ ! -f "$build/tests/$name" ] || [ ! -x "$build/tests/$name" ]; then
    echo "-x $name: no test program of that name in $build/tests" >&2
    exit 2
  fi
done
programs=()
for program in "$build"/tests/test_*; do
  if [ ! -f "$program" ] || [ ! -x "$program" ]; then continue; fi
  [[ $(basename "$program") =~ ${OXA_MEMCHECK_TESTS:-.} ]] || continue
  [[ " ${left_out[*]} " == *" $(basename "$program") "* ]] && continue
  programs+=("$program")
done
[ ${#programs[@]} -gt 0 ] || { echo "no test programs in $build/tests" >&2; exit 2; }
export REPORT=$report VALGRIND_OPTIONS="${valgrind_options[*]}"
# Prints one line per program that fails, telling memory errors (valgrind's exit 99) from failed
# tests; the program's own output and valgrind's log stay in the report folder.
# shellcheck disable=SC2317  # run by xargs through bash -c
run_test_program() {
  local program=$1 name status=0
  name=$(basename "$program")
  # shellcheck disable=SC2086
  (cd "$(dirname "$program")" &&
   valgrind $VALGRIND_OPTIONS --log-file="$REPORT/$name.valgrind.log" "$program" --gtest_color=no \
     >"$REPORT/$name.out" 2>&1) || status=$?
  if [ "$status" -eq 99 ]; then
    echo "memory errors: $name (see $REPORT/$name.valgrind.log)"
    return 1
  elif [ "$status" -ne 0 ]; then
    echo "tests failed: $name (exit $status, see $REPORT/$name.out)"
    return 1
  fi
}
export -f run_test_program
suite_ok=1
if ! printf '%s\n' "${programs[@]}" | awk '{ print (/realfiles/ ? 0 : 1) "\t" $0 }' | sort -s -k1,1n |
     cut -f2 | xargs -d '\n' -n 1 -P "$jobs" bash -c 'run_test_program "$0"'; then
  suite_ok=0
fi
echo "memcheck: ${#programs[@]} test programs ran${left_out[*]:+ (left out: ${left_out[*]})}"

# --- oxa-convert over real files ---------------------------------------------------------------
# Each file is converted into the formats of the other side (geometry to geometry, motion to
# motion) and listed with --info, each under memcheck.
files=()
for folder in /usr/share/assimp /usr/share/librecad; do
  [ -d "$folder" ] || continue
  for kind in 3ds obj bvh; do
    while IFS= read -r file; do files+=("$file"); done \
      < <(find "$folder" -type f -iname "*.$kind" | sort)
  done
  while IFS= read -r file; do files+=("$file"); done \
    < <(find "$folder" -type f -iname '*.dxf' | sort | head -n "${OXA_MEMCHECK_FILES:-8}")
done
convert_ok=1
if [ ${#files[@]} -eq 0 ]; then
  echo "memcheck: no real files under /usr/share/assimp or /usr/share/librecad, conversions skipped"
else
  out=$report/converted
  mkdir -p "$out"
  : >"$report/convert.list"
  n=0
  for file in "${files[@]}"; do
    n=$((n + 1))
    case ${file,,} in
      *.bvh) targets=(bvh htr) ;;
      *) targets=(3ds obj dxf) ;;
    esac
    echo "--info|$file|$report/convert.$n.info.log" >>"$report/convert.list"
    for target in "${targets[@]}"; do
      echo "$out/$n.$target|$file|$report/convert.$n.$target.log" >>"$report/convert.list"
    done
  done
  export OXA_CONVERT="$build/tools/oxa-convert"
  # A conversion that fails to read or write is not a memory error; only valgrind's 99 counts.
  # shellcheck disable=SC2317  # run by xargs through bash -c
  run_one() {
    IFS='|' read -r target file log <<<"$1"
    local status=0
    if [ "$target" = "--info" ]; then
      # shellcheck disable=SC2086
      valgrind $VALGRIND_OPTIONS --log-file="$log" "$OXA_CONVERT" --info "$file" >/dev/null 2>&1 || status=$?
    else
      # shellcheck disable=SC2086
      valgrind $VALGRIND_OPTIONS --log-file="$log" "$OXA_CONVERT" "$file" "$target" >/dev/null 2>&1 || status=$?
    fi
    if [ "$status" -eq 99 ]; then
      echo "memcheck: errors converting $file to ${target##*/}: $log"
      return 1
    fi
  }
  export -f run_one
  if ! xargs -d '\n' -n 1 -P "$jobs" bash -c 'run_one "$0"' <"$report/convert.list"; then
    convert_ok=0
  fi
  echo "memcheck: oxa-convert ran over ${#files[@]} files ($(wc -l <"$report/convert.list") runs)"
fi

if [ $suite_ok -eq 1 ] && [ $convert_ok -eq 1 ]; then
  echo "memcheck: no errors"
  exit 0
fi
echo "memcheck: errors found; the logs are in $report"
exit 1
