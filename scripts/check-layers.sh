#!/usr/bin/env bash
# Checks the layering that src/CMakeLists.txt writes down (SONAVIX_LAYERS):
# with the include path a layer really compiles with, a header of every layer
# it does not see must not be found. The configure step writes, per layer,
# what it sees, a header of its own and its include path to <build>/layers/.
# Also refuses includes that climb out of a folder ("../"), which no include
# path can stop. Usage: check-layers.sh <build folder> [compiler]
set -uo pipefail
build=${1:?usage: check-layers.sh <build folder> [compiler]}
cxx=${2:-c++}
src="$(dirname "$0")/../src"

declare -A sees probe flags
for file in "$build"/layers/*; do
  [ -f "$file" ] || { echo "no layers in $build/layers (configure first)"; exit 1; }
  layer=$(basename "$file")
  sees[$layer]=" $(sed -n 's/^sees //p' "$file") "
  probe[$layer]=$(sed -n 's/^probe //p' "$file")
  flags[$layer]=$(sed -n 's/^includes //p' "$file" | sed -E 's/(^| )([^ ])/\1-I\2/g')
done

status=0
for layer in "${!sees[@]}"; do
  for other in "${!probe[@]}"; do
    [[ ${sees[$layer]} == *" $other "* ]] && continue
    # shellcheck disable=SC2086 # one word per include folder
    out=$("$cxx" -E -x c++ -o /dev/null ${flags[$layer]} - <<<"#include \"${probe[$other]}\"" 2>&1)
    if [ $? -eq 0 ] || ! grep -qE "${probe[$other]}'?:? (No such file|file not found)" <<<"$out"; then
      echo "$layer reaches ${probe[$other]} of $other, which it does not link${out:+: $out}"
      status=1
    fi
  done
done

if grep -rnE '^\s*#\s*include\s*"\.\./' "$src"; then
  echo "includes name their folder from src/, never ../"
  status=1
fi
exit $status
