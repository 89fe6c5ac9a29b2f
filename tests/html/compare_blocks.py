#!/usr/bin/env python3
"""Compares the HTML view's layout of the ninety blocks with headless Chromium's.

Chromium renders every block in a 750-pixel container and reports the box of
every table, cell and picture; html_dump (run under Wine, so GDI measures the
text) reports the same boxes from our layout. A block matches when every box
has its left edge and width within 2 pixels and its top edge and height within
6 pixels of Chromium's. Prints the figure and fails below --need blocks; saves
side-by-side pictures (Chromium | ours) of the five worst blocks.

Usage: compare_blocks.py --blocks DIR --dump html_dump.exe --wine wine --out DIR
"""

import argparse
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

WIDTH = 750
GAP = 40
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--hide-scrollbars"]

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>blocks</title>
<style>body{margin:0;background:#fff} .blk{width:%dpx;margin:0 0 %dpx 0;overflow:hidden}</style>
</head><body><div id="host"></div><pre id="result"></pre>
<script>
var BLOCKS = %s;
var host = document.getElementById('host');
BLOCKS.forEach(function (b) {
  var c = document.createElement('div');
  c.className = 'blk'; c.id = 'blk-' + b.id;
  c.innerHTML = b.html;
  host.appendChild(c);
});
function measure() {
  var out = {};
  BLOCKS.forEach(function (b) {
    var c = document.getElementById('blk-' + b.id);
    var r = c.getBoundingClientRect();
    var boxes = [];
    c.querySelectorAll('table,td,th,img').forEach(function (el) {
      if (el.getClientRects().length === 0) return;  // not rendered
      var e = el.getBoundingClientRect();
      boxes.push([el.tagName.toLowerCase(), e.left - r.left, e.top - r.top, e.width, e.height]);
    });
    out[b.id] = {top: r.top + window.scrollY, height: r.height, boxes: boxes};
  });
  document.getElementById('result').textContent = JSON.stringify(out);
}
window.addEventListener('load', function () { setTimeout(measure, 50); });
</script></body></html>
"""


def run_chromium(args, timeout=120):
    exe = shutil.which("chromium") or "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="html-compare-chromium-")
    try:
        cmd = [exe] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile] + args
        return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False).stdout
    except (OSError, subprocess.TimeoutExpired) as e:
        print("chromium did not run: %s" % e, file=sys.stderr)
        return b""
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def chromium_boxes(blocks, workdir):
    page = os.path.join(workdir, "measure.html")
    items = [{"id": name, "html": text} for name, text in blocks]
    with open(page, "w", encoding="utf-8") as f:
        f.write(PAGE % (WIDTH, GAP, json.dumps(items, ensure_ascii=False)))
    dom = run_chromium(["--virtual-time-budget=5000", "--window-size=1000,900", "--dump-dom",
                        "file://" + page]).decode("utf-8", "replace")
    m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
    if not m or not m.group(1).strip():
        return None, page
    return json.loads(html.unescape(m.group(1))), page


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def our_boxes(args, names, bmp_dir, json_path):
    if os.path.exists(json_path):
        os.remove(json_path)
    cmd = [args.wine, args.dump, "--width", str(WIDTH), "--json", win_path(json_path),
           "--bmp-dir", win_path(bmp_dir)] + [win_path(os.path.join(args.blocks, n)) for n in names]
    done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=240, check=False)
    if done.returncode != 0:
        print("html_dump failed (%d): %s" % (done.returncode, done.stderr.decode("utf-8", "replace")[-2000:]))
    if not os.path.exists(json_path):
        return None
    with open(json_path, encoding="utf-8") as f:
        return json.load(f)


def compare(theirs, ours):
    """Returns (matches, badness, notes) for one block."""
    tb, ob = theirs["boxes"], ours["boxes"]
    notes = []
    if [b[0] for b in tb] != [b[0] for b in ob]:
        notes.append("box lists differ: chromium %d, ours %d" % (len(tb), len(ob)))
        return False, 1000 + abs(len(tb) - len(ob)), notes
    bad = 0
    worst = 0.0
    for i, (t, o) in enumerate(zip(tb, ob)):
        dx, dy, dw, dh = (abs(o[k] - t[k]) for k in (1, 2, 3, 4))
        over = max(dx - 2, dw - 2, dy - 6, dh - 6)
        worst = max(worst, dx, dw, dy, dh)
        if over > 0.5:
            bad += 1
            if len(notes) < 4:
                notes.append("%s #%d chromium (%.0f,%.0f %.0fx%.0f) ours (%.0f,%.0f %.0fx%.0f)"
                             % (t[0], i, t[1], t[2], t[3], t[4], o[1], o[2], o[3], o[4]))
    return bad == 0, bad * 100 + worst, notes


def side_by_side(worst, blocks, measured, args, workdir, bmp_dir):
    conv = shutil.which("convert")
    if not conv or not worst:
        return
    names = [n for n, _, _ in worst]
    texts = dict(blocks)
    subset = [(n, texts[n]) for n in names]
    page = os.path.join(workdir, "shots.html")
    items = [{"id": n, "html": t} for n, t in subset]
    with open(page, "w", encoding="utf-8") as f:
        f.write(PAGE % (WIDTH, GAP, json.dumps(items, ensure_ascii=False)))
    height = sum(int(measured[n]["height"]) + GAP for n in names) + 10
    shot = os.path.join(workdir, "chromium.png")
    run_chromium(["--virtual-time-budget=5000", "--window-size=%d,%d" % (WIDTH, min(height, 16000)),
                  "--screenshot=" + shot, "file://" + page])
    if not os.path.exists(shot):
        return
    y = 0
    for rank, name in enumerate(names, 1):
        h = max(1, int(round(measured[name]["height"])))
        crop = os.path.join(workdir, "c-%s.png" % name)
        subprocess.run([conv, shot, "-crop", "%dx%d+0+%d" % (WIDTH, h, y), "+repage", crop], check=False)
        y += h + GAP
        ours = os.path.join(bmp_dir, name + ".bmp")
        out = os.path.join(args.out, "worst-%d-%s.png" % (rank, name.replace(".html", "")))
        subprocess.run([conv, crop, "-background", "#808080", "-splice", "6x0+%d+0" % WIDTH, ours,
                        "+append", out], check=False)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--blocks", required=True)
    ap.add_argument("--dump", required=True)
    ap.add_argument("--wine", default="wine")
    ap.add_argument("--out", required=True)
    ap.add_argument("--need", type=int, default=80)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        if old.startswith("worst-") and old.endswith(".png"):
            os.remove(os.path.join(args.out, old))
    names = sorted(n for n in os.listdir(args.blocks) if n.endswith(".html"))
    blocks = [(n, open(os.path.join(args.blocks, n), encoding="utf-8").read()) for n in names]
    workdir = tempfile.mkdtemp(prefix="html-compare-")
    try:
        measured, _ = chromium_boxes(blocks, workdir)
        if measured is None:
            print("Chromium reported no boxes")
            return 1
        bmp_dir = os.path.join(args.out, "ours")
        os.makedirs(bmp_dir, exist_ok=True)
        ours = our_boxes(args, names, bmp_dir, os.path.join(args.out, "ours.json"))
        if ours is None:
            print("html_dump wrote no boxes")
            return 1
        results = []
        for n in names:
            if n not in measured or n not in ours:
                results.append((n, False, 10000, ["missing"]))
                continue
            ok, badness, notes = compare(measured[n], ours[n])
            results.append((n, ok, badness, notes))
        matched = sum(1 for r in results if r[1])
        with open(os.path.join(args.out, "report.txt"), "w", encoding="utf-8") as f:
            for n, ok, badness, notes in results:
                f.write("%s %s %.1f %s\n" % (n, "ok" if ok else "DIFF", badness, "; ".join(notes)))
        worst = sorted(((n, b, notes) for n, ok, b, notes in results if not ok), key=lambda r: -r[1])[:5]
        if len(worst) < 5:  # still show five: the closest matches' largest deviations
            rest = sorted(((n, b, notes) for n, ok, b, notes in results if ok), key=lambda r: -r[1])
            worst += rest[:5 - len(worst)]
        for n, b, notes in worst:
            print("  %s: %s" % (n, "; ".join(notes) if notes else "within limits (largest deviation %.1f px)" % b))
        side_by_side(worst, blocks, measured, args, workdir, bmp_dir)
        print("%d of %d blocks match Chromium's boxes (need %d); details in %s"
              % (matched, len(names), args.need, os.path.join(args.out, "report.txt")))
        return 0 if matched >= args.need else 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
