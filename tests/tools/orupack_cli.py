#!/usr/bin/env python3
# orupack through its command line, as release engineers use it: list, test and
# extract against the reader tests' fixtures, read back with Python's zipfile, and
# `build` from a manifest to a package, and the patch commands: their exit codes and
# messages, and an independent reading of the patch file diff writes (what the engine
# does with the files is proven in-process).
#
# usage: orupack_cli.py ORUPACK FIXTURE_DIR WORK_DIR [WINE_RUN]
# With WINE_RUN the Windows program runs under Wine and gets Z:\ paths; the build
# and patch checks then stay out (the update runs build their packages with it under
# Wine, and the patch file reader needs Linux's xdelta3).
import os, random, shutil, subprocess, sys, zipfile

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "patch_file_check.py")
ORUPACK, FIXTURES, WORK = sys.argv[1:4]
WINE = sys.argv[4] if len(sys.argv) > 4 else None
failures = []


def program_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\") if WINE else path


def check(condition, what):
    if not condition:
        failures.append(what)


# Runs orupack; its exit status must be `status` and its output hold every text.
def expect(args, status, *texts):
    r = subprocess.run(([WINE] if WINE else []) + [ORUPACK] + args, capture_output=True,
                       timeout=120)
    out = (r.stdout + r.stderr).decode("latin-1").replace("\r\n", "\n")
    check(r.returncode == status and all(t in out for t in texts),
          "orupack %s: exit %d\n%s" % (" ".join(args), r.returncode, out))
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def archive_commands():
    fixture = lambda name: program_path(os.path.join(FIXTURES, name))
    expect(["frobnicate"], 2, "unknown command")
    expect(["list", "--", "--no.zip"], 1, "Cannot open the file")
    # list: every member with method, sizes and CRC as Python reads the same archive,
    # and the directives as a run reads them.
    out = expect(["list", fixture("infozip-plain.zip")], 0, "(8 members)")
    with zipfile.ZipFile(os.path.join(FIXTURES, "infozip-plain.zip")) as z:
        for i in z.infolist():
            method = "deflate" if i.compress_type == zipfile.ZIP_DEFLATED else "stored"
            want = [method, str(i.compress_size), str(i.file_size), "%08X" % i.CRC, "no"]
            line = [l.split()[:5] for l in out.splitlines() if l.endswith("  " + i.filename)]
            check(line == [want], "list line of %s: %s" % (i.filename, line))
    expect(["list", fixture("python-mixed.zip")], 0,
           "(7 members)", "Comment: Oru test package", "tables\\New.dat", "comment: read me",
           'extra "<INSTALLDIR>;1": folder "<INSTALLDIR>", kind 1 (all editions)',
           'extra "<WINSYSDIR>;2": folder "<WINSYSDIR>", kind 2 (LE edition only)',
           'folder "", kind "" (not a number')
    # test: passwords, and the reader's messages on failure.
    expect(["test", fixture("7z-crypto-deflate.zip"), "--password", "Secret123"], 0,
           "6 members tested, no errors")
    expect(["test", fixture("7z-crypto-stored.zip")], 1,
           "It is password protected, but no password was specified")
    expect(["test", fixture("7z-crypto-deflate.zip"), "--password=nope"], 1, "FAILED")
    # extract into a folder given without its trailing separator.
    dest, payload = os.path.join(WORK, "out"), os.path.join(FIXTURES, "payload")
    expect(["extract", fixture("python-mixed.zip"), program_path(dest)], 0, "6 files extracted")
    for root, _, files in os.walk(payload):
        for rel in (os.path.relpath(os.path.join(root, f), payload) for f in files):
            got = os.path.join(dest, rel)
            check(os.path.isfile(got) and read(got) == read(os.path.join(payload, rel)),
                  "extracted " + rel)


def build():
    src, out = os.path.join(WORK, "src"), os.path.join(WORK, "pkg")
    dll = b"MZ" + bytes(range(256)) * 40
    for name, data in (("files/New.dat", b"new tables\r\n"), ("files/oru.dll", dll),
                       ("old/parcelon.exe", b"MZ old program" * 50),
                       ("new/parcelon.exe", b"MZ new program" * 50),
                       ("engine/patchw32.dll", b"MZ engine"), ("engine/readme.txt", b"notes"),
                       ("manifest.txt", b"# sample\nversion: 01.23.00.00\nnotice: 100\n"
                        b"notice-line: Please restart\nnotice-line:  Parcelon.\n"
                        b"file: <INSTALLDIR>;1 Tables/New.dat = files/New.dat\n"
                        b"file: <WINSYSDIR>;0 oru.dll = files/oru.dll\n"
                        b"patch-old: old\npatch-new: new\n"
                        b"engine: engine/patchw32.dll\nengine-file: engine/readme.txt\n"
                        b"time: 2010-12-01 10:30\n"),
                       ("archive-only.txt",
                        b"version: 2\nfile: <TEMP>;1 New.dat = files/New.dat\n"),
                       ("bad.txt", b"version: 3\nfile: <INSTALLDIR>;1 a.dat = files/New.dat\n"
                        b"file: <INSTALLDIR>;1 b.dat = files/missing.dat\n")):
        write(os.path.join(src, name), data)
    write(os.path.join(out, "unrelated.txt"), b"keep")

    expect(["build", os.path.join(src, "manifest.txt"), out, "--quiet"], 0)
    check(read(os.path.join(out, "ORU.VER")) ==
          b"01.23.00.00\r\nY\r\nY\r\nY\r\n100\r\n2\r\nPlease restart\r\n Parcelon.\r\n", "ORU.VER")
    with zipfile.ZipFile(os.path.join(out, "ORU.mcu")) as z:
        check(z.testzip() is None, "ORU.mcu fails Python's CRC test")
        check([i.filename for i in z.infolist()] == ["Tables\\New.dat", "oru.dll"], "member names")
        check(z.read("oru.dll") == dll, "oru.dll data")
        check(all(i.date_time == (2010, 12, 1, 10, 30, 0) for i in z.infolist()), "member times")
    local_extra = read(os.path.join(out, "ORU.mcu"))[30 + len("Tables\\New.dat"):][:14]
    check(local_extra == b"<INSTALLDIR>;1", "first directive not in the local extra")
    with zipfile.ZipFile(os.path.join(out, "PATCHW32.mzp")) as z:
        check([i.filename for i in z.infolist()] == ["PATCHW32.DLL", "readme.txt"], "engine files")
    expect(["verify", os.path.join(src, "old"), os.path.join(out, "ORU.rtp")], 0)
    check(os.path.exists(os.path.join(out, "unrelated.txt")), "an unrelated file was removed")

    # A later manifest without a patch takes the stale patch file away.
    log = expect(["build", os.path.join(src, "archive-only.txt"), out], 0, "removed stale ORU.rtp")
    check("stale ORU.mcu" not in log, "the archive it writes again reported stale")
    for stale in ("ORU.rtp", "PATCHW32.mzp"):
        check(not os.path.exists(os.path.join(out, stale)), stale + " still there")
    # A manifest refused for a missing source names its line and writes nothing.
    before = {n: read(os.path.join(out, n)) for n in os.listdir(out)}
    expect(["build", os.path.join(src, "bad.txt"), out], 1, "line 3: no such file")
    check(before == {n: read(os.path.join(out, n)) for n in os.listdir(out)},
          "a refused manifest changed the output folder")


def patch_commands():
    work = os.path.join(WORK, "patch")
    old, new, target = (os.path.join(work, d) for d in ("old", "new", "target"))
    rnd = random.Random(3)
    blob = bytes(rnd.randrange(256) for _ in range(300000))
    app = bytearray(blob[:1000] + b"changed" + blob[1007:200000] + b"more" + blob[200000:])
    for i in range(500, len(app), 700):  # scattered small changes: a difference delta
        app[i] = (app[i] + 3) & 0xFF
    write(os.path.join(old, "bin/app.exe"), blob)
    write(os.path.join(new, "bin/app.exe"), bytes(app))
    # Code whose callers move while the functions they call stay: the x86 transform's case.
    targets = [0x400000 + rnd.randrange(0x100000) for _ in range(64)]
    for tree, grown in ((old, False), (new, True)):
        pick, code = random.Random(12), bytearray(b"MZ")
        for block in range(3000):
            code += bytes(random.Random(block).randrange(8) for _ in range(20))
            if grown and block % 7 == 0:
                code += b"\x90" * (1 + block % 3)
            rel = (targets[pick.randrange(64)] - (len(code) + 5)) & 0xFFFFFFFF
            code += b"\xe8" + rel.to_bytes(4, "little")
        write(os.path.join(tree, "bin/code.dll"), bytes(code))
    for tree, text in ((old, b"v1\r\n"), (new, b"v2\r\n")):
        write(os.path.join(tree, "readme.txt"), text)
        write(os.path.join(tree, "Unibrook/ub.dll"), text * 100)
    write(os.path.join(old, "gone.txt"), b"bye")
    write(os.path.join(new, "docs/new.txt"), b"hello")
    patch = os.path.join(work, "p.rtp")

    for args, status in ((["--help"], 0), ([old, new], 2), ([old, new, patch, "UNI=../x"], 2)):
        expect(["diff"] + args, status)
    expect(["diff", old, new, patch, "MAIN=.", "UNIBROOK=Unibrook=Unibrook job tools"], 0,
           "patch MAIN:bin\\code.dll (difference delta, x86 branches")
    expect(["diff", old, new, patch + "2", "--method", "vcdiff", "--quiet"], 0,
           "4 patched (1 as VCDIFF deltas, 0 as difference")
    for written in (patch, patch + "2"):
        r = subprocess.run([sys.executable, CHECKER, written, old, new], capture_output=True,
                           text=True)
        check(r.returncode == 0, "independent reading of %s: %s" % (written, r.stdout + r.stderr))

    # A group folder that is elsewhere: aborted without an answer, applied with one.
    shutil.copytree(old, target)
    elsewhere = os.path.join(work, "ub-elsewhere")
    os.rename(os.path.join(target, "Unibrook"), elsewhere)
    expect(["apply", target, patch], 1, "give it with --folder UNIBROOK=DIR")
    expect(["apply", target, patch, "--folder", "unibrook=" + elsewhere], 0,
           "] group folder missing: UNIBROOK", "result: 0x00000000 (success)")
    os.rename(elsewhere, os.path.join(target, "Unibrook"))
    check(subprocess.run(["diff", "-r", target, new]).returncode == 0, "applied tree differs")

    # A damaged patch fails with the engine's code; recover undoes an interrupted run
    # and refuses a journal that is not ours.
    damaged = bytearray(read(patch))
    damaged[40] ^= 1
    write(os.path.join(work, "bad.rtp"), bytes(damaged))
    expect(["apply", target, os.path.join(work, "bad.rtp")], 1, "0x8002")
    journal = os.path.join(target, "ORUPATCH.~oru-journal")
    write(journal, b"ORUJRNL1")
    expect(["recover", target], 0)
    check(not os.path.exists(journal), "recover left the journal")
    write(journal, b"PK\003\004")
    expect(["recover", target], 1, "not a journal of this engine")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    archive_commands()
    if not WINE:
        build()
        if shutil.which("xdelta3"):
            patch_commands()
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
