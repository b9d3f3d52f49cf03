#!/usr/bin/env bash
# Takes the pictures of the window shown in the README: starts the window on a virtual X
# display, makes a small run with a fixed seed and saves docs/window.png (the window after a
# free-walk run) and docs/tabs.png (the Details and Scaling tabs after a self-avoiding run and
# a sweep).
# Usage: scripts/screenshot.sh [build-dir] [output-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}
gui="$build/tools/screenshot/polychain-screenshot"
if [[ ! -x "$gui" ]]; then
  echo "screenshot: $gui not found; build the window first (make build)" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null; then
  echo "screenshot: xvfb-run not found; run scripts/setup.sh first" >&2
  exit 1
fi
mkdir -p "$out"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
shoot() { xvfb-run -a -s "-screen 0 1280x1024x24" "$gui" "$@"; }
shoot "$out/window.png"
shoot "$out/tabs.png" --model saw --size 1100x860 --tab Details --tab Scaling
echo "screenshot: saved $out/window.png and $out/tabs.png"
