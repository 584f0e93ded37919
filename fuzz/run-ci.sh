#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz_formula for the given number of seconds
# (default 60) on a scratch copy of the committed seed corpus, so that a run
# never changes the repository. Exits non-zero on a crash, leak or timeout;
# the offending input is kept under build/fuzz/artifacts/.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_formula

corpus="build/fuzz/corpus-formula"
artifacts="build/fuzz/artifacts"
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
cp fuzz/corpus/formula/* "$corpus/"

# Formulas are capped at 1000 characters; a little more reaches the cap's message.
exec build/fuzz/fuzz/fuzz_formula "$corpus" \
    -dict=fuzz/formula.dict \
    -max_total_time="$seconds" \
    -max_len=1200 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/"
