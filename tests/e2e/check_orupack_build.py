#!/usr/bin/env python3
"""orupack build as a release engineer uses it: a manifest in, a package out, read
back with independent tools (Python's zipfile) and with orupack's own checks.
Usage: check_orupack_build.py ORUPACK"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

ORUPACK = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args, cwd=None):
    return subprocess.run([ORUPACK, *args], cwd=cwd, capture_output=True, text=True)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


root = tempfile.mkdtemp(prefix="oru-build-")
try:
    src = os.path.join(root, "src")
    out = os.path.join(root, "out")
    write(os.path.join(src, "files", "New.dat"), b"new tables\r\n")
    write(os.path.join(src, "files", "oru.dll"), b"MZ" + bytes(range(256)) * 40)
    write(os.path.join(src, "old", "parcelon.exe"), b"MZ old program" * 50)
    write(os.path.join(src, "new", "parcelon.exe"), b"MZ new program" * 50)
    write(os.path.join(src, "engine", "patchw32.dll"), b"MZ engine")
    write(os.path.join(src, "engine", "readme.txt"), b"notes")
    write(os.path.join(src, "manifest.txt"),
          b"# sample\n"
          b"version: 01.23.00.00\n"
          b"notice: 100\n"
          b"notice-line: Please restart\n"
          b"notice-line:  Parcelon.\n"
          b"file: <INSTALLDIR>;1 Tables/New.dat = files/New.dat\n"
          b"file: <WINSYSDIR>;0 oru.dll = files/oru.dll\n"
          b"patch-old: old\npatch-new: new\n"
          b"engine: engine/patchw32.dll\nengine-file: engine/readme.txt\n"
          b"time: 2010-12-01 10:30\n")
    os.makedirs(out)
    write(os.path.join(out, "unrelated.txt"), b"keep")

    r = run("build", os.path.join(src, "manifest.txt"), out, "--quiet")
    check(r.returncode == 0, "build failed: " + r.stdout + r.stderr)
    with open(os.path.join(out, "ORU.VER"), "rb") as f:
        check(f.read() == b"01.23.00.00\r\nY\r\nY\r\nY\r\n100\r\n2\r\nPlease restart\r\n Parcelon.\r\n",
              "ORU.VER differs")
    with zipfile.ZipFile(os.path.join(out, "ORU.mcu")) as z:
        check(z.testzip() is None, "ORU.mcu fails Python's CRC test")
        check([i.filename for i in z.infolist()] == ["Tables\\New.dat", "oru.dll"], "member names or order")
        check(z.read("oru.dll") == b"MZ" + bytes(range(256)) * 40, "oru.dll data")
        check(all(i.date_time == (2010, 12, 1, 10, 30, 0) for i in z.infolist()), "member times")
        check(all(i.flag_bits == 0 for i in z.infolist()), "flags must be 0")
    with open(os.path.join(out, "ORU.mcu"), "rb") as f:
        blob = f.read()
    check(blob[:4] == b"PK\x03\x04", "ORU.mcu must start with a local header")
    check(blob[30 + len("Tables\\New.dat"):][:14] == b"<INSTALLDIR>;1", "first directive not in the local extra")
    with zipfile.ZipFile(os.path.join(out, "PATCHW32.mzp")) as z:
        check([i.filename for i in z.infolist()] == ["PATCHW32.DLL", "readme.txt"], "engine archive members")
    r = run("test", os.path.join(out, "ORU.mcu"))
    check(r.returncode == 0, "orupack test: " + r.stdout + r.stderr)
    inst = os.path.join(root, "inst")
    shutil.copytree(os.path.join(src, "old"), inst)
    r = run("verify", inst, os.path.join(out, "ORU.rtp"))
    check(r.returncode == 0, "the patch does not verify against the old tree: " + r.stdout + r.stderr)
    check(os.path.exists(os.path.join(out, "unrelated.txt")), "an unrelated file was removed")

    # A later manifest without a patch takes the stale patch file away.
    write(os.path.join(src, "archive-only.txt"), b"version: 2\nfile: <TEMP>;1 New.dat = files/New.dat\n")
    r = run("build", os.path.join(src, "archive-only.txt"), out)
    check(r.returncode == 0 and "removed stale ORU.rtp" in r.stdout, "stale patch file: " + r.stdout + r.stderr)
    check(not os.path.exists(os.path.join(out, "ORU.rtp")), "ORU.rtp still there")
    check(not os.path.exists(os.path.join(out, "PATCHW32.mzp")), "PATCHW32.mzp still there")

    # A refused manifest names its line and writes nothing.
    before = {n: open(os.path.join(out, n), "rb").read() for n in os.listdir(out)}
    write(os.path.join(src, "bad.txt"), b"version: 3\nfile: <INSTALLDIR>;1 a.dat = files/New.dat\n"
                                        b"file: <INSTALLDIR>;1 b.dat = files/missing.dat\n")
    r = run("build", os.path.join(src, "bad.txt"), out)
    check(r.returncode == 1, "a missing source must fail with status 1")
    check("line 3: no such file" in r.stderr, "refusal text: " + r.stderr)
    after = {n: open(os.path.join(out, n), "rb").read() for n in os.listdir(out)}
    check(before == after, "a refused manifest changed the output folder")
    r = run("build", os.path.join(src, "bad.txt"))
    check(r.returncode == 2, "missing output folder must be a usage error")
finally:
    shutil.rmtree(root, ignore_errors=True)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
