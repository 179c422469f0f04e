#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, checks the
# formatting and runs every test: core, app (offscreen widgets), engine
# (real LibreOffice), page (the written pages in Chromium, with npm packages
# installed from package-lock.json into the build folder) and package (builds
# the .deb, installs it into /usr, checks it and removes it again; run alone,
# and skipped when not root). Then the Windows cross-build and its tests under
# Wine (label win).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci

echo "Checking formatting"
git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror

export QT_QPA_PLATFORM=offscreen
ctest --preset ci --timeout 1200 -j2

bash scripts/test-win.sh
