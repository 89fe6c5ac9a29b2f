#!/usr/bin/env python3
"""Compares the mobile description's pictures with headless Chromium's screenshot of the same page.

Each page is given to `mojian mobile` (under Wine, pictures forced to PNG so
that nothing is lost to JPEG) and to Chromium as a fragment in the item
page's column (750, or 790 when the page declares only that width), every
picture served from a local HTTP server (as tests/html/compare_pages.py
serves them). The pieces are stacked and set against Chromium's screenshot
taken at the device scale that gives the same width (1 at 750, 1.656 at
1,242 from a 750 column). The figure per page and width: the share of
pixels that differ by more than 48 in some channel from every pixel within
2 pixels in the other picture, each way, the larger kept. Not part of make
test: it needs Wine, Chromium and ImageMagick, and prints figures.

  compare_mobile.py --mojian build/win64/cli/mojian.com PAGE.html... [--widths 750,1242] [--out DIR] [--documents]
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "html"))
import compare_pages as cp  # noqa: E402

THRESHOLD = 48  # in a channel, of 255
REACH = 2       # pixels around


def convert(*args):
    subprocess.run(["convert"] + list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], stdout=subprocess.PIPE, check=True).stdout
    w, h = out.decode().split()
    return int(w), int(h)


def one_way(a, b, work, tag):
    """The share of a's pixels with no pixel near them in b that is close in every channel."""
    masks = []
    for dy in range(-REACH, REACH + 1):
        for dx in range(-REACH, REACH + 1):
            mask = os.path.join(work, "%s-%d-%d.png" % (tag, dx, dy))
            convert(a, "(", b, "-roll", "%+d%+d" % (dx, dy), ")", "-compose", "difference", "-composite",
                    "-separate", "-evaluate-sequence", "max", "-threshold", "%.4f%%" % (100.0 * THRESHOLD / 255),
                    mask)
            # Two masks at a time: a tall page's 25 do not fit ImageMagick's cache together.
            if masks:
                convert(masks[0], mask, "-compose", "darken", "-composite", masks[0])
            else:
                masks.append(mask)
    out = subprocess.run(["convert", masks[0], "-format", "%[fx:mean]", "info:"],
                         stdout=subprocess.PIPE, check=True).stdout
    return float(out.decode().strip() or "nan")


def differing(ours, theirs, work):
    w1, h1 = size_of(ours)
    w2, h2 = size_of(theirs)
    w, h = min(w1, w2), min(h1, h2)
    a, b = os.path.join(work, "a.png"), os.path.join(work, "b.png")
    for src, dst in ((ours, a), (theirs, b)):
        convert(src, "-alpha", "off", "-crop", "%dx%d+0+0" % (w, h), "+repage", dst)
    return max(one_way(a, b, work, "ab"), one_way(b, a, work, "ba")), (w1, h1), (w2, h2)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("pages", nargs="+")
    ap.add_argument("--mojian", required=True, help="mojian.com (the Windows build)")
    ap.add_argument("--wine", default=os.environ.get("MOJIAN_WINE", "wine"))
    ap.add_argument("--widths", default="750,1242")
    ap.add_argument("--out", help="keep the stacked pieces and the screenshots here")
    ap.add_argument("--documents", action="store_true",
                    help="give Chromium each file as a document of its own (mails), not as a fragment of a page")
    args = ap.parse_args()
    site = cp.Site()
    server = cp.start_server(site)
    base = "http://127.0.0.1:%d" % server.server_address[1]
    work = tempfile.mkdtemp(prefix="mobile-compare-")
    # Debian's ImageMagick refuses pictures over 16,384 rows; a long page's
    # stacked pieces and Chromium's screenshot of it are taller.
    with open(os.path.join(work, "policy.xml"), "w") as f:
        f.write('<policymap><policy domain="resource" name="width" value="1MP"/>'
                '<policy domain="resource" name="height" value="1MP"/>'
                '<policy domain="resource" name="area" value="4GP"/>'
                '<policy domain="resource" name="memory" value="2GiB"/>'
                '<policy domain="resource" name="disk" value="16GiB"/></policymap>')
    os.environ["MAGICK_CONFIGURE_PATH"] = work
    if args.out:
        os.makedirs(args.out, exist_ok=True)
    try:
        for page in args.pages:
            name = os.path.basename(page)
            text = cp.strip_sheets(cp.read_text(page))
            column = cp.width_of(text, "auto")
            text = cp.rewrite_pictures(text, base)
            shown = text if args.documents else cp.as_fragment_page(text)
            site.files["/doc/" + name] = (shown.encode("utf-8"), "text/html; charset=utf-8")
            source = os.path.join(work, "page.html")
            with open(source, "w", encoding="utf-8") as f:
                f.write(text)
            for width in [int(w) for w in args.widths.split(",")]:
                folder = os.path.join(work, "out-%d" % width)
                shutil.rmtree(folder, ignore_errors=True)
                made = subprocess.run([args.wine, args.mojian, "mobile", cp.win_path(source), "-o", cp.win_path(folder),
                                       "--width", str(width), "--page-width", str(column), "--format", "png",
                                       "--allow-broken"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                pieces = sorted(glob.glob(os.path.join(folder, "[0-9]*.png")))
                if not pieces:
                    print("%-48s %5d  mojian made nothing (exit %d)" % (name, width, made.returncode))
                    continue
                ours = os.path.join(work, "ours.png")
                convert(*pieces, "-append", ours)
                _, height = size_of(ours)
                scale = width / column
                cp.CHROMIUM_FLAGS[:] = [f for f in cp.CHROMIUM_FLAGS if not f.startswith("--force-device-scale-factor")]
                cp.CHROMIUM_FLAGS.append("--force-device-scale-factor=%g" % scale)
                theirs = os.path.join(work, "chromium.png")
                if os.path.exists(theirs):
                    os.remove(theirs)
                cp.run_chromium(["--virtual-time-budget=10000",
                                 "--window-size=%d,%d" % (column, int(height / scale + 0.999)),
                                 "--screenshot=" + theirs, base + "/doc/" + name], timeout=180)
                if not os.path.exists(theirs):
                    print("%-48s %5d  Chromium made no screenshot" % (name, width))
                    continue
                share, o, t = differing(ours, theirs, work)
                print("%-48s %5d  %6.2f %% differ   ours %dx%d, Chromium %dx%d, %d pieces" %
                      (name, width, 100 * share, o[0], o[1], t[0], t[1], len(pieces)))
                if args.out:
                    stem = os.path.splitext(name)[0]
                    shutil.copy(ours, os.path.join(args.out, "%s-%d-ours.png" % (stem, width)))
                    shutil.copy(theirs, os.path.join(args.out, "%s-%d-chromium.png" % (stem, width)))
                sys.stdout.flush()
    finally:
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
