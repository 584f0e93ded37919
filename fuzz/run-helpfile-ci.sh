#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz_helpfile for the given number of seconds
# (default 30), seeded with the help file the build compiles, on a scratch
# corpus so that a run never changes the repository. Exits non-zero on a crash,
# leak or timeout; the offending input is kept under build/fuzz/artifacts/.
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_helpfile help_file

corpus="build/fuzz/corpus-helpfile"
artifacts="build/fuzz/artifacts"
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
cp "build/fuzz/help/project/Sonavix Hilfe.chm" "$corpus/sonavix.chm"
# Inputs that once crashed stay among the seeds.
cp fuzz/corpus/helpfile/* "$corpus/"

exec build/fuzz/fuzz/fuzz_helpfile "$corpus" \
    -max_total_time="$seconds" \
    -max_len=65536 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/"
