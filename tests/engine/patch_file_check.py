#!/usr/bin/env python3
"""Independent reader of our patch files, written from docs/patch-format.md alone.

usage: patch_file_check.py PATCH OLD_DIR NEW_DIR

Checks the checksum and every directory rule, then rebuilds each entry's new content
from OLD_DIR with zlib and xdelta3 (for deltas) and compares it with NEW_DIR.
Exit status 0 when everything agrees.
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import zlib


def fail(msg):
    print("patch_file_check: " + msg, file=sys.stderr)
    sys.exit(1)


def main():
    patch, old_dir, new_dir = sys.argv[1:4]
    data = open(patch, "rb").read()
    if len(data) < 72 or data[:8] != b"ORUPATCH":
        fail("no header")
    version, flags, reserved = struct.unpack_from("<HHI", data, 8)
    if (version, flags, reserved) != (1, 0, 0):
        fail("unexpected header fields %r" % ((version, flags, reserved),))
    trailer = data[-56:]
    if trailer[:8] != b"ORUPEND!":
        fail("no trailer")
    if hashlib.sha256(data[:-32]).digest() != trailer[24:]:
        fail("checksum mismatch")
    dir_offset, dir_size = struct.unpack_from("<QQ", trailer, 8)
    if dir_offset + dir_size != len(data) - 56:
        fail("directory does not end at the trailer")
    d = data[dir_offset:dir_offset + dir_size]
    pos = 0

    def take(fmt):
        nonlocal pos
        values = struct.unpack_from(fmt, d, pos)
        pos += struct.calcsize(fmt)
        return values

    def text():
        (n,) = take("<H")
        nonlocal pos
        s = d[pos:pos + n].decode("latin-1")
        pos += n
        return s

    (group_count,) = take("<I")
    groups = [(text(), text(), text()) for _ in range(group_count)]
    (entry_count,) = take("<I")
    seen_new = set()
    for _ in range(entry_count):
        (group,) = take("<I")
        path = text()
        action, method, reserved = take("<BBH")
        old_size, = take("<Q")
        old_hash = d[pos:pos + 32]; pos += 32
        new_size, = take("<Q")
        new_hash = d[pos:pos + 32]; pos += 32
        offset, size, raw_size = take("<QQQ")
        folder = groups[group][2]
        rel = os.path.join(*(folder.split("\\") if folder else []), *path.split("\\"))
        old_file = os.path.join(old_dir, rel)
        new_file = os.path.join(new_dir, rel)
        if action in (1, 3):
            old = open(old_file, "rb").read()
            if len(old) != old_size or hashlib.sha256(old).digest() != old_hash:
                fail(rel + ": old size or hash wrong")
        if action == 3:
            if os.path.exists(new_file) or method != 0:
                fail(rel + ": bad delete entry")
            continue
        if not (16 <= offset and offset + size <= dir_offset):
            fail(rel + ": payload outside the payload area")
        inflater = zlib.decompressobj(-15)
        raw = inflater.decompress(data[offset:offset + size]) + inflater.flush()
        if not inflater.eof or inflater.unused_data or len(raw) != raw_size:
            fail(rel + ": payload is not exactly one raw deflate stream of the declared size")
        if method == 1:
            result = raw
        elif method == 2:
            with tempfile.TemporaryDirectory() as tmp:
                delta = os.path.join(tmp, "delta")
                out = os.path.join(tmp, "out")
                open(delta, "wb").write(raw)
                subprocess.run(["xdelta3", "-d", "-f", "-s", old_file, delta, out], check=True)
                result = open(out, "rb").read()
        else:
            fail(rel + ": unknown method %d" % method)
        if len(result) != new_size or hashlib.sha256(result).digest() != new_hash:
            fail(rel + ": rebuilt content does not match the entry")
        if result != open(new_file, "rb").read():
            fail(rel + ": rebuilt content differs from the new tree")
        seen_new.add(rel)
    if pos != len(d):
        fail("stray bytes after the directory")
    print("patch_file_check: %d entries agree" % entry_count)


main()
