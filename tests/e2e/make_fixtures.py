#!/usr/bin/env python3
"""Update archives written by Python's zipfile, independent of our own ZIP writer:
members carry their directive as the local extra text, as the update program reads it.
Usage: make_fixtures.py OUT_DIR"""
import os
import sys
import zipfile


def member(name, extra, data, date=(2010, 12, 1, 10, 30, 0)):
    info = zipfile.ZipInfo(name, date_time=date)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.extra = extra
    info.external_attr = 0x20
    return info, data


def write(path, members, spoil=()):
    with zipfile.ZipFile(path, "w") as z:
        for info, data in members:
            z.writestr(info, data)
    if spoil:
        # Flip the local header's CRC of the named members: their extraction fails.
        blob = bytearray(open(path, "rb").read())
        offset = 0
        while blob[offset:offset + 4] == b"PK\x03\x04":
            size = int.from_bytes(blob[offset + 18:offset + 22], "little")
            name_len = int.from_bytes(blob[offset + 26:offset + 28], "little")
            extra_len = int.from_bytes(blob[offset + 28:offset + 30], "little")
            name = bytes(blob[offset + 30:offset + 30 + name_len]).decode("ascii")
            if name in spoil:
                blob[offset + 14] ^= 0xFF
            offset += 30 + name_len + extra_len + size
        open(path, "wb").write(bytes(blob))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    # A placeholder written in lower case is not one the program knows.
    write(os.path.join(out, "lowercase.mcu"),
          [member("Tables\\New.dat", b"<installdir>;1", b"lower case\r\n")])
    # The second member's data do not match its CRC; the third is never reached.
    write(os.path.join(out, "badcrc.mcu"),
          [member("first.dat", b"<INSTALLDIR>;1", b"first\r\n"),
           member("parcelon.exe", b"<INSTALLDIR>;1", b"MZ new program" * 100),
           member("never.dat", b"<INSTALLDIR>;1", b"never\r\n")],
          spoil={"parcelon.exe"})
    # A member without any directive: its edition kind is no number.
    write(os.path.join(out, "nodirective.mcu"),
          [member("first.dat", b"<INSTALLDIR>;1", b"first\r\n"),
           member("plain.dat", b"", b"plain\r\n")])


if __name__ == "__main__":
    main()
