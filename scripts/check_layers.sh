#!/usr/bin/env bash
# Holds every #include "..." under src/ to the arrows of scripts/layers.txt:
# a file may include headers of its own layer and of the layers its line
# names, never of a layer above. Prints each include that runs up (or into a
# folder that is no layer) and exits 1 when there is one. One grep over every
# file and one awk over its lines.
set -euo pipefail
cd "$(dirname "$0")/.."

# grep prints FILE:LINE:TEXT for each quoted include; a file with no include
# at all still needs its layer checked, so every file is also named alone.
files=$(mktemp)
trap 'rm -f "$files"' EXIT
find src \( -name '*.cc' -o -name '*.h' \) -print | LC_ALL=C sort > "$files"
{
  sed 's/^/FILE /' "$files"
  xargs -r -d '\n' grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' < "$files" || true
} | LC_ALL=C awk '
  # The layer a path under src/ belongs to: the longest layer name it starts with.
  function layer_of(path,   l, best) {
    best = ""
    for (l in allowed) {
      if (index(path, l "/") == 1 && length(l) > length(best)) best = l
    }
    return best
  }
  FNR == NR {
    if ($1 == "" || $1 ~ /^#/) next
    allowed[$1] = " " $0 " "
    next
  }
  $1 == "FILE" {
    file = substr($0, 6)
    rel = substr(file, 5)
    if (rel !~ /\//) next  # the mains
    if (layer_of(rel) == "") {
      print file ": not in any layer of scripts/layers.txt"
      faults++
    }
    next
  }
  {
    # FILE:LINE:TEXT; a file name holds no colon here.
    file = $0; sub(/:.*/, "", file)
    rest = substr($0, length(file) + 2)
    number = rest; sub(/:.*/, "", number)
    text = substr(rest, length(number) + 2)
    rel = substr(file, 5)
    if (rel !~ /\//) next
    from = layer_of(rel)
    if (from == "") next  # told once above
    header = text
    sub(/^[[:space:]]*#[[:space:]]*include[[:space:]]*"/, "", header)
    sub(/".*/, "", header)
    to = layer_of(header)
    line = allowed[from]
    gsub(/[[:space:]]+/, " ", line)
    if (to == "" || index(line, " " to " ") == 0) {
      print file ":" number ": " from " may not include \"" header "\" (" (to == "" ? "no layer" : to) ")"
      faults++
    }
  }
  END {
    if (faults > 0) {
      print "check_layers: " faults " include(s) against the layers"
      exit 1
    }
    print "check_layers: every include follows the layers"
  }
' scripts/layers.txt -
