#!/usr/bin/env bash
# The README shows the program example whole: the code block of its section "Reading and writing a
# file from a program" must be examples/read_write.cpp line for line; and its consumer CMakeLists.txt
# starts as a project must.
# Usage: readme_example_test.sh SOURCE_DIR
set -euo pipefail
src=$1
block=$(awk '
  /^## / { section = ($0 == "## Reading and writing a file from a program") }
  section && !inside && /^```cpp$/ { inside = 1; found = 1; next }
  inside && /^```$/ { exit }
  inside { print }
  END { if (!found) exit 1 }
' "$src/README.md") || { echo "README.md: no cpp code block in \"Reading and writing a file from a program\""; exit 1; }
if ! diff -u "$src/examples/read_write.cpp" <(printf '%s\n' "$block") >&2; then
  echo "README.md: the code block of \"Reading and writing a file from a program\" differs from examples/read_write.cpp"
  exit 1
fi
echo "README.md shows examples/read_write.cpp whole"
# The consumer's CMakeLists.txt that the README shows starts as a project must for CMake to
# configure it without a warning.
consumer=$(awk '/^    find_package\(oxa / { print block; exit } /^    / { block = block $0 "\n"; next } { block = "" }' \
  "$src/README.md")
grep -q '^    cmake_minimum_required(VERSION ' <<<"$consumer" && grep -q '^    project(' <<<"$consumer" || {
  echo "README.md: the consumer's CMakeLists.txt does not start with cmake_minimum_required and project"
  exit 1
}
echo "README.md shows a consumer's CMakeLists.txt that starts as a project must"
