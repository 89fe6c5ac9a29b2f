"""Turns Google Benchmark's JSON (and the rows the Wine harness writes, when
given) into the one table `make bench` prints: figure, value, bound, ratio,
target and whether it is met. Each throughput stands next to a bound from
the same run; a page next to memcpy of its size into a warm buffer and into
a freshly allocated one.

usage: table.py core.json [wine-rows.tsv] table.txt"""
import json
import os
import re
import sys

# Pages of this many lines or more should assemble at half the bound or better.
PAGE_TARGET_LINES = 1000
PAGE_TARGET_RATIO = 0.5
# The time per line may vary this much between the shortest and longest page.
PER_LINE_SPREAD = 2.0
# A project of 1,000 lines with 100 custom sources saves and opens well
# within a tenth of a second; an undo and its redo fit in one frame.
PROJECT_TARGETS_MS = {
    "BM_SaveProject": ("save a project, 1,000 lines, 100 custom sources", 100),
    "BM_OpenProject": ("open a project, 1,000 lines, 100 custom sources", 100),
}
# The fill dialog finds the fields of the largest block within a millisecond;
# a replace across a page of 1,000 lines takes under 200 ms.
FILL_TARGETS_MS = {
    "BM_FindFieldsLargestBlock": ("fields of the largest block", 1),
    "BM_ReplaceInPage/0": ("replace across 1,000 lines, 50 custom sources rewritten", 200),
    "BM_ReplaceInPage/1": ("replace across 1,000 lines, built-in lines become custom sources", 200),
    "BM_FindInPage": ("find across 1,000 lines, count and list", 200),
}
UNDO_TARGET_MS = 16
# The publish check of a 25,000-character page, layout included; one changed
# line within a frame, so a window can recheck as the seller types.
CHECK_TARGETS_MS = {
    "BM_CheckPage/0": ("check a 25,000-character page of blocks, layout included", 50),
    "BM_CheckPage/1": ("check a 25,000-character page in one custom source", 50),
    "BM_CheckChangedLine": ("check one changed line (a 9 KB block) and the page length", 16),
}
# Import of a description: 25,000 characters well within a frame of typing,
# a 1 MB page within half a second, and time in proportion to the page.
IMPORT_DESCRIPTION_TARGET_MS = 20
IMPORT_PAGE_TARGET_MS = {1 << 20: 500}
IMPORT_SPREAD = 2.0
UNDO_STEPS = {
    "BM_UndoRedo/0": "a line deleted from 1,000",
    "BM_UndoRedo/1": "a burst of typing in a custom source",
    "BM_UndoRedo/2": "a new page over 1,000 lines",
}


def ns_of(b):
    return b["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]


def arg_of(b):
    return int(b["name"].split("/")[1])


def fmt_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.1f} ns"


def native_rows(src):
    entries = json.load(open(src))["benchmarks"]
    # Medians when the runs were repeated, else the single runs.
    runs = [dict(b, name=b["run_name"]) for b in entries
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"]
    if not runs:
        runs = [b for b in entries if b.get("run_type", "iteration") == "iteration"]
    runs = [dict(b, name=re.sub(r"/repeats:\d+$", "", b["name"])) for b in runs]
    by_prefix = lambda p: {arg_of(b): b for b in runs if b["name"].startswith(p + "/")}
    memcpy = by_prefix("BM_Memcpy")
    warm = by_prefix("BM_PageMemcpyWarm")
    fresh = by_prefix("BM_PageNewMemcpy")
    named = {b["name"]: b for b in runs}

    def nearest(table, nbytes):
        return table[min(table, key=lambda s: abs(s - nbytes))] if table else None

    def met(ok):
        return "met" if ok else "missed"

    rows = []
    per_line = {}
    import_per_byte = {}
    parse_of = {name.split("/", 1)[1]: ns_of(b) for name, b in named.items() if name.startswith("BM_ParseDescription/")}
    for b in runs:
        name = b["name"]
        ns = ns_of(b)
        if name.startswith("BM_ParseDescription/"):
            continue
        if name.startswith("BM_ImportDescription/"):
            args = name.split("/", 1)[1]
            nbytes = int(b["page_bytes"])
            parse = parse_of.get(args)
            bound = (f"parse alone {fmt_time(parse)}", f"{ns / parse:.2f}") if parse else ("-", "-")
            if args == "0/0":
                rows.append((f"import a 25,000-character description ({nbytes / 1e3:.0f} KB GBK, {int(b['lines'])} lines)",
                             fmt_time(ns), *bound, f"< {IMPORT_DESCRIPTION_TARGET_MS} ms",
                             met(ns < IMPORT_DESCRIPTION_TARGET_MS * 1e6)))
            else:
                size = int(args.split("/")[1])
                import_per_byte[size] = ns / nbytes
                target = IMPORT_PAGE_TARGET_MS.get(size)
                rows.append((f"import a page of {nbytes / 1e3:.0f} KB ({int(b['lines'])} lines), {ns / nbytes:.0f} ns/byte",
                             fmt_time(ns), *bound, f"< {target} ms" if target else "-",
                             met(ns < target * 1e6) if target else "-"))
            continue
        if name == "BM_ResolveEntry":
            rows.append(("ResolveEntry per call", fmt_time(ns), "100 ns", f"{ns / 100:.2f}", "< 1", met(ns < 100)))
        elif name.startswith("BM_AssemblePage/"):
            lines = arg_of(b)
            customs = name.split("/")[2] != "0" if name.count("/") >= 2 else True
            nbytes = int(b["page_bytes"])
            bps = b["bytes_per_second"]
            if customs:
                per_line[lines] = ns / lines
            target = f">= {PAGE_TARGET_RATIO}" if lines >= PAGE_TARGET_LINES else "-"
            what = "lines" if customs else "lines, built-in blocks only"
            label = f"AssemblePage {lines} {what} ({nbytes / 1e6:.2f} MB), {ns / lines:.0f} ns/line"
            for bound_name, bound in (("memcpy warm", warm.get(nbytes)), ("new+memcpy", fresh.get(nbytes))):
                if not bound:
                    rows.append((label, f"{bps / 1e9:.2f} GB/s", "-", "-", target, "-"))
                else:
                    ratio = bps / bound["bytes_per_second"]
                    ok = met(ratio >= PAGE_TARGET_RATIO) if lines >= PAGE_TARGET_LINES else "-"
                    rows.append((label, f"{bps / 1e9:.2f} GB/s",
                                 f"{bound_name} {bound['bytes_per_second'] / 1e9:.2f} GB/s", f"{ratio:.2f}", target, ok))
                label = "  the same page"
        elif name in CHECK_TARGETS_MS:
            label, target_ms = CHECK_TARGETS_MS[name]
            rows.append((label, fmt_time(ns), "-", "-", f"< {target_ms} ms", met(ns < target_ms * 1e6)))
        elif name in PROJECT_TARGETS_MS or name.startswith("BM_UndoRedo/"):
            label, target_ms = PROJECT_TARGETS_MS.get(name) or (
                "undo + redo, " + UNDO_STEPS.get(name, name), UNDO_TARGET_MS)
            rows.append((label, fmt_time(ns), "-", "-", f"< {target_ms} ms", met(ns < target_ms * 1e6)))
        elif name in FILL_TARGETS_MS:
            label, target_ms = FILL_TARGETS_MS[name]
            counts = ", ".join(f"{int(b[k])} {k}" for k in ("fields", "replaced", "lines", "matches") if k in b)
            rows.append((f"{label} ({counts})" if counts else label, fmt_time(ns), "-", "-", f"< {target_ms} ms",
                         met(ns < target_ms * 1e6)))
        elif name in ("BM_FindFieldsMegabyte/1", "BM_FindFieldsMegabyte/0", "BM_FillFieldsMegabyte"):
            label = {"BM_FindFieldsMegabyte/1": "fields of a 1 MB custom source",
                     "BM_FindFieldsMegabyte/0": "  the same, sizes measured later",
                     "BM_FillFieldsMegabyte": "fill one field of a 1 MB custom source"}[name]
            if "fields" in b:
                label += f" ({int(b['fields'])} fields)"
            rows.append((label, fmt_time(ns), "-", "-", "-", "-"))
        elif name.startswith(("BM_Memcpy/", "BM_PageMemcpyWarm/", "BM_PageNewMemcpy/")):
            continue
        elif name == "BM_ReadCustomSourceWhole" and "BM_ReadWholeFile" in named:
            bound = ns_of(named["BM_ReadWholeFile"])
            rows.append(("ReadCustomSourceWhole per call (read and decode)", fmt_time(ns),
                         f"ReadWholeFile {fmt_time(bound)}", f"{bound / ns:.2f}", "-", "-"))
        elif b.get("bytes_per_second") and name.startswith("BM_Gbk"):
            bps = b["bytes_per_second"]
            label = {
                "BM_GbkEncode/1048576/0": "GbkEncode 1 MB, a third Chinese",
                "BM_GbkEncode/1048576/1": "GbkEncode 1 MB, with characters outside GBK",
                "BM_GbkDecode/1048576": "GbkDecode 1 MB, a third Chinese",
                "BM_GbkEncodeHtml/1048576": "GbkEncode 1 MB of a seller's HTML",
                "BM_GbkDecodeHtml/1048576": "GbkDecode 1 MB of a seller's HTML",
            }.get(name, name.replace("BM_", ""))
            bound = nearest(memcpy, bps * ns / 1e9)
            if bound:
                rows.append((label, f"{bps / 1e9:.2f} GB/s", f"memcpy {bound['bytes_per_second'] / 1e9:.2f} GB/s",
                             f"{bps / bound['bytes_per_second']:.3f}", "-", "-"))
            else:
                rows.append((label, f"{bps / 1e9:.2f} GB/s", "-", "-", "-", "-"))
        else:
            rows.append((name.replace("BM_", "") + " per call", fmt_time(ns), "-", "-", "-", "-"))
    if len(import_per_byte) > 1:
        spread = max(import_per_byte.values()) / min(import_per_byte.values())
        sizes = "/".join(f"{n >> 10} KB" for n in sorted(import_per_byte))
        rows.append((f"import ns/byte, most over least ({sizes})", f"{spread:.2f}", f"{IMPORT_SPREAD:.2f}",
                     f"{spread / IMPORT_SPREAD:.2f}", "< 1", met(spread <= IMPORT_SPREAD)))
    if len(per_line) > 1:
        most, least = max(per_line.values()), min(per_line.values())
        spread = most / least
        pages = "/".join(str(n) for n in sorted(per_line))
        rows.append((f"AssemblePage ns/line, most over least ({pages} lines)", f"{spread:.2f}",
                     f"{PER_LINE_SPREAD:.2f}", f"{spread / PER_LINE_SPREAD:.2f}", "< 1", met(spread <= PER_LINE_SPREAD)))
    return rows


def wine_rows(path):
    rows = []
    if not path or not os.path.exists(path):
        return rows
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\r\n")
        if not line or line.startswith("#"):
            continue
        cells = line.split("\t")[:6]
        rows.append(tuple(cells + ["-"] * (6 - len(cells))))
    return rows


def main(src, wine, dst):
    rows = [("figure", "value", "bound", "ratio", "target", "met")] + native_rows(src) + wine_rows(wine)
    widths = [max(len(r[i]) for r in rows) for i in range(6)]
    text = "\n".join("  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in rows) + "\n"
    open(dst, "w").write(text)
    sys.stdout.write(text)


if __name__ == "__main__":
    if len(sys.argv) == 3:
        main(sys.argv[1], None, sys.argv[2])
    elif len(sys.argv) == 4:
        main(sys.argv[1], sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
