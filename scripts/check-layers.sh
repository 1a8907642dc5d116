#!/usr/bin/env bash
# The source folders are layers: a folder includes only its own headers and
# those of folders on lower layers, so no library target depends upward and
# none forms a cycle. Prints each include that breaks the rule; exits 1 if any.
set -euo pipefail
src="$(cd "$(dirname "$0")/../src" && pwd)"
declare -A layer=(
  [imaging]=0 [match]=1 [faces]=1 [library]=2 [engine]=3
  [quality]=4 [view]=4 [output]=5 [project]=5 [cli]=6 [ui]=6
)
bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [ -z "${layer[$folder]+set}" ]; then
    echo "check-layers: src/$folder has no layer; add it to scripts/check-layers.sh" >&2
    bad=1
    continue
  fi
  while IFS=: read -r file line text; do
    used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
    [ "$used" = "$folder" ] && continue
    if [ -z "${layer[$used]+set}" ] || [ "${layer[$used]}" -ge "${layer[$folder]}" ]; then
      echo "${file#"$src"/}:$line: src/$folder (layer ${layer[$folder]}) includes src/$used (layer ${layer[$used]:-none})"
      bad=1
    fi
  done < <(grep -rnE '^\s*#\s*include "[a-z]+/' "$dir" --include='*.h' --include='*.cpp' || true)
done
if [ "$bad" -eq 0 ]; then echo "check-layers: every include points to a lower layer"; fi
exit "$bad"
