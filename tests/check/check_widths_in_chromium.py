#!/usr/bin/env python3
"""Holds the check's measured widths against a real browser.

For every line of every case page (cases/*.page) and every clean page
(clean/*.html), the check's driver reports the outermost elements it finds
drawn wider than the 750-pixel description (only the drawn-width rule, no
natural picture sizes known), and headless Chromium lays the same line out
in a 750-pixel container (every picture a one-pixel one, so that only the
page sizes it, as for the check) and reports the outermost elements that
reach past its right edge or are wider than it (text included, what an
ancestor that hides its overflow cuts off excluded). Per line, the two
lists of tag names must be the same. Lines with frames or plugins are left out: the engine does
not draw them as a browser does (they are errors of their own anyway).

usage: check_widths_in_chromium.py --driver check_driver --data tests/check --out DIR
"""
import argparse
import glob
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import chromium_answers  # noqa: E402

WIDTH = 750
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--hide-scrollbars"]

RULES = {"format": "mojian-check-rules", "version": 1, "rules": [{
    "id": "too-wide", "severity": "error", "title": "t", "match": {"kind": "drawn-width", "width": WIDTH},
    "explanation": "e", "source": "s", "checked": "2026-12-09"}]}

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>body{margin:0} .line{width:%dpx;margin-bottom:40px}</style></head>
<body><div id="host"></div><pre id="result"></pre>
<script>
var LINES = %s, W = %d;
var PIXEL = 'data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==';
var host = document.getElementById('host');
LINES.forEach(function (html, i) {
  var c = document.createElement('div');
  c.className = 'line'; c.id = 'line-' + i;
  // Parsed inert first: style sheets would reach every line (the check's
  // engine applies none), and handlers would run (one reloading a broken
  // picture forever).
  var t = document.createElement('template');
  t.innerHTML = html;
  t.content.querySelectorAll('style,link,base,script').forEach(function (e) { e.remove(); });
  t.content.querySelectorAll('*').forEach(function (e) {
    Array.from(e.attributes).forEach(function (a) { if (/^on/i.test(a.name)) e.removeAttribute(a.name); });
  });
  // Every picture loads, as one pixel: its size is what the page gives it
  // (a picture that fails shows its alt text in place of the size).
  t.content.querySelectorAll('img').forEach(function (e) { e.src = PIXEL; });
  c.appendChild(t.content);
  host.appendChild(c);
});
function extent(el) {  // the element's box widened by its own text
  var e = el.getBoundingClientRect(), left = e.left, right = e.right;
  el.childNodes.forEach(function (t) {
    if (t.nodeType !== 3 || !t.textContent.trim()) return;
    var r = document.createRange(); r.selectNodeContents(t);
    var q = r.getBoundingClientRect(); left = Math.min(left, q.left); right = Math.max(right, q.right);
  });
  return [left, right];
}
function measure() {
  var out = [];
  LINES.forEach(function (html, i) {
    var c = document.getElementById('line-' + i), x0 = c.getBoundingClientRect().left;
    var wide = [];
    c.querySelectorAll('*').forEach(function (el) {
      if (el.getClientRects().length === 0) return;
      var lr = extent(el), left = lr[0] - x0, right = lr[1] - x0;
      for (var p = el.parentElement; p && p !== c; p = p.parentElement) {
        if (getComputedStyle(p).overflowX !== 'visible') {
          var b = p.getBoundingClientRect();
          left = Math.max(left, b.left - x0); right = Math.min(right, b.right - x0);
        }
      }
      if (right > W + 0.5 || right - left > W + 0.5) wide.push(el);
    });
    out.push(wide.filter(function (el) {
      for (var p = el.parentElement; p && p !== c; p = p.parentElement) if (wide.indexOf(p) >= 0) return false;
      return true;
    }).map(function (el) { return el.tagName.toLowerCase(); }));
  });
  document.getElementById('result').textContent = JSON.stringify(out);
}
window.addEventListener('load', function () { setTimeout(measure, 50); });
</script></body></html>
"""


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False, **kw).stdout


def chromium(lines, workdir):
    page = os.path.join(workdir, "lines.html")
    text = PAGE % (WIDTH, json.dumps(lines, ensure_ascii=False).replace("</", "<\\/"), WIDTH)
    window = ["--virtual-time-budget=5000", "--window-size=1000,900", "--dump-dom"]

    def ask():
        with open(page, "w", encoding="utf-8") as f:
            f.write(text)
        exe = shutil.which("chromium") or "/usr/bin/chromium"
        profile = tempfile.mkdtemp(prefix="check-widths-chromium-")
        try:
            dom = run([exe] + FLAGS + ["--user-data-dir=" + profile] + window + ["file://" + page], timeout=180)
        finally:
            shutil.rmtree(profile, ignore_errors=True)
        m = re.search(r'<pre id="result">(.*?)</pre>', dom.decode("utf-8", "replace"), re.S)
        if not m or not m.group(1).strip():
            return None
        return json.loads(html.unescape(m.group(1)))

    return chromium_answers.answer("check-widths", [text] + FLAGS + window, ask)


def reports(driver, args, paths):
    """The driver's output for all paths in one run (a process start under
    the sanitizers is dear): one JSON document per path, in order."""
    text = run([driver] + args + paths).decode("utf-8")
    decoder, out, at = json.JSONDecoder(), [], 0
    while True:
        while at < len(text) and text[at].isspace():
            at += 1
        if at == len(text):
            return out
        doc, at = decoder.raw_decode(text, at)
        out.append(doc)


def found_by_line(report):
    found = {}
    for f in report["findings"]:
        tag = re.match(r"<(\w+)>", f["detail"])
        found.setdefault(f["line"], []).append(tag.group(1) if tag else f["detail"])
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--driver", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    rules = os.path.join(args.out, "width-rules.json")
    with open(rules, "w", encoding="utf-8") as f:
        json.dump(RULES, f)

    files = sorted(glob.glob(os.path.join(args.data, "cases", "*.page")) +
                   glob.glob(os.path.join(args.data, "clean", "*.html")))
    # Every line with HTML, laid out by both; but for lines with embedded
    # content (frames, plugins): a browser waits on it, and the check's
    # engine draws it as no browser would.
    embedded = re.compile(r"<(iframe|frame|object|embed|applet)\b", re.I)
    lines, where, expected = [], [], []
    all_lines = reports(args.driver, ["--lines"], files)
    all_found = reports(args.driver, ["--json", "--no-pictures", "--rules", rules], files)
    if len(all_lines) != len(files) or len(all_found) != len(files):
        print("the check's driver reported on %d and %d of %d pages" % (len(all_lines), len(all_found), len(files)))
        return 1
    for path, page_lines, report in zip(files, all_lines, all_found):
        found = found_by_line(report)
        for i, line in enumerate(page_lines):
            if line["html"] is None or embedded.search(line["html"]):
                continue
            lines.append(line["html"])
            where.append("%s line %d (%s)" % (os.path.basename(path), i + 1, line["entry"]))
            expected.append(sorted(found.get(i + 1, [])))
    theirs = chromium(lines, args.out)
    if theirs is None or len(theirs) != len(lines):
        print("chromium gave no measurements")
        return 1
    failures = 0
    wide = 0
    for w, mine, chrome in zip(where, expected, theirs):
        wide += bool(chrome)
        if mine != sorted(chrome):
            failures += 1
            print("%s: the check finds %s too wide, Chromium %s" % (w, mine or "nothing", sorted(chrome) or "nothing"))
    print("%d lines of %d pages, %d drawn too wide in Chromium, %d disagreements" % (len(lines), len(files), wide, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
