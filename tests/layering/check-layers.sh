#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. The layers, bottom up:
#   base      the wide text type and its byte conversions
#   platform  the operating system: group directories, descriptors, option scanners
#   listing   the output stream, the output rule and the record writer
#   cli       the command line
#   program   the main procedure (the run driver) and main()
# A file may include its own layer and those below it, never one above. listing/output_rule.h
# (the SIMD text narrowing) is the listing layer's own and is included only there.
#   check-layers.sh SOURCE_DIR
set -euo pipefail
source_dir=${1:?source directory}
layers=(base platform listing cli program)

rank() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then echo "$i"; return; fi
  done
  echo -1
}

violations=0
while IFS= read -r file; do
  relative=${file#"$source_dir"/}
  own_layer=${relative%%/*}
  own=$(rank "$own_layer")
  if [ "$own" -lt 0 ]; then
    echo "$relative: not in a layer (${layers[*]})"
    violations=$((violations + 1))
    continue
  fi
  while IFS= read -r line; do
    number=${line%%:*}
    header=$(sed -E 's/^[0-9]+:#include "([^"]+)".*/\1/' <<<"$line")
    [[ $header == */* ]] || continue
    layer=${header%%/*}
    wanted=$(rank "$layer")
    if [ "$wanted" -lt 0 ] || [ "$wanted" -gt "$own" ]; then
      echo "$relative:$number: $own_layer includes $header, a layer above it"
      violations=$((violations + 1))
    elif [ "$header" = listing/output_rule.h ] && [ "$own_layer" != listing ]; then
      echo "$relative:$number: $header is the listing layer's own"
      violations=$((violations + 1))
    fi
  done < <(grep -n '^#include "' "$file" || true)
done < <(find "$source_dir" -name '*.h' -o -name '*.cpp' | sort)

if [ "$violations" -gt 0 ]; then
  echo "$violations include(s) against the layer order"
  exit 1
fi
echo "includes follow the layer order: ${layers[*]}"
