#!/usr/bin/env bash
# Installs the Debian 12 packages Velloran needs to build, run and test.
# Only what is missing is installed; a machine that has everything is left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev libgl-dev googletest libgtest-dev libgmock-dev
    libreoffice-impress libreoffice-dev libwebp-dev libkainjow-mustache-dev
    # The command line's run report (JSON) and its hashes (XXH3), both used
    # as headers only; GNU parallel for the shard test.
    nlohmann-json3-dev libxxhash-dev parallel
    # libxml2 for the engine bench's flat-XML read prototype.
    libxml2-dev
    # Metric-compatible fonts for the fonts decks use most, and CJK glyphs.
    fonts-liberation fonts-crosextra-carlito fonts-crosextra-caladea fonts-noto-cjk
    xvfb xauth
    # The page checks drive Debian's Chromium.
    chromium
    # The Debian package's test: the manual-page index and the desktop,
    # AppStream and Debian validators.
    man-db desktop-file-utils appstream lintian
    # The fleet example's Kubernetes Job is linted as YAML.
    yamllint
    # The Windows stage: the cross-compiler and Wine to run its tests, and
    # Python for the window's skin picture drawn at build time.
    g++-mingw-w64-x86-64-posix wine wine64 python3
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The page tests run npm packages in Node; a Node from elsewhere brings its
# own npm, so ask for Debian's only when the commands are missing.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
