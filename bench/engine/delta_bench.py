#!/usr/bin/env python3
"""Patch size and speed per file pair: our patch files (orupack diff / apply, the
engine's whole run with its checks) against bsdiff, xdelta3 -9 and zstd --patch-from.

Pairs: consecutive libssl3 releases from Debian (as vcdiff_bench.py fetches them)
and two builds of our own ORUUpdate.exe and patchw32.dll, from OLD_COMMIT and from
the working tree, built by this script with the windows preset and cached under
build/bench-old. Sizes are whole patch files (ours include the directory, about 200
bytes). Times are medians of several runs; peak memory from GNU time.

usage: delta_bench.py BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vcdiff_bench as vb  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OLD_COMMIT = os.environ.get("ORU_BENCH_OLD_COMMIT", "399611e")
PRODUCTS = [("ORUUpdate.exe", "src/app/ORUUpdate.exe"), ("patchw32.dll", "engine/patchw32.dll")]


def build_windows(source, build_dir):
    subprocess.run(["cmake", "-S", source, "-B", build_dir, "-G", "Ninja",
                    "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source, "cmake", "toolchain-mingw64.cmake"),
                    "-DCMAKE_BUILD_TYPE=Release", "-DORU_RUN_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "ORUUpdate", "patchw32"],
                   check=True, stdout=subprocess.DEVNULL)


def own_pairs():
    cache = os.path.join(ROOT, "build", "bench-old")
    old_dir = os.path.join(cache, OLD_COMMIT)
    if not all(os.path.exists(os.path.join(old_dir, name)) for name, _ in PRODUCTS):
        tree = os.path.join(cache, "src-" + OLD_COMMIT)
        if not os.path.exists(tree):
            # An exported copy, so the repository's own worktree list stays as it is.
            os.makedirs(tree)
            archive = subprocess.run(["git", "-C", ROOT, "archive", OLD_COMMIT], check=True,
                                     capture_output=True).stdout
            subprocess.run(["tar", "-x", "-C", tree], input=archive, check=True)
        build_windows(tree, os.path.join(tree, "build", "windows"))
        os.makedirs(old_dir, exist_ok=True)
        for name, rel in PRODUCTS:
            shutil.copy(os.path.join(tree, "build", "windows", rel), os.path.join(old_dir, name))
    new_build = os.path.join(cache, "current")
    build_windows(ROOT, new_build)
    return [("%s %s -> now" % (name, OLD_COMMIT), os.path.join(old_dir, name),
             os.path.join(new_build, rel)) for name, rel in PRODUCTS]


def bench_pair(name, old, new, work):
    size = os.path.getsize(new)
    base = os.path.basename(new)
    o, n = os.path.join(work, "o"), os.path.join(work, "n")
    for d, f in ((o, old), (n, new)):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        shutil.copy(f, os.path.join(d, base))
    ours, bs, xd, zs = (os.path.join(work, x) for x in ("p.rtp", "bs.patch", "xd.vcdiff", "z.zst"))
    out = os.path.join(work, "out")
    target = os.path.join(work, "t")
    diff = subprocess.run([vb.ORUPACK, "diff", o, n, ours], check=True, capture_output=True, text=True)
    method = diff.stdout.splitlines()[0].split("(", 1)[1].split(",")[0]
    times = {"ours": vb.gnu_timed([vb.ORUPACK, "diff", o, n, ours])}
    times["bsdiff"] = vb.gnu_timed(["bsdiff", old, new, bs])
    times["xdelta3"] = vb.gnu_timed(["xdelta3", "-e", "-9", "-f", "-s", old, new, xd])
    have_zstd = shutil.which("zstd") is not None
    if have_zstd:
        times["zstd"] = vb.gnu_timed(["zstd", "-q", "-f", "-19", "--long=27", "--patch-from=" + old, new, "-o", zs])

    def fresh_target():
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        shutil.copy(old, os.path.join(target, base))

    def fresh_out():
        if os.path.exists(out):
            os.remove(out)

    applies = {"ours": vb.best_of([vb.ORUPACK, "apply", target, ours], fresh_target)}
    if not vb.same(os.path.join(target, base), new):
        sys.exit("our patch made a wrong file: " + name)
    applies["bspatch"] = vb.best_of(["bspatch", old, out, bs], fresh_out)
    applies["xdelta3 -d"] = vb.best_of(["xdelta3", "-d", "-f", "-s", old, xd, out], fresh_out)
    sizes = {"ours": os.path.getsize(ours), "bsdiff": os.path.getsize(bs), "xdelta3": os.path.getsize(xd)}
    if have_zstd:
        sizes["zstd"] = os.path.getsize(zs)
    return dict(name=name, size=size, method=method, sizes=sizes, times=times, applies=applies)


def main():
    for tool in ("bsdiff", "bspatch", "xdelta3"):
        if not shutil.which(tool):
            sys.exit(tool + " is needed for the comparison")
    work = tempfile.mkdtemp(prefix="oru-delta-bench-")
    try:
        pairs = vb.debian_pairs()
        try:
            if os.environ.get("ORU_BENCH_OWN", "1") != "0":
                pairs += own_pairs()
        except (subprocess.CalledProcessError, OSError) as e:
            print("(our own executables could not be built: %s)" % e)
        rows = [bench_pair(name, old, new, work) for name, old, new in pairs]
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("\n  patch size in bytes (% of bsdiff); ours: the method that won")
    print("  %-34s %10s %10s %10s %10s  %s" % ("pair", "ours", "bsdiff", "xdelta3-9", "zstd-19", "method"))
    total = {k: 0 for k in ("ours", "bsdiff", "xdelta3", "zstd")}
    for r in rows:
        s = r["sizes"]
        for k in total:
            total[k] += s.get(k, 0)
        print("  %-34s %10d %10d %10d %10s  %s (%.0f%%)" % (r["name"], s["ours"], s["bsdiff"], s["xdelta3"],
              s.get("zstd", "-"), r["method"], 100.0 * s["ours"] / s["bsdiff"]))
    print("  %-34s %10d %10d %10d %10d  ours = %.1f%% of bsdiff" % ("sum", total["ours"], total["bsdiff"],
          total["xdelta3"], total["zstd"], 100.0 * total["ours"] / max(total["bsdiff"], 1)))
    print("\n  diff time in s (peak MB)")
    print("  %-34s %14s %14s %14s %14s" % ("pair", "ours", "bsdiff", "xdelta3-9", "zstd-19"))
    for r in rows:
        t = r["times"]
        cell = lambda k: ("%6.2f (%5.0f)" % (t[k][0], t[k][2])) if k in t else "-"
        print("  %-34s %14s %14s %14s %14s  ours = %.1fx bsdiff" % (r["name"], cell("ours"), cell("bsdiff"),
              cell("xdelta3"), cell("zstd"), t["ours"][0] / max(t["bsdiff"][0], 1e-3)))
    print("\n  apply time in s, median (peak MB); ours is orupack apply: checks, builds, hashes, swaps")
    print("  %-34s %15s %15s %15s" % ("pair", "ours", "bspatch", "xdelta3 -d"))
    for r in rows:
        a = r["applies"]
        cell = lambda k: "%7.3f (%5.1f)" % (a[k][0], a[k][2])
        print("  %-34s %15s %15s %15s  ours = %.2fx xdelta3 -d, %.2fx bspatch" % (
              r["name"], cell("ours"), cell("bspatch"), cell("xdelta3 -d"),
              a["ours"][0] / max(a["xdelta3 -d"][0], 1e-6), a["ours"][0] / max(a["bspatch"][0], 1e-6)))


if __name__ == "__main__":
    main()
