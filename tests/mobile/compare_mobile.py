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
2 pixels in the other picture, each way, the larger kept, counted by
differing_pixels.cpp beside this script (g++ -O2, built once into
build/tools) on both pictures streamed from ImageMagick as PPM. Not part of
make test: it needs Wine, Chromium and ImageMagick, and prints figures.

  compare_mobile.py --mojian build/win64/cli/mojian.com --wine "$MOJIAN_WINE" [PAGE.html...]
      [--blocks catalogue/blocks] [--widths 750,1242] [--documents] [--timeout SECONDS]
      [--out DIR] [--table FIGURES.md] [--comparator BUILT]
"""

import argparse
import glob
import hashlib
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "html"))
import compare_pages as cp  # noqa: E402

TARGET = 2.0    # per cent: the most a page may differ at either width
MIN_WINDOW = 300  # CSS pixels
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
COMPARATOR_SOURCE = os.path.join(HERE, "differing_pixels.cpp")


def comparator(given):
    """The native comparator: the one given, or ours built once with g++ -O2
    into build/tools, under a name that changes with its source."""
    if given:
        return given
    with open(COMPARATOR_SOURCE, "rb") as f:
        digest = hashlib.sha1(f.read()).hexdigest()[:12]
    tool = os.path.join(ROOT, "build", "tools", "differing_pixels-" + digest)
    if not os.path.exists(tool):
        os.makedirs(os.path.dirname(tool), exist_ok=True)
        subprocess.run(["g++", "-std=c++20", "-O2", "-o", tool + ".part", COMPARATOR_SOURCE], check=True)
        os.replace(tool + ".part", tool)
    return tool


def run(cmd, timeout, **kw):
    """Runs cmd in a group of its own and ends the whole group when the time is up."""
    proc = subprocess.Popen(cmd, start_new_session=True, **kw)
    try:
        out, err = proc.communicate(timeout=max(1, timeout))
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        raise
    return proc.returncode, out, err


def differing(tool, ours, theirs, timeout, band=400):
    """Streams both pictures as PPM into the comparator: (share a->b, share b->a,
    width, height, worst band's top, band height), over the common area."""
    feeds = [subprocess.Popen(["convert"] + list(src) + ["-alpha", "off", "ppm:-"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL) for src in ((*ours, "-append"), (theirs,))]
    try:
        fds = [p.stdout.fileno() for p in feeds]
        code, out, err = run([tool] + ["/dev/fd/%d" % fd for fd in fds] + [str(band)], timeout, pass_fds=fds,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    finally:
        for p in feeds:
            p.stdout.close()
            p.kill()
            p.wait()
    if code != 0:
        raise RuntimeError(err.decode("utf-8", "replace").strip() or "the comparator failed (exit %d)" % code)
    ab, ba, w, h, top, band = out.decode().split()
    return float(ab), float(ba), int(w), int(h), int(top), int(band)


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], stdout=subprocess.PIPE, check=True).stdout
    w, h = out.decode().split()
    return int(w), int(h)


def side_by_side(ours, theirs, w, top, band, dest):
    """Ours | Chromium over the worst band, a grey rule between them."""
    crop = "%dx%d+0+%d" % (w, band, top)
    subprocess.run(["convert", "(", ours, "-crop", crop, "+repage", ")",
                    "(", "-size", "6x%d" % band, "xc:#808080", ")",
                    "(", theirs, "-crop", crop, "+repage", ")", "+append", dest], check=True)


def pages_of_blocks(folder, work):
    """One page of all the built-in blocks in the library's order, put together
    as the composition puts lines together, then each block as a page of its
    own: the long page first, as it tells the most."""
    names = sorted(n for n in os.listdir(folder) if n.endswith(".html"))
    texts = []
    for n in names:
        with open(os.path.join(folder, n), "rb") as f:
            texts.append(f.read())
    everything = os.path.join(work, "all-blocks.html")
    with open(everything, "wb") as f:
        f.write(b"".join(texts))
    return [everything] + [os.path.join(folder, n) for n in names]


def children_cpu():
    """Processor seconds of the programs run so far: unlike the clock, not
    swollen when the machine holds the run back for someone else's timing."""
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def write_table(path, rows, widths):
    """The figures as a Markdown table, rewritten after every page so a cut run keeps what it took."""
    head = "| page | " + " | ".join("%d" % w for w in widths) + " | pieces | seconds | processor seconds |\n"
    head += "|---|" + "---:|" * len(widths) + "---:|---:|---:|\n"
    body = ""
    for name, cells in rows:
        figs = " | ".join(cells.get(w, {}).get("text", "—") for w in widths)
        pieces = " / ".join(str(cells[w]["pieces"]) for w in widths if "pieces" in cells.get(w, {}))
        secs = " / ".join("%.0f" % cells[w]["seconds"] for w in widths if w in cells)
        cpu = " / ".join("%.0f" % cells[w]["cpu"] for w in widths if w in cells)
        body += "| %s | %s | %s | %s | %s |\n" % (name, figs, pieces or "—", secs, cpu)
    over = {w: sum(1 for _, c in rows if c.get(w, {}).get("share", 0) > TARGET) for w in widths}
    failed = {w: sum(1 for _, c in rows if w in c and "share" not in c[w]) for w in widths}
    tail = "\n" + "; ".join("over %g %% at %d: %d of %d (%d not measured)" % (TARGET, w, over[w], len(rows), failed[w])
                            for w in widths) + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(head + body + tail)


def one(args, tool, site, base, work, page, name, width, column, deadline):
    """Makes, shoots and compares one page at one width; a dict for the table."""
    cell = {}
    left = lambda: deadline - time.monotonic()  # noqa: E731
    folder = os.path.join(work, "out-%d" % width)
    # Every picture is served here, so one that does not load ran out of
    # time on a loaded machine: the page is first made without broken boxes
    # (mojian then names the pictures and makes nothing), then with them.
    for broken in ([], ["--allow-broken"]):
        shutil.rmtree(folder, ignore_errors=True)
        try:
            made, said, _ = run([args.wine, args.mojian, "mobile", cp.win_path(page), "-o", cp.win_path(folder),
                                 "--width", str(width), "--page-width", str(column), "--format", "png"] + broken,
                                left(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        except subprocess.TimeoutExpired:
            cell["text"] = "mojian timed out"
            return cell
        if "有图片载入不了".encode("utf-8") not in said:
            break
        cell["retried"] = True
    pieces = sorted(glob.glob(os.path.join(folder, "[0-9]*.png")))
    cell["pieces"] = len(pieces)
    if not pieces:
        cell["text"] = "mojian made nothing (exit %d)" % made
        return cell
    sizes = subprocess.run(["identify", "-format", "%w %h\n"] + pieces, stdout=subprocess.PIPE, check=True).stdout
    sizes = [tuple(int(v) for v in line.split()) for line in sizes.decode().splitlines()]
    height = sum(h for _, h in sizes)
    scale = width / column
    cp.CHROMIUM_FLAGS[:] = [f for f in cp.CHROMIUM_FLAGS if not f.startswith("--force-device-scale-factor")]
    cp.CHROMIUM_FLAGS.append("--force-device-scale-factor=%g" % scale)
    theirs = os.path.join(work, "chromium.png")
    if os.path.exists(theirs):
        os.remove(theirs)
    # Headless Chromium at a device scale over 1 draws a window only tens of
    # pixels high scrolled away (a heading block came out blank): the window
    # is never that low, and only the rows both pictures have are compared.
    window = max(int(height / scale + 0.999), MIN_WINDOW)
    cp.run_chromium(["--virtual-time-budget=10000", "--window-size=%d,%d" % (column, window),
                     "--screenshot=" + theirs, base + "/doc/" + name], timeout=max(1, left()))
    if not os.path.exists(theirs):
        cell["text"] = "Chromium made no screenshot"
        return cell
    compared = time.monotonic()
    try:
        ab, ba, w, h, top, band = differing(tool, pieces, theirs, left(), int(400 * scale))
    except subprocess.TimeoutExpired:
        cell["text"] = "comparison timed out"
        return cell
    except RuntimeError as e:
        cell["text"] = "comparison failed: %s" % e
        return cell
    cell["compare"] = time.monotonic() - compared
    cell["share"] = 100 * max(ab, ba)
    cell["text"] = "%.2f %%" % cell["share"]
    theirs_size = size_of(theirs)
    print("%-48s %5d  %6.2f %% differ   ours %dx%d, Chromium %dx%d, %d pieces%s, compared in %.1f s" %
          (name, width, cell["share"], sizes[0][0], height, theirs_size[0], theirs_size[1],
           len(pieces), ("" if made == 0 else " (mojian exit %d)" % made) +
           (" (a picture failed to load once)" if cell.get("retried") else ""), cell["compare"]))
    if args.out:
        stem = "%s-%d" % (os.path.splitext(name)[0], width)
        ours = os.path.join(args.out, stem + "-ours.png")
        subprocess.run(["convert"] + pieces + ["-append", "-alpha", "off", ours], check=True)
        shutil.copy(theirs, os.path.join(args.out, stem + "-chromium.png"))
        if cell["share"] > TARGET:
            side_by_side(ours, theirs, w, top, min(band, h - top),
                         os.path.join(args.out, stem + "-worst-at-%d.png" % top))
    return cell


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("pages", nargs="*")
    ap.add_argument("--mojian", required=True, help="mojian.com (the Windows build)")
    ap.add_argument("--wine", default=os.environ.get("MOJIAN_WINE", "wine"))
    ap.add_argument("--widths", default="750,1242")
    ap.add_argument("--out", help="keep the stacked pieces and the screenshots here, and for a page over "
                                  "the target ours | Chromium over its worst band")
    ap.add_argument("--documents", action="store_true",
                    help="give Chromium each file as a document of its own (mails), not as a fragment of a page")
    ap.add_argument("--blocks", metavar="DIR",
                    help="also every built-in block in DIR as a page of its own, and one page of them all")
    ap.add_argument("--comparator", help="the built differing_pixels (built with g++ into build/tools if not given)")
    ap.add_argument("--timeout", type=float, default=900, help="seconds per page and width (default 900)")
    ap.add_argument("--table", help="write the figures to this file as a Markdown table")
    args = ap.parse_args()
    widths = [int(w) for w in args.widths.split(",")]
    tool = comparator(args.comparator)
    site = cp.Site()
    server = cp.start_server(site)
    # A download mojian gave up on ends in a broken pipe here: not news.
    server.handle_error = lambda request, address: None
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
    pages = list(args.pages) + (pages_of_blocks(args.blocks, work) if args.blocks else [])
    if not pages:
        ap.error("no pages: give files, --blocks DIR or both")
    rows = []
    try:
        for page in pages:
            name = os.path.basename(page)
            text = cp.strip_sheets(cp.read_text(page))
            column = cp.width_of(text, "auto")
            text = cp.rewrite_pictures(text, base)
            shown = text if args.documents else cp.as_fragment_page(text)
            site.files["/doc/" + name] = (shown.encode("utf-8"), "text/html; charset=utf-8")
            source = os.path.join(work, "page.html")
            with open(source, "w", encoding="utf-8") as f:
                f.write(text)
            cells = {}
            for width in widths:
                started, cpu = time.monotonic(), children_cpu()
                cells[width] = one(args, tool, site, base, work, source, name, width, column,
                                   started + args.timeout)
                cells[width]["seconds"] = time.monotonic() - started
                cells[width]["cpu"] = children_cpu() - cpu
                if "share" not in cells[width]:
                    print("%-48s %5d  %s" % (name, width, cells[width]["text"]))
                sys.stdout.flush()
            rows.append((name, cells))
            if args.table:
                write_table(args.table, rows, widths)
    finally:
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    over = sum(1 for _, c in rows if any(c[w].get("share", 0) > TARGET for w in widths))
    failed = sum(1 for _, c in rows if any("share" not in c[w] for w in widths))
    print("%d pages: %d over %g %% at some width, %d not measured at some width" % (len(rows), over, TARGET, failed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
