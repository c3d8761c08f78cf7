#!/usr/bin/env python3
"""Archive extraction benchmark.

usage: run_bench.py BUILD_DIR

Builds (once) a ~200 MB archive of mixed content with Python's zipfile, then times
in one run: orupack extract, Info-ZIP unzip -o -q, and the floor (bare inflate and
write of the same members). Prints the best of five runs of each, and the CRC-32
speed of the reader against the bitwise routine.

The machine may be shared, so the comparison is made on processor time (user +
system) of each program; wall time is printed beside it. Output goes to a tmpfs
when there is one, so that the programs are measured and not the disk.
"""
import os
import random
import resource
import shutil
import subprocess
import sys
import time
import zipfile

MB = 1 << 20


def text_block(rnd, size):
    words = [b"parcel", b"county", b"presort", b"route", b"address", b"zip", b"update",
             b"Oru", b"stamp", b"batch", b"mail", b"table", b"record", b"0123", b"4567"]
    line = []
    out = bytearray()
    while len(out) < size:
        line = b" ".join(rnd.choice(words) for _ in range(rnd.randrange(4, 14)))
        out += line + b"\r\n"
    return bytes(out[:size])


def build_archive(path):
    rnd = random.Random(42)
    base = text_block(rnd, 4 * MB)
    tmp = path + ".part"
    total = 0
    with zipfile.ZipFile(tmp, "w", compression=zipfile.ZIP_DEFLATED) as z:
        # A few large compressible files: the text base, shifted and sprinkled with
        # noise so that each compresses on its own.
        for i in range(4):
            parts = []
            for j in range(9):
                shift = rnd.randrange(len(base))
                parts.append(base[shift:] + base[:shift])
                parts.append(os.urandom(64 * 1024))
            data = b"".join(parts)[:37 * MB]
            z.writestr("data/large%d.dat" % i, data)
            total += len(data)
        # Stored members: incompressible data as packages carry them.
        for i in range(2):
            data = os.urandom(12 * MB)
            z.writestr(zipfile.ZipInfo("stored/blob%d.bin" % i, (2024, 1, 2, 3, 4, 6)), data,
                       compress_type=zipfile.ZIP_STORED)
            total += len(data)
        # Thousands of small files in a folder tree.
        for i in range(5000):
            size = rnd.choice((200, 1500, 4000, 9000, 20000))
            shift = rnd.randrange(len(base) - size)
            data = base[shift:shift + size]
            method = zipfile.ZIP_STORED if i % 10 == 0 else zipfile.ZIP_DEFLATED
            z.writestr("small/d%02d/f%04d.txt" % (i % 50, i), data, compress_type=method)
            total += len(data)
    os.replace(tmp, path)
    return total


def cpu_of_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(args, dest):
    """(wall seconds, processor seconds) of one run into an empty folder."""
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    cpu = cpu_of_children()
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start, cpu_of_children() - cpu


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/native-release")
    orupack = os.path.join(build, "tools", "orupack")
    floor = os.path.join(build, "bench", "archive", "inflate_floor")
    crc = os.path.join(build, "bench", "archive", "crc_speed")
    work = os.path.join(build, "bench", "archive", "data")
    os.makedirs(work, exist_ok=True)
    archive = os.path.join(work, "mixed.zip")
    if not os.path.exists(archive):
        print("building the benchmark archive (once)...", flush=True)
        build_archive(archive)
    with zipfile.ZipFile(archive) as z:
        members = z.infolist()
        unpacked = sum(i.file_size for i in members)
    print("archive: %d members, %.0f MB packed, %.0f MB unpacked" %
          (len(members), os.path.getsize(archive) / MB, unpacked / MB))

    shm = "/dev/shm"
    if os.path.isdir(shm) and shutil.disk_usage(shm).free > 3 * unpacked:
        dest = os.path.join(shm, "oru-archive-bench-%d" % os.getpid())
    else:
        dest = os.path.join(work, "out")
    print("output folder:", dest)
    runs = {
        "orupack extract": lambda: timed([orupack, "extract", archive, dest + "/"], dest),
        "unzip -o -q": lambda: timed(["unzip", "-o", "-q", archive, "-d", dest], dest),
        "floor (inflate + write)": lambda: timed([floor, archive, dest], dest),
    }
    best = {name: (float("inf"), float("inf")) for name in runs}
    for _ in range(5):
        for name, run in runs.items():
            wall, cpu = run()
            best[name] = (min(best[name][0], wall), min(best[name][1], cpu))
    shutil.rmtree(dest, ignore_errors=True)
    print("%-26s %10s %10s %12s" % ("", "cpu", "wall", "MB/s (cpu)"))
    for name, (wall, cpu) in best.items():
        print("%-26s %8.3f s %8.3f s %12.0f" % (name, cpu, wall, unpacked / MB / cpu))
    ours, unzip, base = (best[n][1] for n in ("orupack extract", "unzip -o -q",
                                              "floor (inflate + write)"))
    print("processor time: orupack / unzip %.2fx, orupack / floor %.2fx "
          "(goal: <= 1.00 and <= 1.15)" % (ours / unzip, ours / base))
    subprocess.run([crc], check=True)


if __name__ == "__main__":
    main()
