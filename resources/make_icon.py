#!/usr/bin/env python3
"""Renders the runner icon at every size as a 32-bit PNG and packs runner.ico.

The design: a rounded teal square with a white upward arrow (upload) over a
short bar, legible at 16 px. Needs ImageMagick's `convert`.
"""
import os
import struct
import subprocess
import sys
import tempfile

SIZES = [16, 24, 32, 48, 64, 128, 256]


def render(size, path):
    s = size / 256.0
    def p(v):
        return f"{v * s:.2f}"
    radius = max(2.0, 44 * s)
    draw = [
        "-fill", "#0f7b83", "-draw", f"roundrectangle 0,0 {size - 1},{size - 1} {radius:.2f},{radius:.2f}",
        "-fill", "white",
        # arrow head and shaft
        "-draw", f"polygon {p(128)},{p(36)} {p(208)},{p(124)} {p(156)},{p(124)} {p(156)},{p(176)} "
                 f"{p(100)},{p(176)} {p(100)},{p(124)} {p(48)},{p(124)}",
        # base bar
        "-draw", f"rectangle {p(56)},{p(196)} {p(200)},{p(224)}",
    ]
    subprocess.run(["convert", "-size", f"{size}x{size}", "xc:none", *draw, f"PNG32:{path}"], check=True)


def pack(pngs, out_path):
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = 6 + 16 * len(pngs)
    entries, blobs = b"", b""
    for size, data in pngs:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    with open(out_path, "wb") as f:
        f.write(header + entries + blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "runner.ico")
    with tempfile.TemporaryDirectory() as tmp:
        pngs = []
        for size in SIZES:
            path = os.path.join(tmp, f"{size}.png")
            render(size, path)
            with open(path, "rb") as f:
                pngs.append((size, f.read()))
    pack(pngs, out)


if __name__ == "__main__":
    main()
