#!/usr/bin/env python3
# usage: make_fixtures.py OUTDIR CORPORA_DIR
# OUTDIR/corpus.txt lists every corpus member Python's zipfile can read: archive,
# member index, size and CRC-32.
import os, random, shutil, subprocess, sys, zipfile, zlib

PASSWORD = "Secret123"


def payload_files(root):
    rnd = random.Random(20240611)
    files = {
        "readme.txt": b"Update package test file.\r\nSecond line.\r\n",
        "empty.txt": b"",
        "tables/New.dat": bytes(rnd.getrandbits(8) for _ in range(5000)),
        # Compressible text far larger than one inflate input buffer.
        "tables/big.txt": b"".join(
            b"%06d the quick brown fox jumps over the lazy dog %d\n" % (i, rnd.randrange(1000))
            for i in range(40000)),
        "bin/zeros.bin": bytes(200000),
        "bin/odd.bin": bytes(rnd.getrandbits(8) for _ in range(12597)),
    }
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    return files


def python_mixed(path, files):
    # Backslash names as the update archives carry them, directive extra texts,
    # member and archive comments, a folder member and stored plus deflated data.
    with zipfile.ZipFile(path, "w") as z:
        z.comment = b"Oru test package"
        z.writestr(zipfile.ZipInfo("tables/", (2019, 12, 31, 23, 59, 58)), b"")
        for arcname, src, method, extra, comment in [
                ("readme.txt", "readme.txt", zipfile.ZIP_STORED, b"<INSTALLDIR>;1", b"read me"),
                ("tables\\New.dat", "tables/New.dat", zipfile.ZIP_DEFLATED, b"<INSTALLDIR>;0", b""),
                ("tables/big.txt", "tables/big.txt", zipfile.ZIP_DEFLATED, b"<WINSYSDIR>;2", b""),
                ("empty.txt", "empty.txt", zipfile.ZIP_STORED, b"<TEMP>;1", b""),
                ("bin\\zeros.bin", "bin/zeros.bin", zipfile.ZIP_DEFLATED, b";1", b""),
                ("bin\\odd.bin", "bin/odd.bin", zipfile.ZIP_STORED, b"", b"no directive")]:
            info = zipfile.ZipInfo(arcname, (2021, 3, 4, 5, 6, 8))
            info.compress_type, info.extra, info.comment = method, extra, comment
            info.external_attr = 0x20
            z.writestr(info, files[src])


def corpus_manifest(corpora, out):
    lines = []
    for sub in sorted(os.listdir(corpora)):
        for name in sorted(os.listdir(os.path.join(corpora, sub))):
            try:
                with zipfile.ZipFile(os.path.join(corpora, sub, name)) as z:
                    for index, info in enumerate(z.infolist()):
                        try:
                            data = z.read(info)
                        except Exception:
                            continue
                        lines.append("%s/%s\t%d\t%d\t%08X\n" % (sub, name, index, len(data),
                                                              zlib.crc32(data)))
            except Exception:
                continue
    with open(out, "w") as f:
        f.writelines(lines)


def main():
    out, corpora = sys.argv[1], sys.argv[2]
    shutil.rmtree(out, ignore_errors=True)
    payload = os.path.join(out, "payload")
    os.makedirs(payload)
    files = payload_files(payload)
    python_mixed(os.path.join(out, "python-mixed.zip"), files)
    names = sorted(files)
    for args in (
            # 7-Zip writes ZipCrypto members with flags 0x0001 and no data descriptor.
            ["7z", "a", "-tzip", "-p" + PASSWORD, "-mem=ZipCrypto", "../7z-crypto-deflate.zip"] + names,
            ["7z", "a", "-tzip", "-p" + PASSWORD, "-mem=ZipCrypto", "-mx0", "../7z-crypto-stored.zip"] + names,
            # With folder members, which is how members with "/" names get their folders.
            ["zip", "-q", "-X", "-r", "../infozip-plain.zip", "."],
            ["zip", "-q", "-0", "-r", "../infozip-stored.zip", "."],
            # Info-ZIP sets the data descriptor flag on encrypted members even into a file.
            ["zip", "-q", "-P", PASSWORD, "../infozip-crypt.zip"] + names):
        subprocess.run(args, cwd=payload, check=True, stdout=subprocess.DEVNULL)
    if os.path.isdir(corpora):
        corpus_manifest(corpora, os.path.join(out, "corpus.txt"))
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("ok\n")


if __name__ == "__main__":
    main()
