#!/usr/bin/env python3
# Independent reader of our patch files, written from docs/patch-format.md alone.
# usage: patch_file_check.py PATCH OLD_DIR NEW_DIR
# Rebuilds each entry's new content from OLD_DIR (zlib, xdelta3 for VCDIFF, its own
# decoder of difference deltas) and compares it with NEW_DIR; exit status 0 if all agree.
import hashlib, os, struct, subprocess, sys, tempfile, zlib


def fail(msg):
    sys.exit("patch_file_check: " + msg)


def inflate_exactly(rel, packed, raw_size):
    inflater = zlib.decompressobj(-15)
    raw = inflater.decompress(packed) + inflater.flush()
    if not inflater.eof or inflater.unused_data or len(raw) != raw_size:
        fail(rel + ": payload is not exactly one raw deflate stream of the declared size")
    return raw


# The LEB128 numbers of a stream, all of them.
def varints(data):
    out, value, shift = [], 0, 0
    for b in data:
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            out.append(value)
            value, shift = 0, 0
    if shift:
        fail("a stream ends inside a number")
    return out


# The x86 branch transform, block by block of 65536 bytes.
def branches(data, to_absolute):
    data = bytearray(data)
    for base in range(0, len(data), 65536):
        n, i = min(65536, len(data) - base), 0
        while i < n:
            p = base + i
            if data[p] in (0xE8, 0xE9):
                op = i + 1
            elif data[p] == 0x0F and i + 1 < n and data[p + 1] & 0xF0 == 0x80:
                op = i + 2
            else:
                op = None
            if op is None or op + 4 > n:
                i += 1
                continue
            q = base + op
            if data[q + 3] in (0x00, 0xFF):
                v = int.from_bytes(data[q:q + 4], "little")
                v = (v + q + 4 if to_absolute else v - q - 4) & 0x1FFFFFF
                data[q:q + 4] = (v | 0xFE000000 if v & 0x1000000 else v).to_bytes(4, "little")
            i = op + 4
    return bytes(data)


def difference_delta(rel, old, payload, raw_size, new_size):
    transform, r1, r2, r3, copied = struct.unpack_from("<BBBBQ", payload, 0)
    if (r1, r2, r3) != (0, 0, 0) or transform not in (0, 1):
        fail(rel + ": bad difference delta header")
    sizes = [struct.unpack_from("<QQ", payload, 12 + 16 * i) for i in range(4)]
    pos, streams = 76, []
    for packed, raw in sizes:
        streams.append(inflate_exactly(rel, payload[pos:pos + packed], raw))
        pos += packed
    if pos != len(payload) or sum(r for _, r in sizes) != raw_size \
            or copied + sizes[3][1] != new_size:
        fail(rel + ": difference delta sizes do not add up")
    control, runs, changed, extra = streams
    if transform:
        old = branches(old, True)
    # The differences: zero runs and changed bytes, alternating.
    diff, numbers, at = bytearray(), varints(runs), 0
    for same, count in zip(numbers[::2], numbers[1::2]):
        diff += bytes(same) + changed[at:at + count]
        at += count
    if len(diff) != copied or at != len(changed):
        fail(rel + ": difference runs do not cover the copied bytes")
    out, o, d, e = bytearray(), 0, 0, 0
    numbers = varints(control)
    if len(numbers) % 3:
        fail(rel + ": control stream ends inside a record")
    for k in range(0, len(numbers), 3):
        copy, add, z = numbers[k:k + 3]
        if o + copy > len(old):
            fail(rel + ": a record reads beyond the old file")
        out += bytes((x + y) & 0xFF for x, y in zip(old[o:o + copy], diff[d:d + copy]))
        out += extra[e:e + add]
        o, d, e = o + copy + (-(z >> 1) - 1 if z & 1 else z >> 1), d + copy, e + add
        if not 0 <= o <= len(old):
            fail(rel + ": a record moves outside the old file")
    if d != copied or e != len(extra):
        fail(rel + ": records do not use the streams exactly")
    return branches(out, False) if transform else bytes(out)


def main():
    patch, old_dir, new_dir = sys.argv[1:4]
    data = open(patch, "rb").read()
    if len(data) < 72 or data[:8] != b"ORUPATCH":
        fail("no header")
    if struct.unpack_from("<HHI", data, 8) != (1, 0, 0):
        fail("unexpected header fields %r" % (struct.unpack_from("<HHI", data, 8),))
    trailer = data[-56:]
    if trailer[:8] != b"ORUPEND!":
        fail("no trailer")
    if hashlib.sha256(data[:-32]).digest() != trailer[24:]:
        fail("checksum mismatch")
    dir_offset, dir_size = struct.unpack_from("<QQ", trailer, 8)
    if dir_offset + dir_size != len(data) - 56:
        fail("directory does not end at the trailer")
    d, pos = data[dir_offset:dir_offset + dir_size], 0

    def take(fmt):
        nonlocal pos
        values = struct.unpack_from(fmt, d, pos)
        pos += struct.calcsize(fmt)
        return values

    def text():
        nonlocal pos
        (n,) = take("<H")
        pos += n
        return d[pos - n:pos].decode("latin-1")

    groups = [(text(), text(), text()) for _ in range(take("<I")[0])]
    (entry_count,) = take("<I")
    for _ in range(entry_count):
        (group,) = take("<I")
        path = text()
        action, method, _, old_size, old_hash, new_size, new_hash, offset, size, raw_size = \
            take("<BBHQ32sQ32sQQQ")
        folder = groups[group][2]
        rel = os.path.join(*(folder.split("\\") if folder else []), *path.split("\\"))
        old_file, new_file = os.path.join(old_dir, rel), os.path.join(new_dir, rel)
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
        payload = data[offset:offset + size]
        if method == 3:
            result = difference_delta(rel, open(old_file, "rb").read(), payload, raw_size, new_size)
        elif method == 1:
            result = inflate_exactly(rel, payload, raw_size)
        elif method == 2:
            with tempfile.TemporaryDirectory() as tmp:
                delta, out = os.path.join(tmp, "delta"), os.path.join(tmp, "out")
                open(delta, "wb").write(inflate_exactly(rel, payload, raw_size))
                subprocess.run(["xdelta3", "-d", "-f", "-s", old_file, delta, out], check=True)
                result = open(out, "rb").read()
        else:
            fail(rel + ": unknown method %d" % method)
        if len(result) != new_size or hashlib.sha256(result).digest() != new_hash:
            fail(rel + ": rebuilt content does not match the entry")
        if result != open(new_file, "rb").read():
            fail(rel + ": rebuilt content differs from the new tree")
    if pos != len(d):
        fail("stray bytes after the directory")
    print("patch_file_check: %d entries agree" % entry_count)


main()
