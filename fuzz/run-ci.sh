#!/usr/bin/env bash
# Builds the fuzz preset and runs one fuzz target (formula or helpfile) for the
# given number of seconds (default 60) on a scratch copy of its seeds, so that
# a run never changes the repository. Exits non-zero on a crash, leak or
# timeout; the offending input is kept under build/fuzz/artifacts/.
set -euo pipefail

target="${1:?usage: run-ci.sh formula|helpfile [seconds]}"
seconds="${2:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

corpus="build/fuzz/corpus-$target"
artifacts="build/fuzz/artifacts"
cmake --preset fuzz >/dev/null
case "$target" in
  formula)
    cmake --build --preset fuzz --target fuzz_formula
    # Formulas are capped at 1000 characters; a little more reaches the cap's message.
    options=(-dict=fuzz/formula.dict -max_len=1200)
    ;;
  helpfile)
    cmake --build --preset fuzz --target fuzz_helpfile help_file
    options=(-max_len=65536)
    ;;
  *)
    echo "run-ci.sh: unknown target '$target' (formula or helpfile)" >&2
    exit 2
    ;;
esac

rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
# The committed seeds, inputs that once crashed among them.
cp "fuzz/corpus/$target"/* "$corpus/"
if [ "$target" = helpfile ]; then
  cp "build/fuzz/help/project/Sonavix Hilfe.chm" "$corpus/sonavix.chm"
fi

exec "build/fuzz/fuzz/fuzz_$target" "$corpus" \
    "${options[@]}" \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/"
