#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over every source of the program,
# its tests and benchmarks, two files at a time, from a configured build's
# compile database. Any finding fails. Usage: scripts/tidy.sh [build dir [file...]]
# (with files, only those; a header is checked through the sources that include it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
if [ ! -f "$build/compile_commands.json" ]; then
  echo "$build/compile_commands.json fehlt: erst konfigurieren" >&2
  exit 1
fi
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
shift || true
pattern="^$PWD/(src|tests|bench)/"
if [ $# -gt 0 ]; then
  pattern="^$PWD/($(printf '%s\n' "$@" | grep -E '\.cpp$' | sed 's/[.]/[.]/g' | paste -sd'|'))\$"
fi
run-clang-tidy -p "$build" -j2 -quiet "$pattern" >"$log" 2>&1 || status=$?
# Only the findings: clang-tidy also counts what it suppressed in system headers.
grep -v -E '^[0-9]+ warnings? generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter' "$log" || true
exit "$status"
