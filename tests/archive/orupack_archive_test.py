#!/usr/bin/env python3
"""orupack list / test / extract end to end, against the fixtures of the reader
tests: extracted files are compared with the files the archives were made from,
and listed fields with Python's zipfile reading the same archive.

usage: orupack_archive_test.py ORUPACK FIXTURE_DIR WORK_DIR [WINE_RUN]
With WINE_RUN the Windows program runs under Wine and gets Z:\\ paths.
"""
import os
import shutil
import subprocess
import sys
import zipfile
import zlib

ORUPACK, FIXTURES, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
WINE = sys.argv[4] if len(sys.argv) > 4 else None
failures = []


def program_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\") if WINE else path


def orupack(*args):
    cmd = ([WINE] if WINE else []) + [ORUPACK] + list(args)
    r = subprocess.run(cmd, capture_output=True, timeout=120)
    return r.returncode, r.stdout.decode("latin-1").replace("\r\n", "\n"), \
        r.stderr.decode("latin-1").replace("\r\n", "\n")


def check(condition, what, detail=""):
    if not condition:
        failures.append(what + (": " + detail if detail else ""))


def fixture(name):
    return program_path(os.path.join(FIXTURES, name))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)

    rc, out, err = orupack("--help")
    check(rc == 0 and all(c in out for c in ("list", "test", "extract")), "overview", out + err)
    for command in ("list", "test", "extract"):
        rc, out, err = orupack(command, "--help")
        check(rc == 0 and ("usage: orupack " + command) in out, command + " --help", out + err)
    rc, out, err = orupack("list")
    check(rc == 2 and "usage: orupack list ARCHIVE" in err, "list without archive", err)
    rc, out, err = orupack("frobnicate")
    check(rc == 2 and "unknown command" in err, "unknown command", err)

    # list: every member with method, sizes and CRC (checked against Python's reading
    # of an Info-ZIP archive), and the directives as a run reads them.
    plain = os.path.join(FIXTURES, "infozip-plain.zip")
    rc, out, err = orupack("list", fixture("infozip-plain.zip"))
    check(rc == 0 and "(8 members)" in out, "list", out + err)
    with zipfile.ZipFile(plain) as z:
        for info in z.infolist():
            line = [l for l in out.splitlines() if l.endswith("  " + info.filename)]
            check(len(line) == 1, "list line of " + info.filename, out)
            if line:
                method = "deflate" if info.compress_type == zipfile.ZIP_DEFLATED else "stored"
                check(line[0].split()[:5] == [method, str(info.compress_size), str(info.file_size),
                                              "%08X" % info.CRC, "no"],
                      "list fields of " + info.filename, line[0])
    rc, out, err = orupack("list", fixture("python-mixed.zip"))
    check(rc == 0 and "(7 members)" in out, "list count", out + err)
    check("Comment: Oru test package" in out, "list archive comment", out)
    check("tables\\New.dat" in out, "list backslash name", out)
    check('extra "<INSTALLDIR>;1": folder "<INSTALLDIR>", kind 1 (all editions)' in out,
          "list directive", out)
    check('extra "<WINSYSDIR>;2": folder "<WINSYSDIR>", kind 2 (LE edition only)' in out,
          "list LE directive", out)
    check('folder "", kind "" (not a number' in out, "list missing kind", out)

    # test: passwords, and the reader's messages on failure.
    rc, out, err = orupack("test", fixture("7z-crypto-deflate.zip"), "--password", "Secret123")
    check(rc == 0 and "6 members tested, no errors" in out, "test with password", out + err)
    rc, out, err = orupack("test", fixture("7z-crypto-stored.zip"))
    check(rc == 1 and "It is password protected, but no password was specified" in err,
          "test without password", out + err)
    rc, out, err = orupack("test", fixture("7z-crypto-deflate.zip"), "--password=nope")
    check(rc == 1 and "FAILED" in out and err.strip(), "test with a wrong password", out + err)
    rc, out, err = orupack("test", fixture("infozip-crypt.zip"), "--password", "Secret123")
    check(rc == 1 and "'infozip-crypt.zip' is not a valid ZIP archive" in err,
          "test of a data-descriptor archive", out + err)

    # extract: byte-identical to the files the archive was made from, twice (the
    # second run replaces every file).
    dest = os.path.join(WORK, "out")
    payload = os.path.join(FIXTURES, "payload")
    for run in (1, 2):
        rc, out, err = orupack("extract", fixture("python-mixed.zip"), program_path(dest))
        check(rc == 0 and "6 files extracted" in out, "extract run %d" % run, out + err)
    for root, _, files in os.walk(payload):
        for f in files:
            rel = os.path.relpath(os.path.join(root, f), payload)
            got = os.path.join(dest, rel)
            ok = os.path.isfile(got) and open(got, "rb").read() == open(os.path.join(root, f), "rb").read()
            check(ok, "extracted " + rel)

    # A member whose data are damaged: exit 1 with the reader's message, and the
    # files already written are gone again.
    broken = os.path.join(WORK, "broken.zip")
    data = bytearray(open(plain, "rb").read())
    with zipfile.ZipFile(plain) as z:
        victim = z.getinfo("tables/big.txt")
        later = [i.filename for i in z.infolist()].index("tables/big.txt") > 0
    check(later, "the damaged member is not the first")
    start = victim.header_offset + 30 + len(victim.filename) + len(victim.extra)
    for i in range(start + 100, start + 400):
        data[i] ^= 0x5A
    open(broken, "wb").write(bytes(data))
    dest2 = os.path.join(WORK, "out2")
    rc, out, err = orupack("extract", program_path(broken), program_path(dest2))
    check(rc == 1 and ("Cannot extract 'tables/big.txt'" in err or
                       "CRC check failed for 'tables/big.txt'" in err), "damaged member", err)
    left = [os.path.join(r, f) for r, _, files in os.walk(dest2) for f in files]
    check(not left, "files left after a failed extract", " ".join(left))

    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        return 1
    print("orupack archive commands: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
