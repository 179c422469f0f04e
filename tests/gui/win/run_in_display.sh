#!/bin/sh
# Runs the window tests under Wine in a virtual X display, then
# turns the screenshot they take into a PNG beside the build.
#   run_in_display.sh WINE TESTS OUTPUT.png
set -eu
wine=$1 tests=$2 png=$3
bmp=${png%.png}.bmp
rm -f "$bmp"
# Wine's drive Z: is the root of the Unix file system.
VELLORAN_SCREENSHOT="Z:$(printf '%s' "$bmp" | tr / '\\')"
export VELLORAN_SCREENSHOT
# The display the whole Wine run shares when there is one (Wine's desktop
# belongs to it), else one of their own.
if [ -n "${DISPLAY:-}" ]; then
    "$wine" "$tests"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$tests"
fi
if [ -f "$bmp" ]; then
    python3 "$(dirname "$0")/bmp_to_png.py" "$bmp" "$png"
    rm -f "$bmp"
    echo "screenshot: $png"
fi
