#!/usr/bin/env bash
# Plays a long note through a JACK server of its own (dummy driver) into
# jack_midi_dump, signals the player at a random moment of its start or its
# play, and counts how each run ended. A crash (status 134 or 139, or one
# that left a core file) is a failure, and so is any status other than
# 128 + signal; the script ends 1 when any happened.
#
#   bash scripts/jack-signal-soak.sh [CLI] [RUNS] [SIGNAL]
#
# CLI defaults to build/release/src/cli/sonavix-cli, RUNS to 1000, SIGNAL to
# TERM (also INT, HUP). Too slow for ctest: each run takes about a second.
# SOAK_CORE_DIR, when set, keeps the core files of crashed runs there.
set -u

cli=$(realpath "${1:-build/release/src/cli/sonavix-cli}")
runs=${2:-1000}
signal=${3:-TERM}
for tool in jackd jack_midi_dump jack_lsp; do
    command -v "$tool" >/dev/null || { echo "$tool missing (package jackd2)" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "no program $cli" >&2; exit 2; }

work=$(mktemp -d)
server="sonavix-soak-$$"
export JACK_DEFAULT_SERVER=$server
export SONAVIX_MIDI_OUT="$server-dump:input"
# The built-in synthesizer is not what is tested: device 0 is the dump's port.
export SONAVIX_SOUNDFONT=/nonexistent/sonavix.sf2

jackd -n "$server" -r -t 5000 -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
dump_pid=
finish() {
    # A player signalled before it was started is a copy of this shell.
    [ "$BASHPID" = "$$" ] || return
    [ -n "$dump_pid" ] && kill "$dump_pid" 2>/dev/null
    # Ended in an orderly way, or the server stays in JACK's registry.
    kill -TERM "$jackd_pid" 2>/dev/null
    wait "$jackd_pid" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT

for _ in $(seq 150); do
    if jack_lsp >/dev/null 2>&1; then
        if [ -z "$dump_pid" ]; then
            jack_midi_dump "$server-dump" >/dev/null 2>&1 &
            dump_pid=$!
        fi
        jack_lsp 2>/dev/null | grep -qx "$SONAVIX_MIDI_OUT" && break
    fi
    sleep 0.1
done
jack_lsp 2>/dev/null | grep -qx "$SONAVIX_MIDI_OUT" || {
    echo "the JACK server did not come up:" >&2
    cat "$work/jackd.log" >&2
    exit 2
}

ulimit -c unlimited 2>/dev/null
cd "$work" || exit 2
declare -A statuses
crashes=0 others=0
for ((run = 1; run <= runs; ++run)); do
    # A whole note of 12 s: only the signal ends it.
    "$cli" melody --list 1,2 --tempo 20 --tempo-map 0 --play >/dev/null 2>"$work/err" &
    pid=$!
    # From the output's opening to well into the note.
    sleep "0.$(printf '%03d' $((10 + RANDOM % 990)))"
    kill -s "$signal" "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    statuses[$status]=$((${statuses[$status]:-0} + 1))
    core=$(find "$work" -maxdepth 1 -name 'core*' | head -n 1)
    if [ "$status" -eq 134 ] || [ "$status" -eq 139 ] || [ -n "$core" ]; then
        crashes=$((crashes + 1))
        echo "run $run: status $status${core:+, core dumped}: $(head -c 300 "$work/err")" >&2
        if [ -n "$core" ] && [ -n "${SOAK_CORE_DIR:-}" ]; then
            mkdir -p "$SOAK_CORE_DIR" && mv "$core" "$SOAK_CORE_DIR/core.run$run"
        fi
        rm -f "$work"/core*
    fi
    if [ "$status" -ne $((128 + $(kill -l "$signal"))) ] && [ "$status" -ne 134 ] &&
        [ "$status" -ne 139 ]; then
        others=$((others + 1))
        echo "run $run: status $status: $(head -c 300 "$work/err")" >&2
    fi
    kill -0 "$jackd_pid" 2>/dev/null || { echo "jackd ended at run $run" >&2; exit 2; }
    if ((run % 100 == 0)); then echo "$run runs, $crashes crashes, $others others" >&2; fi
done

echo "runs=$runs signal=SIG$signal crashes=$crashes other_statuses=$others"
for status in "${!statuses[@]}"; do echo "status $status: ${statuses[$status]}"; done | sort
[ "$crashes" -eq 0 ] && [ "$others" -eq 0 ]
