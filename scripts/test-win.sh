#!/usr/bin/env bash
# Cross-builds core, the Windows platform code, the resources and their tests
# with mingw-w64 and runs them under Wine (CTest label "win"), in a Wine
# prefix of their own inside the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything runs in one virtual X display: Wine's desktop process starts
# with the first program and serves every window after it, so a desktop
# started without a display would leave the window tests none.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

cmake --preset win-cross
cmake --build --preset win-cross

export WINEPREFIX="$PWD/build/win-cross/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The prefix first, and let it settle: a server kept up before the prefix
# exists breaks the running-object table.
wineboot --init
wineserver -w
# Then one server for the whole run, so that each test does not pay for a
# new one, stopped whatever happens.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start Wine's own services now, with nothing attached to their output: the
# first program would otherwise start them holding CTest's output pipe open.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

ctest --preset win-cross -j2
