#!/usr/bin/env python3
"""The download's archive as a seller's unzip tool sees it: the entries in
their order and form, programs without build paths or link times, text files
Notepad shows, and the same bytes again when it is packed once more; then it
is unpacked into a fresh folder for the Wine test that starts it."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def unicode_path(extra: bytes):
    i = 0
    while i + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, i)
        body = extra[i + 4:i + 4 + size]
        if tag == 0x7075:
            return body[0], struct.unpack_from("<I", body, 1)[0], body[5:].decode("utf-8")
        i += 4 + size
    return None


def pe_header(data: bytes):
    if data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    machine, _, stamp = struct.unpack_from("<HHI", data, pe + 4)
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    return machine, stamp, subsystem


def main() -> int:
    p = argparse.ArgumentParser()
    p.add_argument("--archive", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--pack", required=True, help="dist/pack.py")
    p.add_argument("--source", required=True)
    p.add_argument("--date", required=True, help="the release's date, YYYY-MM-DD")
    p.add_argument("--build", required=True)
    p.add_argument("--unpack-to", required=True)
    args = p.parse_args()

    if not os.path.exists(args.archive):
        print(f"{args.archive} is missing: build the target dist_archive first")
        return 1
    original = open(args.archive, "rb").read()
    top = f"墨笺-{args.version}/"
    expected = [top, top + "墨笺.exe", top + "mojian.exe", top + "使用说明.txt", top + "许可证/",
                top + "许可证/第三方软件.txt", top + "许可证/gcc-runtime.txt",
                top + "许可证/mingw-w64-runtime.txt", top + "许可证/nlohmann-json.txt"]

    # The names as Chinese Windows reads them (GBK, no UTF-8 flag) and as
    # tools that read the Unicode path field do.
    with zipfile.ZipFile(args.archive, metadata_encoding="gbk") as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        check(names == expected, f"entries {names}, expected {expected}")
        wanted = tuple(int(x) for x in args.date.split("-")) + (0, 0, 0)
        check({i.date_time for i in infos} == {wanted}, f"entries are not all dated {args.date}")
        for i in infos:
            check(not i.flag_bits & 0x800, f"{i.filename}: the UTF-8 flag is set")
            check(i.create_system == 0 and i.external_attr in (0x10, 0x20),
                  f"{i.filename}: attributes {i.create_system}/{i.external_attr:#x} are not plain MS-DOS ones")
            gbk = i.filename.encode("gbk")
            field = unicode_path(i.extra)
            if gbk != i.filename.encode("utf-8"):
                check(field is not None and field[2] == i.filename and field[1] == zlib.crc32(gbk),
                      f"{i.filename}: no matching Unicode path field")
        contents = {i.filename: z.read(i) for i in infos if not i.filename.endswith("/")}

    build_paths = {os.path.realpath(args.build), os.path.realpath(args.source)}
    for name, data in contents.items():
        for path in build_paths:
            for form in (path.encode(), path.encode("utf-16-le")):
                check(form not in data, f"{name} holds the build path {path}")
        if name.endswith(".exe"):
            header = pe_header(data)
            check(header is not None, f"{name} is no Windows program")
            if header:
                machine, stamp, subsystem = header
                check(machine == 0x14C, f"{name}: machine {machine:#x}, not 32-bit x86")
                check(stamp == 0, f"{name}: link time {stamp} in its header")
                want = 2 if name.endswith("墨笺.exe") else 3  # window program / console program
                check(subsystem == want, f"{name}: subsystem {subsystem}, expected {want}")
        if name.endswith(".txt"):
            check(data.startswith(b"\xef\xbb\xbf"), f"{name}: no byte-order mark")
            try:
                data.decode("utf-8")
            except UnicodeDecodeError:
                check(False, f"{name}: not UTF-8")
            check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
                  f"{name}: line ends other than CR LF")
    usage = contents.get(top + "使用说明.txt", b"").decode("utf-8", "replace")
    for needed in ("墨笺.exe", "%LOCALAPPDATA%\\墨笺", "Vexa", "mojian", "岚舟"):
        check(needed in usage, f"使用说明.txt does not mention {needed}")

    # Packed again from what the archive holds, with other file times and in
    # another folder: the same bytes.
    with tempfile.TemporaryDirectory() as tmp:
        inputs = {}
        for key, name in (("gui", "墨笺.exe"), ("cli", "mojian.exe"), ("usage", "使用说明.txt"),
                          ("notices", "许可证/第三方软件.txt")):
            path = os.path.join(tmp, key)
            with open(path, "wb") as f:
                f.write(contents.get(top + name, b""))
            os.utime(path, (1_000_000_000, 1_000_000_000))
            inputs[key] = path
        again = os.path.join(tmp, "again.zip")
        subprocess.run([sys.executable, args.pack, "--version", args.version, "--gui", inputs["gui"],
                        "--cli", inputs["cli"], "--usage", inputs["usage"], "--notices", inputs["notices"],
                        "--date", args.date, "--out", again], check=True)
        check(open(again, "rb").read() == original, "packing the same files again gives other bytes")

    # A fresh folder for the program's first start.
    shutil.rmtree(args.unpack_to, ignore_errors=True)
    os.makedirs(args.unpack_to)
    with zipfile.ZipFile(args.archive, metadata_encoding="gbk") as z:
        z.extractall(args.unpack_to)

    for f in failures:
        print("FAIL:", f)
    print(f"{len(original)} bytes, {len(contents)} files; {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
