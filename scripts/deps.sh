#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# With --test it also installs what the tests use beyond the build: real files from other programs
# (3DS, OBJ, DXF and BVH models, CAD drawings) and independent readers of those formats. These are
# optional: when they cannot be installed (no registry, say) the run goes on and the tests that
# need them are skipped with a message naming what is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev)
optional=()
[ "${1:-}" = "--test" ] && optional=(assimp-testmodels librecad-data assimp-utils lib3ds-dev python3-ezdxf libassimp-dev)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
for p in "${optional[@]}"; do installed "$p" || missing_optional+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
apt_install() { DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$@" </dev/null; }

updated=0
$sudo_cmd apt-get update -qq </dev/null && updated=1 || echo "apt-get update failed"

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_install "${missing[@]}"
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
