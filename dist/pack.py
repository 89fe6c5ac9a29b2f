#!/usr/bin/env python3
"""Packs the download: 墨笺-VERSION/ with the program, the mojian command,
使用说明.txt and the licence notices, in one zip.

The bytes depend only on the inputs: entries in a fixed order, every entry
dated with the release's date (not the clock's, nor a file's), no owner or
permission bits, deflated by zlib at a fixed level.

Names are written in GBK, which the zip tools on Chinese Windows read
(Explorer's compressed folders on every version, 360压缩, WinRAR), and
again in UTF-8 in an Info-ZIP Unicode Path field, which 7-Zip, Bandizip and
unzip read on any system. The UTF-8 flag is left off: Windows 7's Explorer
ignores it and would show the UTF-8 bytes as GBK.
"""
import argparse
import os
import struct
import sys
import datetime
import zlib

# Licence notices of what is linked into the programs, as Debian installs
# them with the compilers and libraries they were built with.
SYSTEM_NOTICES = [
    ("gcc-runtime.txt", "/usr/share/doc/gcc-mingw-w64-base/copyright"),
    ("mingw-w64-runtime.txt", "/usr/share/doc/mingw-w64-common/copyright"),
    ("nlohmann-json.txt", "/usr/share/doc/nlohmann-json3-dev/copyright"),
]


def windows_text(data: bytes) -> bytes:
    """UTF-8 with a byte-order mark and CR LF line ends: what Notepad shows
    correctly on every Windows since 7, whatever the system's code page."""
    text = data.decode("utf-8")
    if text.startswith("\ufeff"):
        text = text[1:]
    text = text.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n")
    return b"\xef\xbb\xbf" + text.encode("utf-8")


def dos_date_time(day: datetime.date):
    if day.year < 1980:  # the zip format starts in 1980
        raise ValueError(f"{day} is before 1980")
    return 0, ((day.year - 1980) << 9) | (day.month << 5) | day.day


def unicode_path_field(gbk_name: bytes, name: str) -> bytes:
    body = struct.pack("<BI", 1, zlib.crc32(gbk_name)) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(body)) + body


def write_zip(path: str, entries, day: datetime.date) -> None:
    """entries: (name, bytes or None for a folder), in archive order."""
    dos_time, dos_date = dos_date_time(day)
    out = bytearray()
    central = bytearray()
    for name, data in entries:
        folder = data is None
        gbk_name = name.encode("gbk")
        extra = unicode_path_field(gbk_name, name) if gbk_name != name.encode("utf-8") else b""
        if folder:
            method, crc, packed, size = 0, 0, b"", 0
        else:
            crc = zlib.crc32(data)
            size = len(data)
            packer = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
            packed = packer.compress(data) + packer.flush()
            method = 8
            if len(packed) >= size:  # stored is smaller for what does not compress
                method, packed = 0, data
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, dos_time, dos_date,
                           crc, len(packed), size, len(gbk_name), len(extra))
        out += gbk_name + extra + packed
        attributes = 0x10 if folder else 0x20  # MS-DOS: directory, archive
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, dos_time, dos_date,
                               crc, len(packed), size, len(gbk_name), len(extra), 0, 0, 0,
                               attributes, offset)
        central += gbk_name + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                      len(central), len(out), 0)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(out + central + end)
    os.replace(tmp, path)


def read(path: str) -> bytes:
    with open(path, "rb") as f:
        return f.read()


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--version", required=True)
    p.add_argument("--gui", required=True, help="the program")
    p.add_argument("--cli", required=True, help="the mojian command (mojian.com in the build)")
    p.add_argument("--usage", required=True, help="使用说明 in UTF-8")
    p.add_argument("--notices", required=True, help="the list of what is compiled in, in UTF-8")
    p.add_argument("--date", required=True, type=datetime.date.fromisoformat,
                   help="the release's date, YYYY-MM-DD: every entry carries it")
    p.add_argument("--out", required=True)
    args = p.parse_args()

    top = f"墨笺-{args.version}/"
    entries = [(top, None),
               (top + "墨笺.exe", read(args.gui))]
    # The command is mojian.com in the build, beside Mojian.exe; here the
    # program is 墨笺.exe, so the command takes the usual name.
    entries.append((top + "mojian.exe", read(args.cli)))
    entries.append((top + "使用说明.txt", windows_text(read(args.usage))))
    entries.append((top + "许可证/", None))
    entries.append((top + "许可证/第三方软件.txt", windows_text(read(args.notices))))
    for name, system_path in SYSTEM_NOTICES:
        if not os.path.exists(system_path):
            print(f"pack.py: {system_path} is missing (scripts/deps.sh installs its package)", file=sys.stderr)
            return 1
        entries.append((top + "许可证/" + name, windows_text(read(system_path))))

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    write_zip(args.out, entries, args.date)
    return 0


if __name__ == "__main__":
    sys.exit(main())
