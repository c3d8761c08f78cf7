#!/usr/bin/env python3
"""VCDIFF codec benchmark (orupack delta / undelta).

Delta size against xdelta3 -9 (its default LZMA secondary compression) and bsdiff,
ours measured after raw deflate level 9 as the patch engine stores it; apply time
of orupack undelta against xdelta3 -d on the same delta and on xdelta3's own; peak
memory. Pairs: consecutive libssl3 releases from Debian (fetched once with
apt-get download into a cache folder), two LLVM libraries when installed, and a
generated 200 MB file with scattered edits.

usage: vcdiff_bench.py BUILD_DIR   (environment: ORU_BENCH_CACHE, ORU_BENCH_MB)
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/native-release")
ORUPACK = os.path.join(BUILD, "tools", "orupack")
CACHE = os.environ.get("ORU_BENCH_CACHE", "/var/tmp/oru-bench")
BIG_MB = int(os.environ.get("ORU_BENCH_MB", "200"))
BSDIFF_LIMIT = 16 << 20  # bsdiff needs ~17x the file in memory and minutes beyond this
SSL_VERSIONS = ["3.0.17-1~deb12u2", "3.0.20-1~deb12u2", "3.0.22-1~deb12u2"]


def run_timed(cmd):
    """Runs cmd: (wall s, cpu s), the cpu time from the child's own resource usage."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit("failed: " + " ".join(cmd))
    return wall, usage.ru_utime + usage.ru_stime


def peak_mb(cmd):
    """Peak resident memory as GNU time reports it (a child forked from this large
    Python process would inherit its high-water mark)."""
    with tempfile.NamedTemporaryFile("r") as t:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", t.name] + cmd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(t.read().split()[-1]) / 1024


def gnu_timed(cmd):
    """One run under GNU time: (wall s, cpu s, peak MB); 10 ms resolution."""
    with tempfile.NamedTemporaryFile("r") as t:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", t.name] + cmd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall, user, system, kb = t.read().split()[-4:]
    return float(wall), float(user) + float(system), int(kb) / 1024


def best_of(cmd, prepare):
    """Median wall and cpu time over at least 3 runs (more for quick ones), and the peak."""
    results = []
    while len(results) < 3 or (len(results) < 15 and sum(r[0] for r in results) < 1.0):
        prepare()
        results.append(run_timed(cmd))
    prepare()
    return (statistics.median(r[0] for r in results), statistics.median(r[1] for r in results),
            peak_mb(cmd))


def deflated(path):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    with open(path, "rb") as f:
        return len(c.compress(f.read()) + c.flush())


def same(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def debian_pairs():
    """libcrypto and libssl of consecutive libssl3 releases, cached across runs."""
    os.makedirs(CACHE, exist_ok=True)
    found = []
    for v in SSL_VERSIONS:
        tag = v.split("-")[0]
        lib = os.path.join(CACHE, "libcrypto-" + tag)
        if not os.path.exists(lib):
            deb = [f for f in os.listdir(CACHE) if f.startswith("libssl3_" + v.replace(":", "%3a"))]
            if not deb:
                subprocess.run(["apt-get", "download", "libssl3=" + v], cwd=CACHE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                deb = [f for f in os.listdir(CACHE) if f.startswith("libssl3_") and tag in f and f.endswith(".deb")]
            if not deb:
                continue
            tree = os.path.join(CACHE, "tree-" + tag)
            subprocess.run(["dpkg-deb", "-x", os.path.join(CACHE, deb[0]), tree], check=True)
            libdir = os.path.join(tree, "usr", "lib", "x86_64-linux-gnu")
            shutil.copy(os.path.join(libdir, "libcrypto.so.3"), lib)
            shutil.copy(os.path.join(libdir, "libssl.so.3"), os.path.join(CACHE, "libssl-" + tag))
        found.append(tag)
    pairs = []
    for a, b in zip(found, found[1:]):
        pairs.append(("libcrypto %s -> %s" % (a, b), os.path.join(CACHE, "libcrypto-" + a),
                      os.path.join(CACHE, "libcrypto-" + b)))
    if len(found) >= 2:
        a, b = found[-2], found[-1]
        pairs.append(("libssl %s -> %s" % (a, b), os.path.join(CACHE, "libssl-" + a),
                      os.path.join(CACHE, "libssl-" + b)))
    if not pairs:
        print("(no libssl3 releases could be fetched: Debian pairs skipped)")
    return pairs


def llvm_pair():
    d = "/usr/lib/x86_64-linux-gnu"
    a, b = os.path.join(d, "libLLVM-14.so.1"), os.path.join(d, "libLLVM-15.so.1")
    return [("libLLVM 14 -> 15", a, b)] if os.path.exists(a) and os.path.exists(b) else []


def generated_pair(work):
    """Records and random blocks, then 3000 scattered overwrites, inserts and deletions."""
    size = BIG_MB << 20
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(3000)]
    old = bytearray()
    while len(old) < size:
        if rng.random() < 0.5:
            old += rng.randbytes(rng.randint(1 << 16, 1 << 20))
        else:
            old += b"".join(b"%d,%s,%s,%d\n" % (rng.randint(0, 10 ** 6), rng.choice(words),
                                                 rng.choice(words), rng.randint(0, 999))
                            for _ in range(rng.randint(1000, 8000)))
    del old[size:]
    new = bytearray(old)
    for _ in range(3000):
        p = rng.randrange(len(new) - 200)
        k = rng.random()
        if k < 0.6:
            new[p:p + rng.randint(1, 40)] = rng.randbytes(rng.randint(1, 40))
        elif k < 0.8:
            new[p:p] = rng.randbytes(rng.randint(1, 200))
        else:
            del new[p:p + rng.randint(1, 200)]
    a, b = os.path.join(work, "big.old"), os.path.join(work, "big.new")
    with open(a, "wb") as f:
        f.write(old)
    with open(b, "wb") as f:
        f.write(new)
    return [("generated %d MB, scattered edits" % BIG_MB, a, b)]


def bench_pair(name, old, new, work):
    size = os.path.getsize(new)
    ours, xd9, xplain = (os.path.join(work, n) for n in ("ours.vcdiff", "xd9.vcdiff", "plain.vcdiff"))
    out = os.path.join(work, "out")
    print("\n== %s (%.1f MB -> %.1f MB)" % (name, os.path.getsize(old) / 2**20, size / 2**20))

    enc = gnu_timed([ORUPACK, "delta", old, new, ours])
    xenc = gnu_timed(["xdelta3", "-e", "-9", "-f", "-s", old, new, xd9])
    subprocess.run(["xdelta3", "-e", "-9", "-A", "-S", "none", "-n", "-f", "-s", old, new, xplain], check=True)
    rows = [("ours (raw VCDIFF)", os.path.getsize(ours)),
            ("ours + raw deflate -9 (as stored)", deflated(ours)),
            ("xdelta3 -e -9 (LZMA secondary)", os.path.getsize(xd9)),
            ("xdelta3 plain + raw deflate -9", deflated(xplain))]
    bs = None
    if shutil.which("bsdiff") and size <= BSDIFF_LIMIT:
        bs = os.path.join(work, "bs.patch")
        subprocess.run(["bsdiff", old, new, bs], check=True)
        rows.append(("bsdiff", os.path.getsize(bs)))
    print("  delta size:")
    for label, n in rows:
        print("    %-36s %11d bytes  %6.2f%% of new" % (label, n, 100.0 * n / max(size, 1)))
    print("  encode: ours %.2f s (cpu %.2f s, peak %.0f MB); xdelta3 -9 %.2f s (cpu %.2f s, peak %.0f MB)"
          % (enc + xenc))

    applies = [("orupack undelta (our delta)", [ORUPACK, "undelta", old, ours, out]),
               ("xdelta3 -d (our delta)", ["xdelta3", "-d", "-f", "-s", old, ours, out]),
               ("xdelta3 -d (its -9 delta)", ["xdelta3", "-d", "-f", "-s", old, xd9, out])]
    if bs:
        applies.append(("bspatch", ["bspatch", old, out, bs]))
    print("  apply (median; output written to a fresh file each run):")

    def fresh():
        if os.path.exists(out):
            os.remove(out)

    base = None
    for label, cmd in applies:
        wall, cpu, peak = best_of(cmd, fresh)
        if not same(out, new):
            sys.exit("%s produced a wrong file" % label)
        base = base or (wall, cpu)
        print("    %-28s %7.3f s %7.0f MB/s  cpu %6.3f s  peak %6.1f MB  = %.2fx ours (wall), %.2fx (cpu)"
              % (label, wall, size / 2**20 / max(wall, 1e-6), cpu, peak, wall / max(base[0], 1e-6),
                 cpu / max(base[1], 1e-6)))


def main():
    if not os.path.exists(ORUPACK):
        sys.exit("orupack not built: " + ORUPACK)
    if not shutil.which("xdelta3"):
        sys.exit("xdelta3 is needed for the comparison")
    if not shutil.which("bsdiff"):
        print("(bsdiff not installed: its column is skipped)")
    work = tempfile.mkdtemp(prefix="oru-vcdiff-bench-")
    try:
        for name, old, new in debian_pairs() + llvm_pair() + generated_pair(work):
            bench_pair(name, old, new, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
