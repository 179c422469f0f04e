#!/usr/bin/env bash
# Builds Velloran and opens its window. Without a display it converts the
# bundled samples into ./out through the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target velloran

program=build/release/bin/velloran
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

echo "No display found: converting the sample presentations into ./out instead."
status=0
"$program" convert --output out build/release/bin/Samples || status=$?
echo
echo "The pages are in $(pwd)/out:"
ls -1 out/*.htm 2>/dev/null | sed 's/^/  /' || true
echo
echo "To open the window, run this command again on a desktop, or under a virtual display:"
echo "  xvfb-run -a $program"
exit $status
