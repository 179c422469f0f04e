#!/usr/bin/env bash
# Converts decks with a given velloran and compares what it writes, file by
# file, with a reference folder made the same way (by another build, say):
# pages, style sheets and scripts byte for byte, with a diff of the first
# differences, and pictures and every other file by their SHA-256.
#
#   scripts/compare-pages.sh VELLORAN REFERENCE_DIR PATH...
#
# PATHs are decks or folders, as `velloran convert` takes them; give them as
# the reference was made, since the order decides which of two decks of the
# same name gets the page. Set OUT to keep the converted pages in a folder of
# your choice (it is emptied first) and the log beside it. Exit status: 0 identical, 1 different,
# 2 wrong usage.
set -uo pipefail

if [ $# -lt 3 ] || [ ! -x "$1" ] || [ ! -d "$2" ]; then
    echo "usage: $0 VELLORAN REFERENCE_DIR PATH..." >&2
    exit 2
fi
velloran=$1
reference=$(cd "$2" && pwd)
shift 2

if [ -n "${OUT:-}" ]; then
    out=$OUT log=$OUT.log
    rm -rf "$out"
else
    out=$(mktemp -d) log=$(mktemp)
    trap 'rm -rf "$out" "$log"' EXIT
fi
mkdir -p "$out"

# One file at a time, so that the same deck wins a name clash every run.
"$velloran" convert --jobs 1 --output "$out" "$@" >"$log" 2>&1
echo "convert: exit status $?, $(tail -n 1 "$log")"

list() { (cd "$1" && find . -type f | LC_ALL=C sort); }
identical=0 different=0 missing=0 extra=0
while IFS= read -r file; do
    if [ ! -f "$out/$file" ]; then
        echo "MISSING  $file"
        missing=$((missing + 1))
    elif cmp -s "$reference/$file" "$out/$file"; then
        identical=$((identical + 1))
    else
        different=$((different + 1))
        case $file in
        *.htm | *.html | *.css | *.js | */.velloran-export)
            echo "DIFFERS  $file"
            diff -u "$reference/$file" "$out/$file" | sed -n '3,40p'
            ;;
        *)
            echo "DIFFERS  $file" \
                "(sha256 $(sha256sum <"$reference/$file" | cut -c1-16)" \
                "-> $(sha256sum <"$out/$file" | cut -c1-16))"
            ;;
        esac
    fi
done < <(list "$reference")
while IFS= read -r file; do
    [ -f "$reference/$file" ] || { echo "EXTRA    $file"; extra=$((extra + 1)); }
done < <(list "$out")

pages=$(find "$reference" -maxdepth 1 -type f \( -name '*.htm' -o -name '*.html' \) | wc -l)
echo "$pages reference pages; files: $identical identical, $different different," \
    "$missing missing, $extra extra"
[ $((different + missing + extra)) -eq 0 ]
