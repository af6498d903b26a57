#!/usr/bin/env bash
# Runs oxa-convert under address-space limits (ulimit -v) from too little to enough: every run
# must end either with exit 0 and the whole file (the same bytes as a run without a limit), or with
# exit 1, a line saying there was not enough memory, and the output as it was before the run.
# A program built with AddressSanitizer cannot run under such limits: the install test runs this
# with the installed, unsanitized program.
# Usage: memory_limits_test.sh OXA_CONVERT WORK_DIR
set -euo pipefail
convert=$1 work=$2
fail() { echo "memory limits test: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cd "$work"

# A skeleton of 30 joints over 6,000 frames, and a grid of 250 x 250 quads.
awk 'BEGIN {
  print "HIERARCHY"; print "ROOT Hips"; print "{"; print "  OFFSET 0 0 0"
  print "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation"
  for (j = 1; j < 30; j++) { print "  JOINT J" j; print "  {"; print "    OFFSET 0 1 0"
    print "    CHANNELS 3 Zrotation Xrotation Yrotation" }
  print "  End Site"; print "  {"; print "    OFFSET 0 1 0"; print "  }"
  for (j = 1; j < 30; j++) print "  }"
  print "}"; print "MOTION"; print "Frames: 6000"; print "Frame Time: 0.0333333"
  for (f = 0; f < 6000; f++) { line = ""
    for (k = 0; k < 93; k++) line = line sprintf("%s%d.5", k ? " " : "", (f * 7 + k) % 90)
    print line }
}' >skeleton.bvh
awk 'BEGIN { n = 250
  for (y = 0; y <= n; y++) for (x = 0; x <= n; x++) print "v " x " " y " 0"
  for (y = 0; y < n; y++) for (x = 0; x < n; x++) { a = y * (n + 1) + x + 1
    print "f " a " " a + 1 " " a + n + 2 " " a + n + 1 }
}' >grid.obj

runs=0
for pair in skeleton.bvh:htr skeleton.bvh:trc grid.obj:3ds grid.obj:dxf; do
  in=${pair%%:*} ext=${pair#*:}
  "$convert" "$in" "whole.$ext" 2>/dev/null || fail "$in to $ext without a limit failed"
  ok=0 refused=0
  for limit in 30000 40000 50000 60000 70000 80000 90000 100000 120000 150000 200000 300000; do
    echo old >"out.$ext"
    set +e
    (ulimit -v "$limit"; exec "$convert" "$in" "out.$ext") >/dev/null 2>err.txt
    code=$?
    set -e
    runs=$((runs + 1))
    case $code in
      0)
        cmp -s "out.$ext" "whole.$ext" || fail "$in to $ext under $limit KB: exit 0 with a file that is not the whole one"
        ok=$((ok + 1)) ;;
      1)
        grep -q "not enough memory" err.txt ||
          fail "$in to $ext under $limit KB: exit 1 without saying memory ran out: $(cat err.txt)"
        [ "$(cat "out.$ext")" = old ] || fail "$in to $ext under $limit KB: the failed run changed the file"
        stray=$(find . -maxdepth 1 -name '.*' ! -name . | head -1)
        [ -z "$stray" ] || fail "$in to $ext under $limit KB: the failed run left $stray"
        refused=$((refused + 1)) ;;
      *) fail "$in to $ext under $limit KB: exit $code: $(tail -n 3 err.txt)" ;;
    esac
  done
  echo "memory limits test: $in to $ext: $refused limits ran out of memory, $ok wrote the whole file"
  [ "$ok" -gt 0 ] && [ "$refused" -gt 0 ] || fail "$in to $ext: the limits did not reach both ends"
done
echo "memory limits test: passed ($runs runs)"
