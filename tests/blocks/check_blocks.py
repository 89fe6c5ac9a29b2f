#!/usr/bin/env python3
"""Checks the ninety built-in description blocks under catalogue/blocks.

Three stages:
  1. form lint of every file (encoding, line ends, allowed markup, picture
     attributes, size, trailing <br>, the column-heading template, distinct
     layouts within a kind);
  2. headless Chromium renders every block in a 750-pixel container and
     reports anything wider than the container (its answer is kept in
     tests/chromium: see tests/chromium_answers.py);
  3. with --sheet, a second Chromium run screenshots all blocks as a
     labelled contact sheet, plus a reduced copy for quick viewing.

Usage: python3 tests/blocks/check_blocks.py --blocks catalogue/blocks --out DIR [--sheet]
Exit status 0 only when every block and the library as a whole pass.
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
from html.parser import HTMLParser

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import chromium_answers  # noqa: E402

KIND_CAPTIONS = ["栏目文字", "图片展示", "尺码表格", "产品信息", "团购秒杀",
                 "关联营销", "图文排版", "售后说明", "五分好评", "搭配促销"]
KIND_COUNTS = [20, 5, 6, 13, 13, 9, 4, 4, 3, 13]

# Column-heading themes in library order: name, text colour, font size, left padding.
THEMES = [
    ("炫黑", "#ffffff", 18, 30), ("魅蓝", "#ffffff", 18, 60),
    ("降红", "#ffffff", 18, 60), ("星空", "#ffffff", 18, 60),
    ("雅黑", "#ffffff", 18, 40), ("拼色", "#ffcc01", 18, 145),
    ("靓紫", "#ffffff", 18, 40), ("梦幻", "#ffffff", 18, 40),
    ("清淡", "#84dc26", 18, 123), ("复古", "#ffffff", 19, 50),
    ("棕淡", "#5a2708", 19, 45), ("简约", "#000000", 19, 123),
    ("绿茶", "#ffffff", 18, 80), ("玖红", "#ffffff", 18, 50),
    ("可爱", "#d23139", 18, 80), ("中性", "#ffffff", 18, 50),
    ("醒目", "#000000", 19, 40), ("清新", "#ffffff", 19, 40),
    ("健康", "#ffffff", 19, 60), ("活力", "#ffffff", 19, 130),
]

# Blocks that end at their outer element without a trailing <br>.
NO_BR = {(4, 10), (4, 11), (4, 12), (4, 13), (9, 10), (9, 11), (9, 12), (9, 13)}
# Kinds written mostly with upper-case tag names; all others must be lower case.
UPPER_CASE_KINDS = {4, 9}

MIN_BYTES, MAX_BYTES = 80, 9400
MIN_TOTAL = 200000
PAGE_WIDTH = 750

FORBIDDEN_TAGS = {"html", "head", "body", "script", "style", "link", "meta", "title"}
# Elements whose end tag is required; an imbalance usually swallows the next block.
PAIRED_TAGS = {"table", "tbody", "thead", "tr", "td", "th", "div", "span", "font",
               "a", "strong", "b", "em", "i", "u", "center", "ul", "ol", "h1",
               "h2", "h3", "h4", "s", "del", "strike"}

COLOUR_NAMES = set("""
black white red green blue yellow orange purple pink gray grey silver maroon navy
olive teal aqua fuchsia lime brown gold transparent crimson coral tomato salmon
khaki beige ivory lavender orchid plum violet indigo tan wheat snow azure linen
chocolate firebrick darkred darkblue darkgreen darkgray darkgrey lightgray lightgrey
lightblue lightgreen lightyellow lightpink dimgray dimgrey gainsboro whitesmoke
skyblue steelblue royalblue dodgerblue deepskyblue orangered hotpink deeppink
seagreen forestgreen limegreen olivedrab darkorange goldenrod peru sienna
""".split())


def entry_name(kind, style):
    if kind == 0:
        return "%s-%s" % (KIND_CAPTIONS[0], THEMES[style - 1][0])
    return "%s-样式%d" % (KIND_CAPTIONS[kind], style)


def file_name(kind, style):
    return "%d-%02d.html" % (kind, style)


def all_blocks():
    for kind, count in enumerate(KIND_COUNTS):
        for style in range(1, count + 1):
            yield kind, style


def style_map(style):
    """Parses an inline style into {property: value}, lower-cased, spaces squeezed."""
    out = {}
    for decl in (style or "").split(";"):
        if ":" in decl:
            k, v = decl.split(":", 1)
            out[k.strip().lower()] = re.sub(r"\s+", " ", v.strip())
    return out


def parse_px(value):
    m = re.fullmatch(r"\s*(\d+(?:\.\d+)?)\s*(px)?\s*", value or "")
    return float(m.group(1)) if m else None


class TagCollector(HTMLParser):
    """Collects start and end tags (with original spelling) and text."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.events = []  # ("start"|"end"|"text", tag, attrs dict, raw)

    def handle_starttag(self, tag, attrs):
        raw = self.get_starttag_text() or ""
        self.events.append(("start", tag, {k.lower(): (v if v is not None else "")
                                           for k, v in attrs}, raw))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)

    def handle_endtag(self, tag):
        self.events.append(("end", tag, {}, ""))

    def handle_data(self, data):
        if data.strip():
            self.events.append(("text", "", {}, data))


def parse(text):
    p = TagCollector()
    p.feed(text)
    p.close()
    return p.events


def strip_colours(value):
    value = re.sub(r"#[0-9a-fA-F]{3,8}\b", "", value)
    value = re.sub(r"rgba?\([^)]*\)", "", value, flags=re.I)
    return " ".join(w for w in re.split(r"(\s+|,)", value)
                    if w.strip() and w.strip().lower() not in COLOUR_NAMES)


def has_colour(value):
    value = re.sub(r"url\([^)]*\)", "", value or "", flags=re.I)
    return bool(re.search(r"#[0-9a-fA-F]{3,8}\b|rgba?\(", value)) or any(
        w.lower() in COLOUR_NAMES - {"transparent"} for w in re.findall(r"[A-Za-z]+", value))


def layout_signature(events):
    """The block with colours, texts, alt/title texts and addresses removed."""
    parts = []
    for kind, tag, attrs, _ in events:
        if kind == "text":
            continue
        if kind == "end":
            parts.append("</%s>" % tag)
            continue
        sig = []
        for name in sorted(attrs):
            value = attrs[name]
            if name in ("alt", "title", "href", "src", "background", "color",
                        "bgcolor", "bordercolor", "target"):
                sig.append(name)
                continue
            if name == "style":
                decls = style_map(value)
                items = []
                for prop in sorted(decls):
                    v = decls[prop]
                    if "color" in prop:
                        v = ""
                    else:
                        v = re.sub(r"url\([^)]*\)", "url()", v, flags=re.I)
                        v = strip_colours(v)
                    items.append("%s:%s" % (prop, v))
                value = ";".join(items)
            sig.append("%s=%s" % (name, value.strip().lower()))
        parts.append("<%s %s>" % (tag, " ".join(sig)))
    return "".join(parts)


def lint_block(kind, style, path):
    """Returns (errors, text) for one block file."""
    errors = []
    if not os.path.isfile(path):
        return ["missing file"], None
    raw = open(path, "rb").read()
    if raw.startswith(b"\xef\xbb\xbf"):
        errors.append("starts with a byte-order mark")
        raw = raw[3:]
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        return ["not UTF-8 (%s)" % e], None
    if re.search(r"(?<!\r)\n", text):
        errors.append("line end without CR (LF alone)")
    if re.search(r"\r(?!\n)", text):
        errors.append("CR without LF")
    try:
        gbk = text.encode("gbk")
    except UnicodeEncodeError as e:
        bad = text[e.start:e.end]
        return errors + ["not representable in GBK: %r" % bad], text
    size = len(gbk)
    if not MIN_BYTES <= size <= MAX_BYTES:
        errors.append("GBK size %d outside %d..%d" % (size, MIN_BYTES, MAX_BYTES))

    ends_br = re.search(r"<br\s*/?>\s*\Z", text, re.I) is not None
    if (kind, style) in NO_BR:
        if ends_br:
            errors.append("must end at its outer element, without a trailing <br>")
    elif not ends_br:
        errors.append("does not end with <br>")

    events = parse(text)
    balance = {}
    for ev, tag, attrs, rawtag in events:
        if ev == "end":
            if tag in PAIRED_TAGS:
                balance[tag] = balance.get(tag, 0) - 1
            continue
        if ev != "start":
            continue
        if tag in FORBIDDEN_TAGS:
            errors.append("forbidden element <%s>" % tag)
        if tag in PAIRED_TAGS:
            balance[tag] = balance.get(tag, 0) + 1
        spelled = re.match(r"<\s*([A-Za-z0-9]+)", rawtag)
        if spelled and kind not in UPPER_CASE_KINDS and spelled.group(1) != spelled.group(1).lower():
            errors.append("upper-case tag name <%s>" % spelled.group(1))
        css = style_map(attrs.get("style"))
        if tag == "img":
            for a in ("width", "height"):
                if not (attrs.get(a, "").strip() or css.get(a)):
                    errors.append("img without %s: %s" % (a, rawtag[:80]))
            if not attrs.get("alt", "").strip():
                errors.append("img without alt: %s" % rawtag[:80])
        # Every picture address must be absolute http.
        urls = []
        if "src" in attrs:
            urls.append(attrs["src"])
        if "background" in attrs:
            urls.append(attrs["background"])
        for m in re.finditer(r"url\(\s*['\"]?([^'\")]*)", attrs.get("style", ""), re.I):
            urls.append(m.group(1))
        for u in urls:
            if not u.strip().lower().startswith("http://"):
                errors.append("picture address not absolute http: %r" % u[:80])
        # A background picture needs a colour that keeps the text readable without it.
        has_bg_picture = bool(attrs.get("background", "").strip()) or any(
            "url(" in css.get(p, "").lower() for p in ("background", "background-image"))
        if has_bg_picture:
            shorthand = has_colour(css.get("background", ""))
            if not (attrs.get("bgcolor", "").strip() or css.get("background-color") or shorthand):
                errors.append("background picture without background colour: %s" % rawtag[:80])
        for a in ("width",):
            v = attrs.get(a, "").strip()
            if v.isdigit() and int(v) > PAGE_WIDTH:
                errors.append("%s=%s wider than %d" % (a, v, PAGE_WIDTH))
        w = parse_px(css.get("width"))
        if w is not None and w > PAGE_WIDTH:
            errors.append("style width %s wider than %d" % (css["width"], PAGE_WIDTH))
    for tag, n in sorted(balance.items()):
        if n:
            errors.append("<%s> opened %s closed (difference %+d)" % (tag, "more often than" if n > 0 else "less often than", n))

    starts = [e for e in events if e[0] == "start"]
    if not any(t == "table" and (attrs.get("width", "").strip() == str(PAGE_WIDTH)
                                 or parse_px(style_map(attrs.get("style")).get("width")) == PAGE_WIDTH
                                 or attrs.get("width", "").strip() == "100%")
               or t == "img" and attrs.get("width", "").strip() == str(PAGE_WIDTH)
               or t == "div" and parse_px(style_map(attrs.get("style")).get("width")) == PAGE_WIDTH
               for _, t, attrs, _ in starts) and kind not in (4, 8):
        errors.append("no element laid out for the full %d-pixel width" % PAGE_WIDTH)

    if kind == 0:
        errors += check_heading(style, events)
    return errors, text


def check_heading(style, events):
    name, colour, size, pad = THEMES[style - 1]
    errs = []
    starts = [(t, a) for ev, t, a, _ in events if ev == "start"]
    tags = [t for t, _ in starts]
    if tags[:1] != ["table"]:
        return ["column heading must start with its table"]
    table = starts[0][1]
    want = {"width": "750", "border": "0", "cellspacing": "0", "cellpadding": "0", "height": "30"}
    for k, v in want.items():
        if table.get(k, "").strip() != v:
            errs.append("heading table %s=%r, expected %r" % (k, table.get(k), v))
    if not table.get("background", "").strip():
        errs.append("heading table without its strip picture")
    css = style_map(table.get("style"))
    checks = {"font-family": lambda v: "微软雅黑" in v,
              "color": lambda v: v.lower() == colour,
              "font-size": lambda v: parse_px(v) == size and v.endswith("px"),
              "background-repeat": lambda v: v == "no-repeat",
              "display": lambda v: v == "block"}
    for prop, ok in checks.items():
        if prop not in css or not ok(css[prop]):
            errs.append("heading %s=%r (theme %s wants %s)" % (
                prop, css.get(prop), name,
                {"color": colour, "font-size": "%dpx" % size}.get(prop, "the template value")))
    cells = [a for t, a in starts if t == "td"]
    if len(cells) != 1 or tags.count("tr") != 1 or tags.count("table") != 1:
        errs.append("heading must be one table, one row, one cell")
    elif cells[0].get("width", "").strip() != "720" or cells[0].get("valign", "").lower() != "middle":
        errs.append("heading cell must be width 720, valign middle")
    strongs = [a for t, a in starts if t == "strong"]
    if len(strongs) != 1:
        errs.append("heading must hold one strong element")
    else:
        s = style_map(strongs[0].get("style"))
        if parse_px(s.get("padding-left")) != pad or s.get("display") != "block":
            errs.append("heading strong padding-left=%r display=%r (theme %s wants %dpx, block)"
                        % (s.get("padding-left"), s.get("display"), name, pad))
    return errs


def heading_text(events):
    return "".join(raw for ev, _, _, raw in events if ev == "text").strip()


# ---------------------------------------------------------------- Chromium

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                  "--mute-audio", "--force-device-scale-factor=1"]


def run_chromium(args, timeout=90):
    exe = shutil.which("chromium") or "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="blocks-chromium-")
    try:
        cmd = [exe] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile] + args
        return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False).stdout
    except (OSError, subprocess.TimeoutExpired) as e:
        print("chromium did not run: %s" % e, file=sys.stderr)
        return b""
    finally:
        shutil.rmtree(profile, ignore_errors=True)


# Each block is set through innerHTML so a malformed one cannot spill into the next.
MEASURE_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>blocks</title>
<style>body{margin:0;padding:10px;width:1100px} .blk{width:750px;margin:0 0 40px 0}</style>
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
    var widest = 0, over = [];
    c.querySelectorAll('table,img,div,td').forEach(function (el) {
      var e = el.getBoundingClientRect();
      if (e.width === 0 && e.height === 0) return;
      var right = e.right - r.left, left = e.left - r.left;
      widest = Math.max(widest, right);
      if (right > %d + 0.5 || left < -0.5)
        over.push(el.tagName.toLowerCase() + ' ' + Math.round(left) + '..' + Math.round(right));
    });
    out[b.id] = {scrollWidth: c.scrollWidth, widest: Math.round(widest),
                 height: Math.round(r.height), overflow: over.slice(0, 5)};
  });
  document.getElementById('result').textContent = JSON.stringify(out);
}
window.addEventListener('load', function () { setTimeout(measure, 50); });
</script></body></html>
"""

SHEET_COLUMNS = 6
CELL_GAP = 20
LABEL_H = 44
KIND_H = 56


def measure_blocks(texts, workdir):
    blocks = [{"id": "%d-%02d" % ks, "html": t} for ks, t in texts.items()]
    page = os.path.join(workdir, "measure.html")
    payload = json.dumps(blocks, ensure_ascii=False).replace("</", "<\\/")
    text = MEASURE_PAGE % (payload, PAGE_WIDTH)
    window = ["--virtual-time-budget=5000", "--window-size=1200,900", "--dump-dom"]

    def ask():
        with open(page, "w", encoding="utf-8") as f:
            f.write(text)
        dom = run_chromium(window + ["file://" + page]).decode("utf-8", "replace")
        m = re.search(r'<pre id="result">(.*?)</pre>', dom, re.S)
        if not m or not m.group(1).strip():
            return None
        return json.loads(html.unescape(m.group(1)))

    return chromium_answers.answer("blocks", [text] + CHROMIUM_FLAGS + window, ask)


def build_sheet(texts, heights, workdir, out_dir):
    """Lays out every block in a grid, one kind per band, and screenshots it."""
    cell_w = PAGE_WIDTH + CELL_GAP
    width = SHEET_COLUMNS * cell_w + CELL_GAP
    cap = 900
    while True:
        y = CELL_GAP
        placed = []
        for kind, count in enumerate(KIND_COUNTS):
            bands = [(kind, s) for s in range(1, count + 1)]
            placed.append(("kind", kind, CELL_GAP, y))
            y += KIND_H
            for row in range(0, len(bands), SHEET_COLUMNS):
                items = bands[row:row + SHEET_COLUMNS]
                row_h = max(min(heights.get(ks, 100), cap) for ks in items)
                for i, ks in enumerate(items):
                    placed.append(("cell", ks, CELL_GAP + i * cell_w, y, row_h))
                y += LABEL_H + row_h + CELL_GAP
        height = y + CELL_GAP
        if height <= 15000 or cap <= 300:
            break
        cap -= 100
    parts = []
    for item in placed:
        if item[0] == "kind":
            _, kind, x, y = item
            parts.append('<div class="kind" style="left:%dpx;top:%dpx">%d %s</div>'
                         % (x, y, kind, KIND_CAPTIONS[kind]))
        else:
            _, (k, s), x, y, h = item
            clipped = heights.get((k, s), 0) > h
            parts.append('<div class="label" style="left:%dpx;top:%dpx">%s <span>%s%s</span></div>'
                         % (x, y, entry_name(k, s), file_name(k, s),
                            " (clipped)" if clipped else ""))
            parts.append('<div class="cell" id="c-%d-%02d" style="left:%dpx;top:%dpx;height:%dpx"></div>'
                         % (k, s, x, y + LABEL_H, h))
    blocks = [{"id": "%d-%02d" % ks, "html": t} for ks, t in texts.items()]
    payload = json.dumps(blocks, ensure_ascii=False).replace("</", "<\\/")
    page = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>sheet</title><style>
body{margin:0;background:#9aa3ad;width:%dpx;height:%dpx;position:relative;font-family:"WenQuanYi Micro Hei",sans-serif}
.kind{position:absolute;font-size:34px;font-weight:bold;color:#fff}
.label{position:absolute;width:750px;height:%dpx;line-height:%dpx;font-size:28px;font-weight:bold;color:#102030;background:#e6ebf0;padding:0 8px;box-sizing:border-box;overflow:hidden}
.label span{font-size:18px;font-weight:normal;color:#556}
.cell{position:absolute;width:750px;overflow:hidden;background:#fff}
.cell img{background:#d5d9de}
</style></head><body>%s<script>
%s.forEach(function(b){var c=document.getElementById('c-'+b.id);if(c)c.innerHTML=b.html;});
</script></body></html>""" % (width, height, LABEL_H, LABEL_H, "".join(parts), payload)
    path = os.path.join(workdir, "sheet.html")
    with open(path, "w", encoding="utf-8") as f:
        f.write(page)
    big = os.path.join(out_dir, "blocks-contact-sheet.png")
    small = os.path.join(out_dir, "blocks-contact-sheet-small.png")
    for p in (big, small):
        if os.path.exists(p):
            os.remove(p)
    run_chromium(["--virtual-time-budget=5000", "--window-size=%d,%d" % (width, height),
                  "--screenshot=" + big, "file://" + path], timeout=120)
    if not os.path.exists(big):
        return "Chromium wrote no screenshot"
    conv = shutil.which("convert")
    if not conv:
        return "ImageMagick convert not found; reduced copy not written"
    subprocess.run([conv, big, "-resize", "1600x", small], check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not os.path.exists(small):
        return "reduced contact sheet not written"
    return None


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--blocks", default="catalogue/blocks")
    ap.add_argument("--out", default="build/blocks-check")
    ap.add_argument("--no-browser", action="store_true", help="form lint only")
    ap.add_argument("--sheet", action="store_true", help="also screenshot all blocks as a contact sheet")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)

    failures = {}   # (kind, style) -> [messages]
    texts = {}
    sizes = {}
    signatures = {}
    heading_texts = {}
    for kind, style in all_blocks():
        path = os.path.join(args.blocks, file_name(kind, style))
        errs, text = lint_block(kind, style, path)
        failures[(kind, style)] = errs
        if text is None:
            continue
        texts[(kind, style)] = text.replace("\r\n", "\n")
        try:
            sizes[(kind, style)] = len(text.encode("gbk"))
        except UnicodeEncodeError:
            pass
        events = parse(text)
        if kind == 0:
            heading_texts[style] = heading_text(events)
        else:
            sig = layout_signature(events)
            twin = signatures.get((kind, sig))
            if twin is not None:
                failures[(kind, style)].append(
                    "same layout as %s apart from colours and texts" % file_name(kind, twin))
            else:
                signatures[(kind, sig)] = style
    if len(set(heading_texts.values())) > 1:
        first = heading_texts.get(1)
        for style, t in heading_texts.items():
            if t != first:
                failures[(0, style)].append("heading text %r differs from 0-01's %r" % (t, first))

    global_errors = []
    total = sum(sizes.values())
    if total < MIN_TOTAL:
        global_errors.append("total GBK size %d below %d" % (total, MIN_TOTAL))

    if not args.no_browser and texts:
        with tempfile.TemporaryDirectory(prefix="blocks-check-") as work:
            metrics = measure_blocks(texts, work)
            heights = {}
            if metrics is None:
                global_errors.append("browser check: Chromium produced no measurements")
            else:
                for ks in texts:
                    m = metrics.get("%d-%02d" % ks)
                    if m is None:
                        failures[ks].append("browser check: block not measured")
                        continue
                    heights[ks] = m["height"]
                    if m["scrollWidth"] > PAGE_WIDTH or m["widest"] > PAGE_WIDTH:
                        failures[ks].append("rendered wider than %d px (scrollWidth %d, widest %d)"
                                            % (PAGE_WIDTH, m["scrollWidth"], m["widest"]))
                    if m["overflow"]:
                        failures[ks].append("overflows its container: " + "; ".join(m["overflow"]))
                    if m["height"] < 10:
                        failures[ks].append("renders with no height")
            if args.sheet:
                err = build_sheet(texts, heights, work, args.out)
                if err:
                    global_errors.append("contact sheet: " + err)
                else:
                    print("contact sheet: %s" % os.path.join(args.out, "blocks-contact-sheet.png"))

    passed = failed = 0
    for ks in all_blocks():
        errs = failures[ks]
        if errs:
            failed += 1
            for e in errs:
                print("FAIL %s (%s): %s" % (file_name(*ks), entry_name(*ks), e))
        else:
            passed += 1
    for e in global_errors:
        print("FAIL library: %s" % e)
    if sizes:
        lo = min(sizes, key=sizes.get)
        hi = max(sizes, key=sizes.get)
        print("total GBK size: %d bytes in %d blocks; smallest %s %d bytes; largest %s %d bytes"
              % (total, len(sizes), entry_name(*lo), sizes[lo], entry_name(*hi), sizes[hi]))
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and not global_errors else 1


if __name__ == "__main__":
    sys.exit(main())
