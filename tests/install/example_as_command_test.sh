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
# Writes `path` (whose name is `sample`) to `ext` with both programs and compares.
compare() {
  local path=$1 sample=$2 ext=$3 name a=0 b=0
  name=${sample%.*}.$ext
  "$example" "$path" "$work/example/$name" >"$work/example/$name.log" 2>&1 || a=$?
  "$convert" -q "$path" "$work/command/$name" >"$work/command/$name.log" 2>&1 || b=$?
  if [ "$a" -eq 0 ] && [ "$b" -eq 0 ]; then
    cmp -s "$work/example/$name" "$work/command/$name" ||
      fail "$sample to $ext: the program and oxa-convert wrote different files"
    compared=$((compared + 1))
  elif [ "$a" -eq 0 ] || [ "$b" -eq 0 ]; then
    cat "$work/example/$name.log" "$work/command/$name.log" >&2
    fail "$sample to $ext: the program exited $a, oxa-convert $b"
  fi
}
for sample in scene.3ds walk.bvh markers.c3d; do
  for ext in $writers; do
    [ "${sample##*.}" = "$ext" ] && continue
    compare "$src/examples/$sample" "$sample" "$ext"
  done
done

# Marker files from labs often label two markers alike; both programs read them the same way. A
# C3D file of three markers, two of them labelled MKQA: written from a TRC file with the labels
# MKQA, MKQB and MKQA (the second MKQA is renamed), whose MKQB then becomes MKQA in place.
printf 'PathFileType\t4\t(X/Y/Z)\tlabels.trc\n%s\n60\t60\t3\t3\tmm\t60\t1\t3\n' \
  "DataRate	CameraRate	NumFrames	NumMarkers	Units	OrigDataRate	OrigDataStartFrame	OrigNumFrames" \
  >"$work/labels.trc"
printf 'Frame#\tTime\tMKQA\t\t\tMKQB\t\t\tMKQA\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\tX3\tY3\tZ3\n\n' >>"$work/labels.trc"
for f in 1 2 3; do
  printf '%d\t%s\t1\t2\t%d\t4\t5\t%d\t7\t8\t%d\n' "$f" "0.0$((f - 1))" $((f + 2)) $((f + 5)) $((f + 8)) >>"$work/labels.trc"
done
"$convert" -q "$work/labels.trc" "$work/labels_unique.c3d" || fail "labels.trc was not converted to C3D"
LC_ALL=C sed 's/MKQB/MKQA/g' "$work/labels_unique.c3d" >"$work/labels.c3d"
cmp -s "$work/labels.c3d" "$work/labels_unique.c3d" && fail "the C3D file holds no label MKQB to repeat"
before=$compared
for ext in $writers; do
  [ "$ext" = c3d ] && continue
  compare "$work/labels.c3d" labels.c3d "$ext"
  [ "$ext" = trc ] || compare "$work/labels.trc" labels.trc "$ext"
done
[ "$compared" -gt "$before" ] || fail "no file with repeated labels was written by both programs"
# The public C3D files, when present, to TRC (several repeat their labels).
corpus=${OXA_CORPUS_DIR:-/work/shared/corpus}/c3d
if [ -d "$corpus" ]; then
  for path in "$corpus"/*.c3d "$corpus"/*.C3D; do
    [ -f "$path" ] && compare "$path" "corpus_$(basename "${path%.*}").c3d" trc
  done
else
  echo "example as command: $corpus is absent, its C3D files are skipped"
fi
echo "example as command: $compared conversions written alike"
