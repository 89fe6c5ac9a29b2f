"""Turns Google Benchmark's JSON into the table `make bench` prints: figure,
value, bound and ratio, each throughput next to memcpy of about the same
bytes from the same run."""
import json
import sys


def main(src, dst):
    runs = [b for b in json.load(open(src))["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    memcpy = {int(b["name"].split("/")[1]): b["bytes_per_second"] for b in runs if b["name"].startswith("BM_Memcpy/")}

    def bound_for(nbytes):
        size = min(memcpy, key=lambda s: abs(s - nbytes)) if memcpy else None
        return memcpy.get(size), size

    rows = [("figure", "value", "bound", "ratio")]
    for b in runs:
        name = b["name"]
        if name.startswith("BM_Memcpy/"):
            continue
        unit = b.get("time_unit", "ns")
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[unit]
        ns = b["real_time"] * scale
        if name == "BM_ResolveEntry":
            rows.append(("ResolveEntry per call", f"{ns:.1f} ns", "100 ns", f"{ns / 100:.2f}"))
            continue
        bps = b.get("bytes_per_second")
        if not bps:
            rows.append((name, f"{ns:.0f} ns", "-", "-"))
            continue
        nbytes = b.get("page_bytes") or bps * ns / 1e9
        bound, size = bound_for(nbytes)
        label = name.replace("BM_", "")
        if name.startswith("BM_AssemblePage/"):
            lines = int(name.split("/")[1])
            label = f"AssemblePage {lines} lines ({nbytes / 1e6:.1f} MB), {ns / lines:.0f} ns/line"
        rows.append((label, f"{bps / 1e9:.2f} GB/s", f"memcpy {bound / 1e9:.2f} GB/s" if bound else "-",
                     f"{bps / bound:.2f}" if bound else "-"))
    widths = [max(len(r[i]) for r in rows) for i in range(4)]
    text = "\n".join("  ".join(c.ljust(w) for c, w in zip(r, widths)) for r in rows) + "\n"
    open(dst, "w").write(text)
    sys.stdout.write(text)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
