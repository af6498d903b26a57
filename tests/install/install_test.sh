#!/usr/bin/env bash
# Builds the toolkit as a static library (optimised, without sanitizers, tests or fuzz targets),
# installs it into a temporary prefix, checks what was installed, builds a consumer program against
# the installed CMake package and runs it on the samples, then runs the installed oxa-convert.
# Usage: install_test.sh SOURCE_DIR WORK_DIR C_COMPILER CXX_COMPILER GENERATOR [LAUNCHER]
set -euo pipefail
src=$1 work=$2 cc=$3 cxx=$4 generator=$5 launcher=${6:-}
jobs=$(nproc)
fail() { echo "install test: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
launch=()
[ -n "$launcher" ] && launch=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")

# -O0: the package is what is tested, not the code's speed, and -O0 compiles fastest.
cmake -S "$src" -B "$work/lib" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O0 -DNDEBUG" -DOXA_LIBRARY_TYPE=STATIC \
  -DOXA_BUILD_TESTS=OFF -DOXA_BUILD_BENCH=OFF -DOXA_BUILD_FUZZ=OFF -DOXA_SANITIZE=OFF "${launch[@]}" \
  >"$work/lib-configure.log" || { cat "$work/lib-configure.log"; fail "configuring the library failed"; }
cmake --build "$work/lib" --target oxa oxa-convert -j"$jobs" >"$work/lib-build.log" ||
  { tail -n 60 "$work/lib-build.log"; fail "building the library failed"; }
cmake --install "$work/lib" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log"; fail "installing failed"; }

# What was installed: the archive, the package, the program, and headers under include/oxa/ in
# their floor folders; nothing of the tests, benchmarks or fuzz targets.
for file in lib/liboxa.a lib/cmake/oxa/oxaConfig.cmake lib/cmake/oxa/oxaTargets.cmake bin/oxa-convert \
            include/oxa/scene/voxa_scene.h include/oxa/base/verror.h include/oxa/oxa_codec/voxa_io_formats.h \
            include/oxa/formats/motion/bvh/voxa_reader_biovision.h; do
  [ -e "$prefix/$file" ] || fail "$file was not installed"
done
stray=$(cd "$prefix" && find . -type f ! -path './include/oxa/*' ! -path './lib/cmake/oxa/*' \
          ! -name liboxa.a ! -name oxa-convert | sort)
[ -z "$stray" ] || fail "unexpected files installed: $stray"
stray=$(cd "$prefix/include/oxa" && find . \( -type f ! -name '*.h' \) -o \( -type d -path './*' \
          ! -regex '\./\(base\|objects\|oxa_codec\|animation\|scene\|attributes\|character\|formats\)\(/.*\)?' \))
[ -z "$stray" ] || fail "unexpected files or folders under include/oxa: $stray"

# A consumer project that knows the toolkit only through find_package.
cmake -S "$src/tests/install/consumer" -B "$work/consumer" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer-configure.log" ||
  { cat "$work/consumer-configure.log"; fail "configuring the consumer failed"; }
cmake --build "$work/consumer" -j"$jobs" >"$work/consumer-build.log" ||
  { cat "$work/consumer-build.log"; fail "building the consumer failed"; }

out=$("$work/consumer/oxa_consumer" "$src/examples/walk.bvh" "$src/examples/scene.3ds") ||
  fail "the consumer could not read the samples"
echo "$out"
for sample in walk.bvh scene.3ds; do
  count=$(sed -n "s|.*/$sample: \([0-9]*\) nodes$|\1|p" <<<"$out")
  [ -n "$count" ] && [ "$count" -ge 2 ] || fail "the consumer found no nodes in $sample"
done

formats=$("$prefix/bin/oxa-convert" --formats) || fail "the installed oxa-convert --formats failed"
echo "$formats"
for ext in bvh 3ds c3d obj; do
  grep -qw "$ext" <<<"$formats" || fail "the installed oxa-convert lists no $ext format"
done
echo "install test: passed"
