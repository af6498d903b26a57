#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# With --test it also installs what the tests use beyond the build: real files from other programs
# (3DS, OBJ, DXF and BVH models, CAD drawings) and independent readers of those formats. These are
# optional: when they cannot be installed (no registry, say) the run goes on and the tests that
# need them are skipped with a message naming what is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang python3 libgtest-dev libgmock-dev libbenchmark-dev)
optional=()
# lld links the test programs in three fifths of the system linker's time (scripts/test.sh uses it
# when it is there).
[ "${1:-}" = "--test" ] && optional=(assimp-testmodels librecad-data assimp-utils lib3ds-dev python3-ezdxf libassimp-dev pkgconf
  lld)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# clang's libFuzzer runtime: true when a fuzz target links with the installed clang.
fuzzer_links() {
  command -v clang++ >/dev/null || return 1
  local out
  out=$(mktemp -d) || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer - -o "$out/fuzz" >/dev/null 2>&1
  local status=$?
  rm -rf "$out"
  return $status
}
# The Debian package of that runtime for the installed clang, named after its major version
# (libclang-rt-N-dev); empty when clang is not there.
fuzzer_package() {
  local major
  major=$(clang++ --version 2>/dev/null | sed -n 's/.*clang version \([0-9][0-9]*\)\..*/\1/p' | head -n 1)
  [ -n "$major" ] && echo "libclang-rt-$major-dev"
}

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
for p in "${optional[@]}"; do installed "$p" || missing_optional+=("$p"); done
fuzzer_ok=1
[ ${#missing[@]} -eq 0 ] && ! fuzzer_links && fuzzer_ok=0
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && [ "$fuzzer_ok" -eq 1 ] && exit 0

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
apt_install() { DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$@" </dev/null; }

updated=0
$sudo_cmd apt-get update -qq </dev/null && updated=1 || echo "apt-get update failed"

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_install "${missing[@]}"
fi

# The fuzzer runtime goes with the clang just installed or found, whatever its version. Without it
# the test build falls back to g++ and the fuzzing is skipped.
if ! fuzzer_links; then
  runtime=$(fuzzer_package)
  if [ -n "$runtime" ] && ! installed "$runtime"; then
    echo "Installing clang's fuzzer runtime: $runtime"
    apt_install "$runtime" || true
  fi
  fuzzer_links || echo "NOTE: clang's fuzzer runtime${runtime:+ ($runtime)} could not be installed; the fuzzing will be skipped"
fi

if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "Installing for the tests: ${missing_optional[*]}"
  if [ "$updated" -eq 0 ] || ! apt_install "${missing_optional[@]}"; then
    # One at a time, so that one package that cannot be had does not keep out the others.
    for p in "${missing_optional[@]}"; do installed "$p" || apt_install "$p" || true; done
  fi
  for p in "${missing_optional[@]}"; do
    installed "$p" || echo "NOTE: $p could not be installed; the tests that need it will be skipped"
  done
fi
