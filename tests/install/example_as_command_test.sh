#!/usr/bin/env bash
# The README's program writes what oxa-convert writes: each sample of examples/ to every format
# both can write, byte for byte (into folders of their own, under the same file name), and where
# one of them refuses, so does the other.
# Usage: example_as_command_test.sh READ_WRITE OXA_CONVERT SOURCE_DIR WORK_DIR
set -euo pipefail
example=$1 convert=$2 src=$3 work=$4
fail() { echo "example as command: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/example" "$work/command"
# AMC is written with its ASF skeleton, which the program leaves to its caller.
writers=$("$convert" --formats | sed -n '/^write:/,$p' | awk 'NF >= 2 && $1 != "amc" { print $1 }')
[ -n "$writers" ] || fail "oxa-convert --formats lists no writer"
compared=0
for sample in scene.3ds walk.bvh markers.c3d; do
  for ext in $writers; do
    name=${sample%.*}.$ext
    [ "${sample##*.}" = "$ext" ] && continue
    a=0 b=0
    "$example" "$src/examples/$sample" "$work/example/$name" >"$work/example/$name.log" 2>&1 || a=$?
    "$convert" -q "$src/examples/$sample" "$work/command/$name" >"$work/command/$name.log" 2>&1 || b=$?
    if [ "$a" -eq 0 ] && [ "$b" -eq 0 ]; then
      cmp -s "$work/example/$name" "$work/command/$name" ||
        fail "$sample to $ext: the program and oxa-convert wrote different files"
      compared=$((compared + 1))
    elif [ "$a" -eq 0 ] || [ "$b" -eq 0 ]; then
      cat "$work/example/$name.log" "$work/command/$name.log" >&2
      fail "$sample to $ext: the program exited $a, oxa-convert $b"
    fi
  done
done
echo "example as command: $compared conversions written alike"
