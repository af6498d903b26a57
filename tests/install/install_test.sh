#!/usr/bin/env bash
# Builds the toolkit as a static library (optimised, without sanitizers, tests or fuzz targets),
# installs it into a temporary prefix, checks what was installed, builds the README's example, a
# consumer program (with a header of its own named as one of the toolkit's) and a plug-in (a shared
# library that links the toolkit, loaded by a host that exports a function of a toolkit name)
# against the installed CMake package, and the README's example with pkg-config alone, with each
# C++ compiler at hand and runs them on the samples, checks that the package answers find_package
# by its version, then runs the installed oxa-convert. Given the build folder of a shared library,
# it installs that too and checks its versioned name and what it exports.
# Both are then installed into one prefix, in either order, and each must stay reachable: through
# oxa.pc and oxa-static.pc, and through the CMake package's components.
# Usage: install_test.sh SOURCE_DIR WORK_DIR C_COMPILER CXX_COMPILER GENERATOR [LAUNCHER [SHARED_BUILD
#        [SHARED_LINK_FLAGS]]]
# SHARED_LINK_FLAGS: what a program linking that shared library needs besides (its sanitizers).
set -euo pipefail
src=$1 work=$2 cc=$3 cxx=$4 generator=$5 launcher=${6:-} shared_build=${7:-} shared_flags=${8:-}
jobs=$(nproc)
fail() { echo "install test: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
launch=()
[ -n "$launcher" ] && launch=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")

# OXA_INSTALL_TEST_STATIC_BUILD may name a Release build folder of the static library without
# sanitizers (scripts/test.sh gives the one of its optimised stage, so the library is not compiled
# once more); without it one is made here, at -O0: the package is what is tested, not the code's
# speed, and -O0 compiles fastest.
static_build=${OXA_INSTALL_TEST_STATIC_BUILD:-}
if [ -n "$static_build" ]; then
  grep -q '^-- oxa: a STATIC library' <(cmake "$static_build" 2>&1) ||
    fail "OXA_INSTALL_TEST_STATIC_BUILD=$static_build is not a build folder of the static library"
else
  static_build=$work/lib
  cmake -S "$src" -B "$static_build" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O0 -DNDEBUG" -DOXA_LIBRARY_TYPE=STATIC \
    -DOXA_BUILD_TESTS=OFF -DOXA_BUILD_BENCH=OFF -DOXA_BUILD_FUZZ=OFF -DOXA_SANITIZE=OFF "${launch[@]}" \
    >"$work/lib-configure.log" || { cat "$work/lib-configure.log"; fail "configuring the library failed"; }
fi
cmake --build "$static_build" --target oxa oxa-convert -j"$jobs" >"$work/lib-build.log" ||
  { tail -n 60 "$work/lib-build.log"; fail "building the library failed"; }
cmake --install "$static_build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log"; fail "installing failed"; }

# What was installed, file by file: the archive, the CMake package, the pkg-config file, the
# program, the README, and under include/oxa/ the public headers in their floor folders with the
# generated version and export headers; no internal header, nothing of the tests, benchmarks or
# fuzz targets.
public_headers() {
  python3 "$src/scripts/public_headers.py" --installed "$src" | sed 's|^|include/oxa/|'
  printf '%s\n' include/oxa/base/oxa_version.h include/oxa/base/oxa_export.h
}
expected=$( { public_headers
              printf '%s\n' lib/liboxa.a lib/cmake/oxa/oxaConfig.cmake lib/cmake/oxa/oxaConfigVersion.cmake \
                lib/cmake/oxa/oxa-static-targets.cmake lib/cmake/oxa/oxa-static-targets-release.cmake \
                lib/pkgconfig/oxa.pc lib/pkgconfig/oxa-static.pc bin/oxa-convert share/doc/oxa/README.md; } | sort)
installed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
if [ "$installed" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$installed") | sed -n 's/^</missing: /p; s/^>/unexpected: /p' >&2
  fail "the installed files are not the library's public files"
fi
cmp -s "$src/README.md" "$prefix/share/doc/oxa/README.md" || fail "share/doc/oxa/README.md is not the README"
# The installed headers include each other by their installed path and speak of no source file.
bad=$(cd "$prefix/include" && grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' oxa || true)
[ -z "$bad" ] || fail "installed headers include by a path the consumer's include path decides: $bad"
bad=$(cd "$prefix/include" && grep -rlE '\.cpp\b' oxa || true)
[ -z "$bad" ] || fail "installed headers speak of source files: $bad"
# The README names what the install puts where.
for item in lib/liboxa.a lib/liboxa.so.1 include/oxa/ lib/cmake/oxa/ lib/pkgconfig/oxa.pc bin/oxa-convert \
            share/doc/oxa/README.md; do
  grep -qF "$item" "$src/README.md" || fail "README.md does not list $item among what is installed"
done

# A consumer project that knows the toolkit only through find_package and sets no C++ standard: the
# package carries the toolkit's own requirement. It is built with the library's compiler, with
# clang++ (whose default standard is older than the headers need) and with the system's default
# c++ where they are present, each compiler once.
compilers=()
seen=()
for candidate in "$cxx" clang++ c++; do
  path=$(command -v "$candidate") || continue
  real=$(readlink -f "$path")
  [[ " ${seen[*]} " == *" $real "* ]] && continue
  seen+=("$real")
  compilers+=("$path")
done
n=0
for compiler in "${compilers[@]}"; do
  n=$((n + 1))
  consumer=$work/consumer-$n
  echo "install test: consumer built with $compiler"
  cmake -S "$src/tests/install/consumer" -B "$consumer" -G "$generator" -DCMAKE_CXX_COMPILER="$compiler" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >"$consumer-configure.log" ||
    { cat "$consumer-configure.log"; fail "configuring the consumer with $compiler failed"; }
  cmake --build "$consumer" -j"$jobs" >"$consumer-build.log" ||
    { cat "$consumer-build.log"; fail "building the consumer with $compiler failed"; }

  # The README's example writes each sample to another format: the 3DS scene's meshes to OBJ, the
  # BVH skeleton's joints and the C3D markers to TRC markers over the same frames. The consumer
  # reads the samples and what was written.
  for pair in scene.3ds:scene.obj walk.bvh:walk.trc markers.c3d:markers.trc; do
    "$consumer/read_write" "$src/examples/${pair%%:*}" "$consumer/${pair#*:}" ||
      fail "the example built with $compiler could not write ${pair%%:*} to ${pair#*:}"
  done
  # A plug-in with the toolkit inside, loaded at run time by a program that does not link it and
  # that exports a function named as one of the toolkit's.
  "$consumer/plugin_host" "$consumer/liboxa_plugin.so" "$src/examples/scene.3ds" "$consumer/plugin.obj" ||
    fail "the plug-in built with $compiler could not be loaded or could not convert scene.3ds"
  grep -q '^f ' "$consumer/plugin.obj" || fail "the plug-in built with $compiler wrote no faces to plugin.obj"
  # The plug-in exports its own function and nothing of the toolkit.
  exported=$(nm -D --defined-only "$consumer/liboxa_plugin.so" | awk '{print $3}' | c++filt)
  [ "$exported" = oxa_plugin_convert ] ||
    fail "the plug-in built with $compiler exports $(wc -l <<<"$exported") symbols, not only oxa_plugin_convert: $(grep -v '^oxa_plugin_convert$' <<<"$exported" | head -n 3)"
  # Built without hidden visibility of its own, it still keeps the toolkit's classes and their
  # inline functions inside (what it exports beside its function is its own standard-library use).
  "$consumer/plugin_host" "$consumer/liboxa_plugin_plain.so" "$src/examples/scene.3ds" "$consumer/plugin_plain.obj" ||
    fail "the plug-in built with $compiler without hidden visibility reached the host's functions or could not convert"
  exported=$(nm -D --defined-only "$consumer/liboxa_plugin_plain.so" | awk '{print $3}' | c++filt |
    grep -vxE 'oxa_plugin_convert|([^(]* )?(std|__gnu_cxx)::.*|operator new.*' || true)
  [ -z "$exported" ] ||
    fail "the plug-in built with $compiler without hidden visibility exports the toolkit's $(head -n 3 <<<"$exported")"

  # The README's example built with pkg-config alone, no CMake: it finds every format.
  if command -v pkg-config >/dev/null; then
    flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs oxa) ||
      fail "pkg-config does not find oxa in $prefix/lib/pkgconfig"
    [[ "$flags" != *//* ]] || fail "pkg-config --cflags --libs oxa gives paths with //: $flags"
    # shellcheck disable=SC2086
    # Without a warning: a program built with -Werror must build. The flags name no standard; the
    # program names C++17 (a compiler's default may be older).
    "$compiler" -std=c++17 -O0 -Wall -Wextra -Werror -o "$consumer/read_write_pc" "$src/examples/read_write.cpp" $flags \
      >"$consumer-pc.log" 2>&1 ||
      { cat "$consumer-pc.log"; fail "the example does not build without a warning with $compiler and pkg-config --cflags --libs oxa"; }
    for pair in scene.3ds:scene_pc.obj markers.c3d:markers_pc.trc walk.bvh:walk_pc.htr; do
      "$consumer/read_write_pc" "$src/examples/${pair%%:*}" "$consumer/${pair#*:}" ||
        fail "the example built with $compiler and pkg-config could not write ${pair%%:*} to ${pair#*:}"
    done
  else
    echo "install test: pkg-config is not installed; the example was not built with it"
  fi
  out=$("$consumer/oxa_consumer" "$src/examples/scene.3ds" "$consumer/scene.obj" "$src/examples/walk.bvh" \
          "$consumer/walk.trc" "$src/examples/markers.c3d" "$consumer/markers.trc") ||
    fail "the consumer built with $compiler could not read the samples and what the example wrote"
  echo "$out"
  # count FILE WHAT: the number the consumer printed before WHAT for FILE, 0 when none.
  count() { sed -n "s|^.*/$1: .* \([0-9][0-9]*\) $2\(,.*\)\?$|\1|p" <<<"$out" | grep . || echo 0; }
  [ "$(count scene.3ds meshes)" -ge 1 ] && [ "$(count scene.obj meshes)" = "$(count scene.3ds meshes)" ] ||
    fail "the example built with $compiler did not write the meshes of scene.3ds to OBJ"
  [ "$(count walk.bvh joints)" -ge 2 ] && [ "$(count walk.trc markers)" = "$(count walk.bvh joints)" ] &&
    [ "$(count walk.bvh frames)" -ge 2 ] && [ "$(count walk.trc frames)" = "$(count walk.bvh frames)" ] ||
    fail "the example built with $compiler did not write the joints of walk.bvh to TRC over its frames"
  [ "$(count markers.c3d markers)" -ge 2 ] && [ "$(count markers.trc markers)" = "$(count markers.c3d markers)" ] &&
    [ "$(count markers.c3d frames)" -ge 2 ] && [ "$(count markers.trc frames)" = "$(count markers.c3d frames)" ] ||
    fail "the example built with $compiler did not write the markers of markers.c3d to TRC over its frames"
done
command -v clang++ >/dev/null || echo "install test: clang++ is not installed; the consumer was not built with it"
# The pkg-config file names no language standard: the program's compiler or its own -std decides.
grep -q '^Cflags:.*-std' "$prefix/lib/pkgconfig/oxa.pc" && fail "oxa.pc names a language standard: $(grep '^Cflags:' "$prefix/lib/pkgconfig/oxa.pc")"
grep -q '^Cflags:.*-DOXA_STATIC' "$prefix/lib/pkgconfig/oxa.pc" || fail "the static library's oxa.pc does not define OXA_STATIC"
# Every installed header compiles alone, without a warning, through pkg-config's flags (or the
# same flags by hand): with g++ each header in a file of its own, and with clang++ all of them in
# one file, which instantiates every template the headers use.
header_flags=(-I"$prefix/include" -DOXA_STATIC)
if command -v pkg-config >/dev/null; then
  read -r -a header_flags <<<"$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags oxa)"
fi
mkdir -p "$work/headers"
(cd "$prefix/include" && find oxa -name '*.h' | sort) >"$work/headers/list"
header_compilers=()
for compiler in g++ clang++; do command -v "$compiler" >/dev/null && header_compilers+=("$compiler"); done
for compiler in "${header_compilers[@]}"; do
  if [ "$compiler" = g++ ]; then
    # shellcheck disable=SC2016
    xargs -P "$jobs" -I{} sh -c 'h=$1 c=$2; shift 2
      printf "#include <%s>\n" "$h" | "$c" -x c++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror "$@" - 2>&1 || echo "FAILED $h"' \
      sh {} "$compiler" "${header_flags[@]}" <"$work/headers/list" >"$work/headers/$compiler.log" || true
  else
    sed 's/.*/#include <&>/' "$work/headers/list" |
      "$compiler" -x c++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror "${header_flags[@]}" - >"$work/headers/$compiler.log" 2>&1 ||
      echo "FAILED all headers together" >>"$work/headers/$compiler.log"
  fi
  if grep -q '^FAILED' "$work/headers/$compiler.log"; then
    head -n 40 "$work/headers/$compiler.log" >&2
    fail "installed headers do not compile alone without a warning with $compiler: $(grep -c '^FAILED' "$work/headers/$compiler.log") of them"
  fi
done
echo "install test: $(wc -l <"$work/headers/list") installed headers compile alone without a warning with ${header_compilers[*]:-no compiler}"
# CMake's usual switch for shared libraries picks the library type, also when it changes on a
# folder already configured; OXA_LIBRARY_TYPE overrides it.
rm -rf "$work/type"
for pair in "-DBUILD_SHARED_LIBS=ON:SHARED" "-DBUILD_SHARED_LIBS=OFF:STATIC" "-DBUILD_SHARED_LIBS=ON:SHARED" \
            "-DBUILD_SHARED_LIBS=ON -DOXA_LIBRARY_TYPE=STATIC:STATIC"; do
  # shellcheck disable=SC2086
  cmake -S "$src" -B "$work/type" -G "$generator" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    ${pair%%:*} -DOXA_BUILD_TESTS=OFF -DOXA_BUILD_BENCH=OFF -DOXA_BUILD_FUZZ=OFF >"$work/type.log" 2>&1 ||
    { cat "$work/type.log"; fail "configuring with ${pair%%:*} failed"; }
  grep -q "^-- oxa: a ${pair#*:} library" "$work/type.log" ||
    fail "configured with ${pair%%:*} (after the line before on the same folder): $(grep '^-- oxa: a' "$work/type.log")"
done
rm -rf "$work/type"
# The README says how a program finds the shared library when it runs.
for item in LD_LIBRARY_PATH -rpath ld.so.conf; do
  grep -qF -- "$item" "$src/README.md" || fail "README.md does not say how a program finds liboxa.so.1 ($item)"
done

# The README's program writes every sample as the installed oxa-convert does.
bash "$src/tests/install/example_as_command_test.sh" "$work/consumer-1/read_write" "$prefix/bin/oxa-convert" \
  "$src" "$work/example-as-command" || fail "the README's program and oxa-convert write differently"

# The package's version: a project that asks for another major version does not get it.
version=$(sed -n 's/^project(oxa VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no version in the project() line of CMakeLists.txt"
major=${version%%.*}
mkdir -p "$work/versions"
cat >"$work/versions/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(oxa_versions LANGUAGES NONE)
find_package(oxa $((major + 1)).0 CONFIG QUIET)
if(oxa_FOUND)
  message(FATAL_ERROR "find_package(oxa $((major + 1)).0) took version \${oxa_VERSION}")
endif()
find_package(oxa $major.0 CONFIG QUIET)
if(NOT oxa_VERSION STREQUAL "$version")
  message(FATAL_ERROR "find_package(oxa $major.0) found version '\${oxa_VERSION}', not $version")
endif()
EOF
cmake -S "$work/versions" -B "$work/versions/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/versions.log" 2>&1 ||
  { cat "$work/versions.log"; fail "the package does not answer find_package by its version $version"; }

formats=$("$prefix/bin/oxa-convert" --formats) || fail "the installed oxa-convert --formats failed"
echo "$formats"
for ext in bvh 3ds c3d obj; do
  grep -qw "$ext" <<<"$formats" || fail "the installed oxa-convert lists no $ext format"
done
# --help sends the reader to the README the install put below this prefix.
"$prefix/bin/oxa-convert" --help | grep -qF "$(cd "$prefix" && pwd -P)/share/doc/oxa/README.md" ||
  fail "the installed oxa-convert --help does not name $prefix/share/doc/oxa/README.md"
# The GNU form of --version.
first=$("$prefix/bin/oxa-convert" --version | head -n 1)
[ "$first" = "oxa-convert (OXA scene toolkit) $version" ] ||
  fail "the installed oxa-convert --version says \"$first\", not \"oxa-convert (OXA scene toolkit) $version\""
# Memory that runs out: the tests' programs carry AddressSanitizer, which cannot run under an
# address-space limit, so the installed program, built without it, is run under such limits here.
bash "$src/tests/install/memory_limits_test.sh" "$prefix/bin/oxa-convert" "$work/memory" ||
  fail "the installed oxa-convert did not end cleanly where memory ran out"
# A shared library: its name carries the major version (liboxa.so.1, which programs record), and it
# exports the public interface and nothing that only the library's own sources see.
if [ -n "$shared_build" ]; then
  shared=$work/shared-prefix
  cmake --install "$shared_build" --prefix "$shared" >"$work/shared-install.log" ||
    { cat "$work/shared-install.log"; fail "installing the shared library failed"; }
  [ -L "$shared/lib/liboxa.so" ] && [ "$(readlink "$shared/lib/liboxa.so")" = liboxa.so.1 ] &&
    [ -L "$shared/lib/liboxa.so.1" ] && [ "$(readlink "$shared/lib/liboxa.so.1")" = "liboxa.so.$version" ] &&
    [ -f "$shared/lib/liboxa.so.$version" ] ||
    fail "the shared library is not installed as liboxa.so -> liboxa.so.1 -> liboxa.so.$version: $(ls -l "$shared/lib")"
  # One export header serves both libraries, so both may be installed into one prefix.
  cmp -s "$shared/include/oxa/base/oxa_export.h" "$prefix/include/oxa/base/oxa_export.h" ||
    fail "the shared and the static install write different oxa/base/oxa_export.h"
  ! grep -q -- '-DOXA_STATIC' "$shared/lib/pkgconfig/oxa.pc" || fail "the shared library's oxa.pc defines OXA_STATIC"
  soname=$(readelf -d "$shared/lib/liboxa.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "liboxa.so.$major" ] || fail "the shared library's SONAME is '$soname', not liboxa.so.$major"
  exported=$(nm -D --defined-only "$shared/lib/liboxa.so.$version" | awk '{print $3}' | c++filt)
  for name in 'VOxaSdkManager::Create()' 'VOxaFindWriterFormat(char const*)' 'VOxaImporter::Initialize(char const*)'; do
    grep -qxF "$name" <<<"$exported" || fail "the shared library does not export $name"
  done
  ! grep -q 'fcurve_node_detail::' <<<"$exported" || fail "the shared library exports functions of its internal headers"
  # Every symbol it exports is declared by an installed header: the 3DS toolkit and the functions
  # of the internal headers stay inside, out of the library's interface.
  python3 "$src/tests/install/exported_symbols.py" "$shared/lib/liboxa.so.$version" "$shared/include" \
    >"$work/exported-symbols.log" ||
    { head -n 40 "$work/exported-symbols.log" >&2; fail "the shared library exports what no installed header declares"; }
  # Both libraries in one prefix, in either order: oxa.pc and the package without a component give
  # the shared one, oxa-static.pc and the component static the static one, and the README's program
  # links and runs with each.
  for order in static-shared shared-static; do
    both=$work/both-$order
    for kind in ${order%-*} ${order#*-}; do
      from=$static_build
      [ "$kind" = shared ] && from=$shared_build
      cmake --install "$from" --prefix "$both" >"$both-$kind.log" ||
        { cat "$both-$kind.log"; fail "installing the $kind library ($order) failed"; }
    done
    for pc in oxa:shared oxa-static:static; do
      command -v pkg-config >/dev/null || break
      program=$both/read_write_${pc#*:}
      flags=$(PKG_CONFIG_PATH="$both/lib/pkgconfig" pkg-config --cflags --libs "${pc%%:*}") ||
        fail "pkg-config does not find ${pc%%:*} in $both (installed $order)"
      extra=()
      [ "${pc#*:}" = shared ] && read -r -a extra <<<"$shared_flags"
      # shellcheck disable=SC2086
      "$cxx" -std=c++17 -O0 -o "$program" "$src/examples/read_write.cpp" $flags "${extra[@]}" >"$program.log" 2>&1 ||
        { cat "$program.log"; fail "the README's program does not link with ${pc%%:*}.pc, both libraries installed ($order)"; }
      needs=$(readelf -d "$program" | grep -c 'NEEDED.*liboxa' || true)
      [ "$needs" = "$([ "${pc#*:}" = shared ] && echo 1 || echo 0)" ] ||
        fail "the program built with ${pc%%:*}.pc ($order) does not link the ${pc#*:} library"
      LD_LIBRARY_PATH=$both/lib "$program" "$src/examples/walk.bvh" "$both/walk_${pc#*:}.htr" ||
        fail "the README's program built with ${pc%%:*}.pc ($order) could not write walk.bvh"
    done
    mkdir -p "$both/pick"
    printf '%s\n' 'cmake_minimum_required(VERSION 3.16)' 'project(oxa_pick LANGUAGES NONE)' \
      'find_package(oxa CONFIG REQUIRED ${PICK})' \
      'get_target_property(configurations oxa::oxa IMPORTED_CONFIGURATIONS)' \
      'list(GET configurations 0 configuration)' \
      'get_target_property(location oxa::oxa IMPORTED_LOCATION_${configuration})' \
      'get_target_property(definitions oxa::oxa INTERFACE_COMPILE_DEFINITIONS)' \
      'message(STATUS "picked ${location} ${definitions}")' >"$both/pick/CMakeLists.txt"
    for pick in ":liboxa.so" "COMPONENTS static:liboxa.a OXA_STATIC" "COMPONENTS shared:liboxa.so"; do
      rm -rf "$both/pick/build"
      arguments=${pick%%:*}
      cmake -S "$both/pick" -B "$both/pick/build" -DCMAKE_PREFIX_PATH="$both" -DPICK="${arguments// /;}" \
        >"$both/pick.log" 2>&1 || { cat "$both/pick.log"; fail "find_package(oxa ${pick%%:*}) failed ($order)"; }
      got=$(sed -n 's/^-- picked //p' "$both/pick.log")
      [[ "$got" == *"${pick#*:}"* ]] || fail "find_package(oxa CONFIG ${pick%%:*}) gave '$got' ($order)"
    done
  done
  # Nor the standard library's template instances it compiled. (The type information of function
  # types, which the sanitizers' checks of indirect calls emit, is not such an instance.)
  std_exported=$(grep -vE '^typeinfo( name)? for .*\)$' <<<"$exported" |
    grep -E '^([^(]* )?(std|__gnu_cxx)::' || true)
  [ -z "$std_exported" ] ||
    fail "the shared library exports $(wc -l <<<"$std_exported") standard-library instances: $(head -n 3 <<<"$std_exported")"
fi
echo "install test: passed"
