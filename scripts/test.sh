#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, checks the
# formatting and runs every test: core, app (offscreen widgets), engine
# (real LibreOffice) and page (the written pages in Chromium, with npm
# packages installed from package-lock.json into the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci

echo "Checking formatting"
git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror

export QT_QPA_PLATFORM=offscreen
ctest --preset ci --timeout 1200 -j2
