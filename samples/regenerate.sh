#!/bin/bash
# Rebuilds the sample presentations of the Samples folder from their flat ODF
# sources in src/, each into the format it is shipped in.  The results are
# committed, so only whoever changes a source needs LibreOffice:
#
#   samples/tools/embed_pictures.py   # only after changing a picture
#   samples/regenerate.sh
#
# soffice runs with a throwaway profile so it neither reads nor changes the
# user's own LibreOffice settings, and works while LibreOffice is open.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
soffice=${SOFFICE:-soffice}
profile=$(mktemp -d /tmp/velloran-samples-profile.XXXXXX)
work=$(mktemp -d /tmp/velloran-samples-out.XXXXXX)
trap 'rm -rf "$profile" "$work"' EXIT

# source name (without .fodp) and the format it is shipped in; one of each
# format the program reads, and one name with a space in it.
samples=(
    "Velloran Welcome:pptx"
    "Batch Conversion:ppt"
    "Velloran Tips:odp"
)

for entry in "${samples[@]}"; do
    name=${entry%:*}
    format=${entry##*:}
    "$soffice" "-env:UserInstallation=file://$profile" --headless --norestore \
        --convert-to "$format" --outdir "$work" "$here/src/$name.fodp" >/dev/null
    if [ ! -s "$work/$name.$format" ]; then
        echo "regenerate.sh: LibreOffice made no $name.$format" >&2
        exit 1
    fi
    mv "$work/$name.$format" "$here/$name.$format"
    echo "wrote samples/$name.$format"
done
