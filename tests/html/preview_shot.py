#!/usr/bin/env python3
"""Takes a picture of the built-in preview showing a description with its pictures.

A sample description (banner, product pictures, a size chart, a paragraph
floated beside a picture) refers to pictures made with ImageMagick and served
by a local HTTP server in this script; html_show (under Wine, on the current
display) shows the page loading its pictures as the preview does, headless
Chromium shows the same page, and the two pictures are put side by side
(Chromium | ours).

Usage: preview_shot.py --show html_show.exe --wine wine --out picture.png
"""

import argparse
import http.server
import os
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

WIDTH = 766  # the preview's client width: a 750-pixel description and the page margins
HEIGHT = 1000

PICTURES = [
    # name, size, first colour, second colour, caption
    ("banner.jpg", "750x280", "#f8b195", "#c06c84", "夏季新品  限时八折"),
    ("shoe-1.jpg", "370x370", "#a8e6cf", "#3d84a8", "主图"),
    ("shoe-2.jpg", "180x180", "#ffd3b6", "#ff8b94", "细节一"),
    ("shoe-3.jpg", "180x180", "#dcedc1", "#6c5b7b", "细节二"),
    ("model.jpg", "240x320", "#e0c3fc", "#8ec5fc", "模特"),
    ("icon.png", "24x24", "#ff6b6b", "#ee5253", "✓"),
]

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>示例宝贝描述</title></head>
<body style="margin:8px;font-family:'微软雅黑', sans-serif">
<img src="{base}/banner.jpg" width="750" style="display:block">
<table width="750" cellspacing="0" cellpadding="0" style="margin-top:10px"><tr>
<td width="370" valign="top"><img src="{base}/shoe-1.jpg" style="display:block"></td>
<td width="10"></td>
<td valign="top">
  <table width="100%" cellspacing="1" cellpadding="6" bgcolor="#dddddd">
    <tr><td width="90" bgcolor="#f4f4f4" align="center">品牌</td><td bgcolor="#ffffff">墨笺示例</td></tr>
    <tr><td bgcolor="#f4f4f4" align="center">款号</td><td bgcolor="#ffffff">XZ-3307</td></tr>
    <tr><td bgcolor="#f4f4f4" align="center">材质</td><td bgcolor="#ffffff">头层牛皮 &amp; 橡胶底</td></tr>
    <tr><td bgcolor="#f4f4f4" align="center">尺码</td><td bgcolor="#ffffff">35&ndash;40</td></tr>
  </table>
  <p style="font-size:14px;color:#555"><img src="{base}/icon.png" width="16" height="16" style="vertical-align:middle"> 7 天无理由退换</p>
  <img src="{base}/shoe-2.jpg"> <img src="{base}/shoe-3.jpg">
</td></tr></table>
<div style="margin-top:12px;padding:12px;background:#fafafa;border-top:2px solid #c06c84">
  <img src="{base}/model.jpg" align="left" style="margin-right:12px">
  <h3 style="margin-top:0;color:#c06c84">穿着效果</h3>
  <p style="font-size:14px;line-height:24px;color:#333">柔软的头层牛皮贴合脚型，久走不累。图片在后台加载，
  到了就按它本来的大小排版；没有标出尺寸的图片也一样，预览和买家的浏览器看到的一样。
  Pictures load in the background and the page is laid out again as each one arrives.</p>
  <p style="font-size:14px;color:#999">（模特身高 165 cm，穿 37 码）</p>
  <br clear="all">
</div>
</body></html>
"""


def make_pictures(folder):
    conv = shutil.which("convert")
    if not conv:
        raise SystemExit("ImageMagick's convert is needed")
    for name, size, a, b, caption in PICTURES:
        w, h = (int(v) for v in size.split("x"))
        subprocess.run([conv, "-size", size, "gradient:%s-%s" % (a, b), "-font", "WenQuanYi-Micro-Hei",
                        "-pointsize", str(max(10, min(w, h) // 5)), "-fill", "white", "-gravity", "center",
                        "-annotate", "0", caption, os.path.join(folder, name)], check=True)


def serve(folder):
    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **k):
            super().__init__(*a, directory=folder, **k)

        def log_message(self, *args):
            pass

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True

    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--show", required=True, help="html_show.exe")
    ap.add_argument("--wine", default="wine")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="preview-shot-")
    try:
        pictures = os.path.join(work, "pictures")
        os.makedirs(pictures)
        make_pictures(pictures)
        server = serve(pictures)
        base = "http://127.0.0.1:%d" % server.server_address[1]
        page = os.path.join(work, "page.html")
        with open(page, "w", encoding="utf-8") as f:
            f.write(PAGE.format(base=base))

        # Ours: the view loading its pictures, photographed from the display once they are in.
        ours = os.path.join(work, "ours.png")
        show = subprocess.Popen([args.wine, args.show, "--pictures", "--size", str(WIDTH + 17), str(HEIGHT),
                                 "--exit-after", "15000", "--file",
                                 "Z:" + page.replace("/", "\\")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(10)
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+0+0" % (WIDTH, HEIGHT), "+repage", ours],
                       check=False)
        show.wait(timeout=60)

        # Chromium, at the same width.
        theirs = os.path.join(work, "chromium.png")
        profile = os.path.join(work, "profile")
        subprocess.run([shutil.which("chromium") or "/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                        "--hide-scrollbars", "--user-data-dir=" + profile, "--virtual-time-budget=5000",
                        "--window-size=%d,%d" % (WIDTH, HEIGHT), "--screenshot=" + theirs, "file://" + page],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=False)
        server.shutdown()
        if not os.path.exists(ours) or not os.path.exists(theirs):
            print("no picture taken")
            return 1
        subprocess.run(["convert", theirs, "-background", "#808080", "-splice", "8x0+%d+0" % WIDTH, ours, "+append",
                        "-resize", "75%", args.out], check=True)
        print("wrote %s" % args.out)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
