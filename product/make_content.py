#!/usr/bin/env python3
"""Writes the stand-in sample documents and common-data files of the payload.

make_content.py <output folder> sample:<name>... common:<name>...

The bytes are made up but deterministic (seeded by the file name), text-like
with some binary tables, so that they compress about as real documents do.
"""
import os
import random
import struct
import sys
import zlib

WORDS = ("survey parcel boundary contour station layer grid north east elevation "
         "datum point line area volume section profile scale sheet legend symbol "
         "hatch colour width offset angle radius label note revision client").split()


def document(name, kind):
    rng = random.Random(zlib.crc32(name.encode("utf-8")))
    size = rng.randint(40_000, 260_000) if kind == "sample" else rng.randint(8_000, 120_000)
    out = bytearray(b"TVM2" if kind == "sample" else b"TVD2")
    out += struct.pack("<I", size)
    while len(out) < size:
        if rng.random() < 0.7:
            line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
            out += f"{rng.randint(1, 9999):5d} {line};\r\n".encode("ascii")
        else:
            out += b"".join(struct.pack("<dd", rng.uniform(-1e4, 1e4), rng.uniform(-1e4, 1e4))
                            for _ in range(rng.randint(4, 32)))
    return bytes(out[:size])


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for arg in sys.argv[2:]:
        kind, name = arg.split(":", 1)
        data = document(name, kind)
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        except OSError:
            pass
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
