#!/usr/bin/env bash
# Runs scripts/check_layers.sh on small trees: includes within a floor or down pass, an include up a
# floor fails and is named, scene's includes of attributes and character are tolerated; then on the
# repository itself, which must pass.
# Usage: check_layers_test.sh CHECK_LAYERS_SCRIPT SOURCE_DIR
set -uo pipefail
check=$1 src=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# put FILE LINE...: writes the lines into the tree.
put() {
  local file=$tree/$1
  shift
  mkdir -p "$(dirname "$file")"
  printf '%s\n' "$@" >"$file"
}
# expect STATUS [PATTERN]: runs the check on the tree; its status and, when given, a line of output.
expect() {
  local want=$1 pattern=${2:-} out status
  out=$(bash "$check" "$tree" 2>&1)
  status=$?
  [ "$status" -eq "$want" ] || fail "status $status, wanted $want; output: $out"
  [ -z "$pattern" ] || grep -q -- "$pattern" <<<"$out" || fail "no line matching '$pattern' in: $out"
}

put base/a.h '#pragma once' '#include <vector>' '#include "local.h"'
put objects/b.cpp '#include "objects/b.h"' '#include "base/a.h"'
put animation/filters/f.cpp '#include "animation/fcurve.h"' '#include "oxa_codec/voxa.h"'
put character/c.cpp '#include "attributes/voxa_mesh.h"' '#include "scene/voxa_node.h"'
put attributes/m.cpp '#include "character/voxa_character.h"'
put scene/n.cpp '#include "attributes/voxa_mesh.h"' '#include "character/voxa_character.h"'
put formats/r.cpp '#include "scene/voxa_node.h"' '#include "oxa_codec/voxa_reader.h"'
put tools/t.cpp '#include "formats/r.h"'
expect 0 "every floor includes only its own floor"
expect 0 "scene includes attributes or character headers 2 times"

# Each lower floor reaching up, with the spellings an include may have.
put animation/baking.cpp '#include "animation/fcurve.h"' '#include "scene/voxa_node.h"'
expect 1 "animation/baking.cpp:2: the animation floor includes a header of scene"
rm "$tree/animation/baking.cpp"
put oxa_codec/table.cpp '// formats' '  #  include "formats/motion/bvh/voxa_reader_biovision.h"'
expect 1 "oxa_codec/table.cpp:2: the oxa_codec floor includes a header of formats"
rm "$tree/oxa_codec/table.cpp"
put base/x.h '#include "objects/vobject.h"'
expect 1 "base/x.h:1: the base floor includes a header of objects"
rm "$tree/base/x.h"
put base/u.h '#include <oxa/base/vstring.h>' '#include <oxa/scene/voxa_node.h>'
expect 1 "base/u.h:2: the base floor includes a header of scene"
rm "$tree/base/u.h"
put objects/y.cpp '#include "oxa_codec/voxa.h"'
expect 1 "the objects floor includes a header of oxa_codec"
rm "$tree/objects/y.cpp"
# Above scene the rule holds too, and scene may not reach past attributes and character.
put scene/z.cpp '#include "formats/voxa_format_table.h"'
expect 1 "scene/z.cpp:1: the scene floor includes a header of formats"
rm "$tree/scene/z.cpp"
put character/w.cpp '#include "tools/x.h"'
expect 1 "the character floor includes a header of tools"
put formats/v.cpp '#include "tools/x.h"'
expect 1 "layers: 2 includes reach up a floor"
rm "$tree/character/w.cpp" "$tree/formats/v.cpp"
expect 0

# The repository itself.
out=$(bash "$check" "$src" 2>&1) || fail "the repository has includes that reach up: $out"

echo "check_layers: $failures failures"
[ "$failures" -eq 0 ]
