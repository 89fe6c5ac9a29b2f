#!/usr/bin/env python3
"""Compares the HTML view's layout of a folder of HTML documents with headless Chromium's.

Every file is laid out twice, by Chromium and by our layout in html_dump
(run under Wine, so GDI measures the text), as a buyer sees a description:
a fragment of a page in standards mode (no margin) in the item page's
column, 750 pixels wide (--width 790 for Tmall's column; --width auto takes
790 for a file that declares a width of 790 pixels and none of 750).
--documents lays each file out as a document of its own instead (its
doctype decides the mode, the body keeps its margins). Both report
the border box of every table, cell, picture and text block (a block-level
element with text of its own), and the boxes are matched in document order.
A box is in place when its left edge and width are within 2 pixels and its
top edge and height within 6 pixels of Chromium's; a document passes when
both report the same boxes and every one is in place.

Style and script elements are removed from both inputs first (the
marketplace strips them). Pictures either cannot be loaded (--pictures
none: no host resolves, relative addresses find nothing) or are all served
from a local HTTP server in this script (--pictures served: every picture
address is rewritten to a generated PNG whose size follows from the
original address).

Writes report.txt (per document, then per box kind) and side-by-side
pictures (Chromium | ours) of the worst documents that do not pass to
--out. Fails when fewer than --need documents pass or fewer than
--need-boxes percent of the boxes of any kind are in place.

With --answers NAME, Chromium's boxes are the ones kept in
tests/chromium/NAME.json for exactly these inputs (tests/chromium_answers.py
says how they are kept and refreshed); without it Chromium is asked.

Usage: compare_pages.py --docs DIR --dump html_dump.exe --wine wine --out DIR
                        [--pictures none|served] [--documents] [--width 750|790|auto]
                        [--need N|all] [--need-boxes P] [--answers NAME]
"""

import argparse
import difflib
import hashlib
import html
import http.server
import json
import os
import re
import shutil
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import chromium_answers  # noqa: E402

WIDTH = 750  # Taobao's column
TMALL_WIDTH = 790
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--hide-scrollbars", "--force-device-scale-factor=1"]
KINDS = ["table", "cell", "picture", "text"]
TOLERANCE = {"x": 2, "w": 2, "y": 6, "h": 6}


def kind_of(tag):
    if tag == "table":
        return "table"
    if tag in ("td", "th"):
        return "cell"
    if tag == "img":
        return "picture"
    return "text"


# ---- inputs ---------------------------------------------------------------------------

def read_text(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("gbk", "replace")


def strip_sheets(text):
    text = re.sub(r"<style\b[^>]*>.*?</style\s*>", "", text, flags=re.I | re.S)
    text = re.sub(r"<script\b[^>]*>.*?</script\s*>", "", text, flags=re.I | re.S)
    return re.sub(r"<link\b[^>]*>", "", text, flags=re.I)


def declared_widths(text):
    """The pixel widths the file writes (width=790, width:790px), as a set."""
    found = re.findall(r"""\bwidth\s*(?:=\s*["']?|:\s*)(\d+)(?:px)?""", text, flags=re.I)
    return {int(n) for n in found}


def width_of(text, asked):
    """The column a file is laid out in: the one asked, or for auto Tmall's
    when the file is made for it (790 declared, 750 nowhere)."""
    if asked != "auto":
        return int(asked)
    widths = declared_widths(text)
    return TMALL_WIDTH if TMALL_WIDTH in widths and WIDTH not in widths else WIDTH


def as_fragment_page(text):
    return ('<!DOCTYPE html><html><head><meta charset="utf-8"></head><body style="margin:0">'
            + text + "</body></html>")


# Sizes of the generated pictures, picked by a hash of the original address:
# what descriptions and mails hold (full-width banners, products, logos, icons, spacers).
PICTURE_SIZES = [(750, 420), (750, 1000), (600, 300), (640, 480), (300, 300), (280, 200), (200, 60),
                 (150, 50), (120, 120), (64, 64), (32, 32), (24, 24), (16, 16), (1, 1), (480, 800), (400, 250)]


def picture_key(address):
    return hashlib.sha1(address.encode("utf-8")).hexdigest()[:12]


def picture_size(key):
    return PICTURE_SIZES[int(key, 16) % len(PICTURE_SIZES)]


def rewrite_pictures(text, base):
    """Points every picture address (img src, background=, CSS url()) at the local server."""
    def addr(value):
        v = html.unescape(value.strip())
        if not v or v.startswith("#"):
            return value
        return "%s/pic/%s.png" % (base, picture_key(v))

    def attr(m):
        quote = m.group(2)[:1] if m.group(2)[:1] in "\"'" else ""
        raw = m.group(2)[1:-1] if quote else m.group(2)
        return m.group(1) + quote + addr(raw) + quote

    def url(m):
        return "url(" + m.group(1) + addr(m.group(2)) + m.group(1) + ")"

    def tag(m):
        t = m.group(0)
        t = re.sub(r"""(\s(?:src|background)\s*=\s*)("[^"]*"|'[^']*'|[^\s>"']+)""", attr, t, flags=re.I)
        t = re.sub(r"""url\(\s*(["']?)([^"')]*)\1\s*\)""", url, t, flags=re.I)
        return t

    return re.sub(r"<[a-zA-Z][^>]*>", tag, text)


def png(width, height, seed):
    """A PNG of the size asked: a flat colour with a darker frame."""
    r, g, b = 90 + seed % 150, 90 + (seed // 7) % 150, 90 + (seed // 49) % 150
    fill, edge = bytes((r, g, b)), bytes((r // 2, g // 2, b // 2))
    if width <= 2:
        rows = [b"\x00" + edge * width] * height
    else:
        inner = b"\x00" + edge + fill * (width - 2) + edge
        rows = [b"\x00" + edge * width] + [inner] * max(0, height - 2) + ([b"\x00" + edge * width] if height > 1 else [])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b""))


# ---- the local server -----------------------------------------------------------------

class Site:
    def __init__(self):
        self.files = {}  # path -> (bytes, content type)
        self.pictures = {}

    def get(self, path):
        path = path.split("?")[0]
        if path in self.files:
            return self.files[path]
        m = re.match(r"^/pic/([0-9a-f]{12})\.png$", path)
        if m:
            key = m.group(1)
            if key not in self.pictures:
                w, h = picture_size(key)
                self.pictures[key] = png(w, h, int(key[:6], 16))
            return self.pictures[key], "image/png"
        return None


def start_server(site):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            found = site.get(self.path)
            if found is None:
                body = b"not here"
                self.send_response(404)
                self.send_header("Content-Type", "text/plain")
            else:
                body, ctype = found
                self.send_response(200)
                self.send_header("Content-Type", ctype)
                self.send_header("Cache-Control", "no-store")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- Chromium -------------------------------------------------------------------------

MEASURE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body style="margin:0">%s<pre id="result"></pre>
<script>
var NAMES = %s;
var SPACE = /^[\\s\\u00a0]*$/;
function ownText(el) {
  for (var n = el.firstChild; n; n = n.nextSibling)
    if (n.nodeType === 3 && !SPACE.test(n.data)) return true;
  return false;
}
function measure() {
  var out = {};
  NAMES.forEach(function (name, i) {
    var doc = document.getElementById('f' + i).contentDocument;
    if (!doc || !doc.body) return;
    var win = doc.defaultView, boxes = [];
    doc.body.querySelectorAll('*').forEach(function (el) {
      var tag = el.localName;
      if (tag !== 'table' && tag !== 'td' && tag !== 'th' && tag !== 'img') {
        var d = win.getComputedStyle(el).display;
        if ((d !== 'block' && d !== 'list-item') || !ownText(el)) return;
      }
      if (el.getClientRects().length === 0) return;  // not rendered
      var r = el.getBoundingClientRect();
      boxes.push([tag, r.left + win.scrollX, r.top + win.scrollY, r.width, r.height]);
    });
    out[name] = {height: doc.documentElement.scrollHeight, boxes: boxes};
  });
  document.getElementById('result').textContent = JSON.stringify(out);
}
window.addEventListener('load', function () { setTimeout(measure, 50); });
</script></body></html>
"""


def run_chromium(args, timeout=300):
    exe = shutil.which("chromium") or "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="html-compare-chromium-")
    try:
        cmd = [exe] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile,
                                        "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1"] + args
        return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False).stdout
    except (OSError, subprocess.TimeoutExpired) as e:
        print("chromium did not run: %s" % e, file=sys.stderr)
        return b""
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def chromium_boxes(names, widths, site, base, kept):
    frames = "".join('<iframe id="f%d" src="/doc/%s" style="display:block;border:0;width:%dpx;height:900px">'
                     "</iframe>" % (i, n, widths[n]) for i, n in enumerate(names))
    page = MEASURE % (frames, json.dumps(names))
    window = ["--virtual-time-budget=20000", "--window-size=1000,900", "--dump-dom"]

    def ask():
        site.files["/measure.html"] = (page.encode("utf-8"), "text/html")
        dom = run_chromium(window + [base + "/measure.html"]).decode("utf-8", "replace")
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        if not m or not m.group(1).strip():
            return None
        return json.loads(html.unescape(m.group(1)))

    if not kept:
        return ask()
    # What Chromium is given, with the local server's port taken out: it
    # changes from run to run and changes nothing Chromium answers.
    docs = [site.files["/doc/" + n][0].replace(base.encode("ascii"), b"BASE") for n in names]
    return chromium_answers.answer(kept, [page] + CHROMIUM_FLAGS + window + names + docs, ask)


# ---- ours -----------------------------------------------------------------------------

def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def our_boxes(args, files, widths, bmp_dir, json_path):
    """html_dump once per column width; every file's boxes in one dict."""
    boxes = {}
    for width in sorted(set(widths.values())):
        group = [f for f in files if widths[os.path.basename(f)] == width]
        if os.path.exists(json_path):
            os.remove(json_path)
        cmd = [args.wine, args.dump, "--width", str(width), "--document", "--pictures",
               "load" if args.pictures == "served" else "none", "--json", win_path(json_path),
               "--bmp-dir", win_path(bmp_dir)] + [win_path(f) for f in group]
        done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=900, check=False)
        if done.returncode != 0:
            print("html_dump failed (%d): %s" % (done.returncode, done.stderr.decode("utf-8", "replace")[-2000:]))
        if not os.path.exists(json_path):
            return None
        with open(json_path, encoding="utf-8") as f:
            boxes.update(json.load(f))
    return boxes


# ---- comparing ------------------------------------------------------------------------

def in_place(t, o):
    return (abs(o[1] - t[1]) <= TOLERANCE["x"] + 0.5 and abs(o[3] - t[3]) <= TOLERANCE["w"] + 0.5
            and abs(o[2] - t[2]) <= TOLERANCE["y"] + 0.5 and abs(o[4] - t[4]) <= TOLERANCE["h"] + 0.5)


def compare(theirs, ours):
    """Per document: (passes, badness, {kind: [in place, of]}, notes)."""
    tb, ob = theirs["boxes"], ours["boxes"]
    counts = {k: [0, 0] for k in KINDS}
    for t in tb:
        counts[kind_of(t[0])][1] += 1
    notes = []
    same_list = [b[0] for b in tb] == [b[0] for b in ob]
    if not same_list:
        notes.append("box lists differ: chromium %d, ours %d" % (len(tb), len(ob)))
    matcher = difflib.SequenceMatcher(None, [b[0] for b in tb], [b[0] for b in ob], autojunk=False)
    bad = 0
    worst = 0.0
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            i, j = block.a + k, block.b + k
            t, o = tb[i], ob[j]
            # The worst difference of any box, in place or not, ranks documents that pass.
            worst = max(worst, *(abs(o[n] - t[n]) for n in (1, 2, 3, 4)))
            if in_place(t, o):
                counts[kind_of(t[0])][0] += 1
                continue
            bad += 1
            if len(notes) < 5:
                notes.append("%s #%d chromium (%.0f,%.0f %.0fx%.0f) ours (%.0f,%.0f %.0fx%.0f)"
                             % (t[0], i, t[1], t[2], t[3], t[4], o[1], o[2], o[3], o[4]))
    missing = len(tb) - sum(c[0] for c in counts.values()) - bad
    passes = same_list and bad == 0
    return passes, (bad + missing) * 100 + min(worst, 99), counts, notes


def side_by_side(worst, widths, measured, site, base, args, workdir, bmp_dir):
    conv = shutil.which("convert")
    if not conv:
        return
    for rank, name in enumerate(worst, 1):
        height = int(min(max(measured[name]["height"], 100), 8000))
        shot = os.path.join(workdir, "c-%d.png" % rank)
        run_chromium(["--virtual-time-budget=10000", "--window-size=%d,%d" % (widths[name], height),
                      "--screenshot=" + shot, base + "/doc/" + name], timeout=120)
        ours = os.path.join(bmp_dir, name + ".bmp")
        if not os.path.exists(shot) or not os.path.exists(ours):
            continue
        out = os.path.join(args.out, "worst-%d-%s.png" % (rank, re.sub(r"\.html?$", "", name)))
        subprocess.run([conv, shot, "-background", "#808080", "-splice", "6x0+%d+0" % widths[name], ours,
                        "+append", out], check=False)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--docs", required=True, help="a folder of .html files")
    ap.add_argument("--dump", required=True, help="html_dump.exe")
    ap.add_argument("--wine", default="wine")
    ap.add_argument("--out", required=True)
    ap.add_argument("--pictures", choices=["none", "served"], default="none")
    ap.add_argument("--documents", action="store_true", help="lay each file out as a document of its own")
    ap.add_argument("--fragments", action="store_true", help="the default: each file a fragment of a page")
    ap.add_argument("--width", default=str(WIDTH), choices=[str(WIDTH), str(TMALL_WIDTH), "auto"],
                    help="the column: 750 (Taobao), 790 (Tmall), or auto for each file")
    ap.add_argument("--need", default="0", help="documents that must pass (a number, or all)")
    ap.add_argument("--need-boxes", type=float, default=0, help="percent of each kind's boxes in place")
    ap.add_argument("--worst", type=int, default=5, help="side-by-side pictures of this many documents")
    ap.add_argument("--answers", help="use Chromium's boxes kept under this name")
    args = ap.parse_args()
    if args.documents and args.fragments:
        ap.error("--documents and --fragments exclude each other")
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        if old.startswith("worst-") and old.endswith(".png"):
            os.remove(os.path.join(args.out, old))
    names = sorted(n for n in os.listdir(args.docs) if n.endswith((".html", ".htm")))
    if not names:
        print("no documents in %s" % args.docs)
        return 1

    site = Site()
    server = start_server(site)
    base = "http://127.0.0.1:%d" % server.server_address[1]
    workdir = tempfile.mkdtemp(prefix="html-compare-")
    try:
        inputs = os.path.join(workdir, "inputs")
        os.makedirs(inputs)
        files = []
        widths = {}
        for n in names:
            text = strip_sheets(read_text(os.path.join(args.docs, n)))
            widths[n] = width_of(text, args.width)
            if not args.documents:
                text = as_fragment_page(text)
            if args.pictures == "served":
                text = rewrite_pictures(text, base)
            path = os.path.join(inputs, n)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            files.append(path)
            site.files["/doc/" + n] = (text.encode("utf-8"), "text/html; charset=utf-8")

        measured = chromium_boxes(names, widths, site, base, args.answers)
        if measured is None:
            print("Chromium reported no boxes")
            return 1
        with open(os.path.join(args.out, "chromium.json"), "w", encoding="utf-8") as f:
            json.dump(measured, f)
        bmp_dir = os.path.join(args.out, "ours")
        os.makedirs(bmp_dir, exist_ok=True)
        ours = our_boxes(args, files, widths, bmp_dir, os.path.join(args.out, "ours.json"))
        if ours is None:
            print("html_dump wrote no boxes")
            return 1

        results = []
        totals = {k: [0, 0] for k in KINDS}
        for n in names:
            if n not in measured or n not in ours:
                results.append((n, False, 1e6, {}, ["missing"]))
                continue
            ok, badness, counts, notes = compare(measured[n], ours[n])
            for k in KINDS:
                totals[k][0] += counts[k][0]
                totals[k][1] += counts[k][1]
            results.append((n, ok, badness, counts, notes))
        passed = sum(1 for r in results if r[1])

        lines = []
        for n, ok, badness, counts, notes in results:
            detail = " ".join("%s %d/%d" % (k, counts[k][0], counts[k][1]) for k in KINDS if counts.get(k, [0, 0])[1])
            lines.append("%-36s %-4s %s%s" % (n, "ok" if ok else "DIFF", detail,
                                             ("  | " + "; ".join(notes)) if notes else ""))
        lines.append("")
        lines.append("documents: %d of %d pass (%.0f %%)" % (passed, len(names), 100.0 * passed / len(names)))
        short = []
        for k in KINDS:
            have, of = totals[k]
            share = 100.0 * have / of if of else 100.0
            lines.append("%-8s %5d of %5d in place (%.1f %%)" % (k, have, of, share))
            if of and share < args.need_boxes:
                short.append(k)
        with open(os.path.join(args.out, "report.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        for line in lines:
            if not line.startswith(tuple(names)) or " DIFF " in line:
                print(line)

        worst = [r[0] for r in sorted((r for r in results if not r[1] and r[0] in measured and r[0] in ours),
                                      key=lambda r: -r[2])]
        side_by_side(worst[:args.worst], widths, measured, site, base, args, workdir, bmp_dir)
        need = len(names) if args.need == "all" else int(args.need)
        at = sorted(set(widths.values()))
        print("%d of %d documents pass (need %d); %s at %s px; pictures %s; details in %s"
              % (passed, len(names), need, "documents" if args.documents else "fragments",
                 "/".join(str(w) for w in at), args.pictures, os.path.join(args.out, "report.txt")))
        return 0 if passed >= need and not short else 1
    finally:
        server.shutdown()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
