#!/usr/bin/env python3
"""Looks for the overlay's box on a screenshot of the virtual display.

  screen_probe.py box SHOT.png X,Y,W,H R,G,B [TOLERANCE]
      The bounding box ("x y width height", in screen coordinates) of the pixels inside the
      region whose colour is within TOLERANCE (default 6) of R,G,B in every channel, counting
      only rows and columns where such pixels form a run of at least 8; "none" when there is
      none.
  screen_probe.py count SHOT.png X,Y,W,H R,G,B [TOLERANCE]
      How many pixels of the region are within TOLERANCE of the colour.

The screenshot is read through ImageMagick's convert as a binary PPM, so nothing beyond the
standard library is needed.
"""
import subprocess
import sys

MIN_RUN = 8


def read_region(shot, region):
    x, y, w, h = region
    ppm = subprocess.run(
        ["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "ppm:-"],
        check=True, capture_output=True).stdout
    # Header: P6, width, height, maxval, each after white space; then the pixels.
    fields, pos = [], 0
    while len(fields) < 4:
        while ppm[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[pos:end])
        pos = end
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    return width, height, ppm[pos:pos + width * height * 3]


def matches(pixels, width, height, colour, tolerance):
    """One row of booleans per line of the region."""
    r, g, b = colour
    rows = []
    for row in range(height):
        line = pixels[row * width * 3:(row + 1) * width * 3]
        rows.append([abs(line[i] - r) <= tolerance and abs(line[i + 1] - g) <= tolerance
                     and abs(line[i + 2] - b) <= tolerance for i in range(0, width * 3, 3)])
    return rows


def longest_run(flags):
    best = run = 0
    for flag in flags:
        run = run + 1 if flag else 0
        best = max(best, run)
    return best


def main(argv):
    if len(argv) < 5 or argv[1] not in ("box", "count"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, shot = argv[1], argv[2]
    region = [int(v) for v in argv[3].split(",")]
    colour = [int(v) for v in argv[4].split(",")]
    tolerance = int(argv[5]) if len(argv) > 5 else 6
    width, height, pixels = read_region(shot, region)
    rows = matches(pixels, width, height, colour, tolerance)
    if mode == "count":
        print(sum(sum(row) for row in rows))
        return 0
    lines = [i for i, row in enumerate(rows) if longest_run(row) >= MIN_RUN]
    columns = [j for j in range(width) if longest_run(row[j] for row in rows) >= MIN_RUN]
    if not lines or not columns:
        print("none")
        return 0
    left, top = region[0] + columns[0], region[1] + lines[0]
    print(left, top, columns[-1] - columns[0] + 1, lines[-1] - lines[0] + 1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
