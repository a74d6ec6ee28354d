#!/usr/bin/env bash
# Holds every #include "..." under src/ to the arrows of scripts/layers.txt:
# a file may include headers of its own layer and of the layers its line
# names, never of a layer above. Prints each include that runs up (or into a
# folder that is no layer) and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed
while read -r layer rest; do
  [[ -z "$layer" || "$layer" == \#* ]] && continue
  allowed[$layer]="$layer $rest"
done < scripts/layers.txt

# The layer a path under src/ belongs to: the longest layer name it starts with.
layer_of() {
  local path=$1 best=""
  for layer in "${!allowed[@]}"; do
    if [[ "$path" == "$layer/"* && ${#layer} -gt ${#best} ]]; then best=$layer; fi
  done
  printf '%s' "$best"
}

faults=0
while IFS= read -r file; do
  rel=${file#src/}
  [[ "$rel" != */* ]] && continue  # the mains
  from=$(layer_of "$rel")
  if [[ -z "$from" ]]; then
    echo "$file: not in any layer of scripts/layers.txt"
    faults=$((faults + 1))
    continue
  fi
  while IFS= read -r line; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"${line#*:}")
    number=${line%%:*}
    to=$(layer_of "$header")
    ok=0
    for layer in ${allowed[$from]}; do
      [[ "$to" == "$layer" ]] && ok=1
    done
    if [[ $ok -eq 0 ]]; then
      echo "$file:$number: $from may not include \"$header\" (${to:-no layer})"
      faults=$((faults + 1))
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src -name '*.cc' -o -name '*.h' | sort)

if [[ $faults -gt 0 ]]; then
  echo "check_layers: $faults include(s) against the layers"
  exit 1
fi
echo "check_layers: every include follows the layers"
