#!/usr/bin/env python3
"""Runs tools/artwork/generate into a temporary folder and checks that it
gives the committed res/art byte for byte (so the committed files are the
generator's, and the generator is deterministic).

    regenerate_matches.py SOURCE_DIR

Exits 77 (skipped) when ImageMagick's convert or the DejaVu fonts are missing,
or when convert is another version than the one the committed files were
made with (imagemagick-version.txt): text rendering may differ by a pixel
between versions; regenerate and commit the pictures then.
"""

import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

src = sys.argv[1]
if shutil.which("convert") is None or not os.path.exists(
        "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"):
    print("skipped: ImageMagick convert or the DejaVu fonts are not installed")
    sys.exit(77)

recorded = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "imagemagick-version.txt")).read().strip()
version = subprocess.run(["convert", "-version"], capture_output=True, text=True).stdout.splitlines()[:1]
current = version[0].split(" https")[0].strip() if version else ""
if current != recorded:
    print("skipped: the pictures were made with %r, this machine has %r" % (recorded, current))
    sys.exit(77)

art = os.path.join(src, "res", "art")
with tempfile.TemporaryDirectory() as out:
    subprocess.run([sys.executable, os.path.join(src, "tools", "artwork", "generate"), out], check=True)
    made, kept = sorted(os.listdir(out)), sorted(os.listdir(art))
    bad = []
    if made != kept:
        bad.append("file lists differ: generated %s, committed %s" % (made, kept))
    for name in made:
        if name in kept and not filecmp.cmp(os.path.join(out, name), os.path.join(art, name), shallow=False):
            bad.append(name + " differs from the generator's output")
    for line in bad:
        print(line)
    print("%d files compared, %d problems" % (len(made), len(bad)))
    sys.exit(1 if bad else 0)
