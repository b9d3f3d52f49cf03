#!/usr/bin/env bash
# Takes the picture of the window shown in the README: starts the window on a virtual X
# display, makes a small free-walk run with a fixed seed and saves docs/window.png.
# Usage: scripts/screenshot.sh [build-dir] [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/window.png}
gui="$build/src/gui/polychain-gui"
if [[ ! -x "$gui" ]]; then
  echo "screenshot: $gui not found; build the window first (make build)" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null; then
  echo "screenshot: xvfb-run not found; run scripts/setup.sh first" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
xvfb-run -a -s "-screen 0 1280x1024x24" "$gui" --screenshot "$out"
echo "screenshot: saved $out"
