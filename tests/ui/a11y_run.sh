#!/usr/bin/env bash
# Runs a11y_tree.py against the program on its own X display and D-Bus
# session, with the accessibility bus started; exits 77 (skipped) where the
# packages are missing.
set -u
program="$1"; shift
launcher=""
for p in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$p" ] && launcher="$p" && break
done
if [ -z "$launcher" ] || ! command -v dbus-run-session >/dev/null || ! command -v Xvfb >/dev/null ||
   ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "at-spi2-core, dbus, Xvfb or python3-pyatspi missing"; exit 77
fi
here="$(cd "$(dirname "$0")" && pwd)"
exec dbus-run-session -- bash -c '
  launcher="$1"; program="$2"; here="$3"; shift 3
  display=":$((RANDOM % 400 + 100))"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  "$launcher" --launch-immediately >/dev/null 2>&1 & bus=$!
  sleep 1
  export DISPLAY="$display" HOME="$(mktemp -d)" XDG_CONFIG_HOME="" 
  /usr/bin/python3 "$here/a11y_tree.py" "$program" "$@"; rc=$?
  kill "$bus" "$xvfb" 2>/dev/null
  exit $rc' _ "$launcher" "$program" "$here" "$@"
