#!/usr/bin/env bash
# Runs the program on the bundled sample: the window when a display is there, the command-line tool's
# analysis otherwise.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/selvarondine-cli"
gui="$build/selvarondine"
sample="$here/samples/sample.frq"
sensors="$here/samples/sample.sns"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$gui" ]; then
  exec "$gui" "$sample"
fi
echo "== $sample"
"$cli" describe "$sample"
echo "== $sensors"
"$cli" sensors "$sensors"
echo "== analysis of the sample project (sample.frq with sensor 1 of sample.sns, 70 g of propellant)"
"$cli" analyze "$here/samples/sample.proj"
