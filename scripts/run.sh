#!/usr/bin/env bash
# Starts the desktop window; without a display, or before the window is built, runs a
# default free walk with the command-line tool instead.
set -euo pipefail
build=${1:-build}
if [[ -x "$build/src/gui/polychain-gui" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  exec "$build/src/gui/polychain-gui"
fi
if [[ -x "$build/src/gui/polychain-gui" ]]; then
  echo "No display found (DISPLAY is not set): running a default free walk on the command line instead."
fi
exec "$build/polychain" run --model meander --steps 1000 --iterations 100
