#!/usr/bin/env python3
"""The mobile comparison's pixel figure on tiny pictures: a shift within reach
is no difference, one beyond it is; 48 in a channel is close, 49 is not; only
the common area counts, and each way is counted on its own; the worst band
(where the side-by-side crop is taken) is where most differing pixels are.

  differing_pixels_test.py BUILT_DIFFERING_PIXELS
"""

import os
import subprocess
import sys
import tempfile


def picture(w, h, dots, maxval=255):
    """White, with black pixels at the (x, y) given, as binary PPM; at maxval
    65535 every sample takes two bytes."""
    wide = maxval > 255
    rows = []
    for y in range(h):
        for x in range(w):
            dark = (x, y) in dots
            v = 0 if dark else maxval
            rows.append((v.to_bytes(2, "big") if wide else bytes([v])) * 3)
    return b"P6\n# made by the test\n%d %d\n%d\n" % (w, h, maxval) + b"".join(rows)


def grey(w, h, level):
    return b"P6 %d %d 255\n" % (w, h) + bytes([level]) * (w * h * 3)


CASES = [
    # name, a, b, (share a->b, share b->a)
    ("same", picture(12, 12, [(5, 5)]), picture(12, 12, [(5, 5)]), (0, 0)),
    ("one pixel across", picture(12, 12, [(5, 5)]), picture(12, 12, [(6, 5)]), (0, 0)),
    ("two down and across", picture(12, 12, [(5, 5)]), picture(12, 12, [(7, 7)]), (0, 0)),
    ("three across", picture(12, 12, [(5, 5)]), picture(12, 12, [(8, 5)]), (1 / 144, 1 / 144)),
    ("48 in a channel", grey(4, 4, 100), grey(4, 4, 148), (0, 0)),
    ("49 in a channel", grey(4, 4, 100), grey(4, 4, 149), (1, 1)),
    ("one way only", picture(12, 12, []), picture(12, 12, [(5, 5)]), (0, 1 / 144)),
    ("16-bit samples", picture(12, 12, [(5, 5)], 65535), picture(12, 12, [(9, 5)]), (1 / 144, 1 / 144)),
    # b's extra rows and columns are not compared: the dot there is ignored.
    ("common area", picture(12, 12, []), picture(14, 16, [(12, 13)]), (0, 0)),
    ("samples under 255 are scaled", picture(12, 12, [(5, 5)], 1), picture(12, 12, [(5, 5)]), (0, 0)),
]

# name, a, b, band, the worst band's first row: the earliest band holding the most.
BANDS = [
    ("rows 25 to 27", picture(8, 40, []), picture(8, 40, [(1, 25), (1, 26), (6, 27)]), 5, 23),
    ("the heavier of two places", picture(8, 40, [(1, 4), (2, 30), (6, 30)]), picture(8, 40, []), 3, 28),
    ("a band taller than the page", picture(8, 6, [(1, 1)]), picture(8, 6, []), 10, 0),
]


def main():
    tool = sys.argv[1]
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        for name, a, b, want in CASES:
            paths = []
            for tag, data in (("a", a), ("b", b)):
                paths.append(os.path.join(work, tag + ".ppm"))
                with open(paths[-1], "wb") as f:
                    f.write(data)
            out = subprocess.run([tool] + paths, stdout=subprocess.PIPE, check=True).stdout.decode().split()
            got = (float(out[0]), float(out[1]))
            if any(abs(g - w) > 1e-6 for g, w in zip(got, want)):
                print("%s: got %s, want %s" % (name, got, want))
                failed += 1
        for name, a, b, band, want in BANDS:
            for path, data in zip(paths, (a, b)):
                with open(path, "wb") as f:
                    f.write(data)
            out = subprocess.run([tool] + paths + [str(band)], stdout=subprocess.PIPE, check=True).stdout.split()
            if int(out[4]) != want or int(out[5]) != min(band, int(out[3])):
                print("%s: the worst band is %s rows from %s, want %d from %d" % (name, out[5], out[4], band, want))
                failed += 1
        with open(os.path.join(work, "bad.ppm"), "wb") as f:
            f.write(b"P6 4 4 255\n" + b"\0" * 10)
        bad = subprocess.run([tool, os.path.join(work, "bad.ppm"), paths[0]], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        if bad.returncode != 2 or b"ends early" not in bad.stderr:
            print("a cut picture: exit %d, %r" % (bad.returncode, bad.stderr))
            failed += 1
    print("%d of %d cases fail" % (failed, len(CASES) + len(BANDS) + 1))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
