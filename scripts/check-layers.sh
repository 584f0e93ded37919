#!/usr/bin/env bash
# Checks the core's layering: a folder of src/ includes only the folders
# below it, and no core folder includes Qt. Prints each offending line.
set -uo pipefail
cd "$(dirname "$0")/../src"

declare -A allowed=(
  [common]="common"
  [formula]="common formula"
  [midi]="common midi"
  [sources]="common formula sources"
  [playback]="common formula midi playback"
  [melodyfile]="common formula midi playback melodyfile"
  [setup]="common formula midi sources playback setup"
)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include *"([^/"]+)\/.*/\1/' <<<"$hit")
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "src/$file: $folder must not include $target/ (${hit#*:})"
      status=1
    fi
  done < <(grep -HnE '^\s*#\s*include\s*"[^/"]+/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null)
  if grep -HnE '^\s*#\s*include\s*<Q' "$folder"/*.h "$folder"/*.cpp 2>/dev/null; then
    echo "src/$folder: the core must not include Qt"
    status=1
  fi
done
exit $status
