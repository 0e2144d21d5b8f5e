#!/usr/bin/env python3
"""Seeds for the photo-metadata harnesses: the EXIF blocks (TIFF part, without
"Exif\\0\\0") or the reassembled ICC profiles of every JPEG under the given
folders, plus two hand-made EXIF blocks with an Orientation tag.
Usage: photo_seeds.py exif|icc OUTDIR FOLDER..."""
import os
import struct
import sys


def segments(data):
    i = 2
    while i + 4 <= len(data) and data[i] == 0xFF:
        marker = data[i + 1]
        if marker == 0xD8 or 0xD0 <= marker <= 0xD7:
            i += 2
            continue
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        yield marker, data[i + 4:i + 2 + length]
        if marker == 0xDA:
            return
        i += 2 + length


def main():
    kind, out, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(out, exist_ok=True)
    found = []
    for folder in folders:
        for root, _, files in os.walk(folder):
            for name in files:
                if not name.lower().endswith((".jpg", ".jpeg")):
                    continue
                with open(os.path.join(root, name), "rb") as f:
                    segs = list(segments(f.read()))
                if kind == "exif":
                    found += [p[6:] for m, p in segs if m == 0xE1 and p[:6] == b"Exif\0\0"]
                else:
                    pieces = [p for m, p in segs if m == 0xE2 and p[:12] == b"ICC_PROFILE\0" and len(p) > 14]
                    pieces.sort(key=lambda p: p[12])
                    if pieces:
                        found.append(b"".join(p[14:] for p in pieces))
    if kind == "exif":
        for order, fmt in ((b"II", "<"), (b"MM", ">")):
            found.append(order + struct.pack(fmt + "HIHHHIHHI", 42, 8, 1, 0x112, 3, 1, 6, 0, 0))
    for i, blob in enumerate(sorted(set(found))):
        if len(blob) <= 600000:
            with open(os.path.join(out, "%s%03d" % (kind, i)), "wb") as f:
                f.write(blob)


main()
