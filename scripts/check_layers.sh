#!/usr/bin/env bash
# Checks that each floor of the library includes only headers of its own floor and the floors below:
#   base < objects < oxa_codec < animation < scene < attributes, character < formats < tools
# (attributes and character share a floor). Prints every include that reaches up and exits 1 when
# there is one. Usage: scripts/check_layers.sh [source root], the repository by default.
#
# The scene floor still reaches up into attributes and character (the manager creates attributes,
# nodes hold them); those includes are counted and printed, not failed.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

dirs=()
for dir in base objects oxa_codec animation scene attributes character formats tools; do
  [ -d "$dir" ] && dirs+=("$dir")
done
[ ${#dirs[@]} -gt 0 ] || { echo "layers: no floor folder under $PWD"; exit 1; }

# grep prints path:line:#include "folder/..." (or <oxa/folder/...>, as the installed headers write it);
# awk compares the floors of the path and the folder.
{ grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*("|<oxa/)[^"/>]+/' \
  "${dirs[@]}" || true; } | awk '
  BEGIN {
    split("base objects oxa_codec animation scene attributes character formats tools", names, " ")
    split("0 1 2 3 4 5 5 6 7", ranks, " ")
    for (i in names) floor[names[i]] = ranks[i]
  }
  {
    split($0, parts, ":")
    file = parts[1]; line = parts[2]
    split(file, path, "/"); own = path[1]
    text = substr($0, length(file) + length(line) + 3)
    sub(/^[^"<]*["<]/, "", text); sub(/^oxa\//, "", text); sub(/\/.*/, "", text)
    if (!(text in floor) || floor[text] <= floor[own]) next
    if (own == "scene" && floor[text] == 5) { tolerated++; next }
    printf "%s:%s: the %s floor includes a header of %s, a floor above it\n", file, line, own, text
    violations++
  }
  END {
    if (tolerated) printf "layers: scene includes attributes or character headers %d times (tolerated)\n", tolerated
    if (violations) { printf "layers: %d includes reach up a floor\n", violations; exit 1 }
    print "layers: every floor includes only its own floor and those below"
  }'
