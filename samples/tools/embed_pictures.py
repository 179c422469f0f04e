#!/usr/bin/env python3
"""Draws the pictures of the sample presentations into their flat ODF sources.

Every picture in samples/src/*.fodp is a frame named "picture-NAME" whose
<office:binary-data> holds a PNG.  This script renders NAME's SVG (from
samples/tools/pictures/, or the application icon for "velloran-logo") with
rsvg-convert and writes it back as base64, so the .fodp files stay
self-contained and the drawings stay editable.  Run it after changing an SVG,
then samples/regenerate.sh.
"""

import base64
import glob
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.dirname(HERE)
SPECIAL = {"velloran-logo": os.path.join(SAMPLES, "..", "resources", "velloran.svg")}
WIDTH = 320  # pixels: sharp enough on a slide, small in the repository

FRAME = re.compile(
    r'(<draw:frame\b[^>]*\bdraw:name="picture-(?P<name>[a-z0-9-]+)"[^>]*>\s*'
    r"<draw:image>\s*<office:binary-data>)(?P<data>.*?)(</office:binary-data>)",
    re.S,
)


def render(name):
    svg = SPECIAL.get(name, os.path.join(HERE, "pictures", name + ".svg"))
    png = subprocess.run(
        ["rsvg-convert", "--width", str(WIDTH), "--format", "png", svg],
        check=True, capture_output=True,
    ).stdout
    text = base64.b64encode(png).decode("ascii")
    return "\n" + "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\n"


def main():
    sources = sys.argv[1:] or sorted(glob.glob(os.path.join(SAMPLES, "src", "*.fodp")))
    for path in sources:
        with open(path, encoding="utf-8") as f:
            doc = f.read()
        names = []

        def fill(m):
            names.append(m.group("name"))
            return m.group(1) + render(m.group("name")) + m.group(4)

        doc = FRAME.sub(fill, doc)
        with open(path, "w", encoding="utf-8") as f:
            f.write(doc)
        print(f"{os.path.basename(path)}: {', '.join(names) or 'no pictures'}")


if __name__ == "__main__":
    main()
