#!/usr/bin/env python3
"""Seeds for the board-save harness: valid saves of a few grids, shuffled and
solved, with plain and non-ASCII motif names, in the writer's layout.
Usage: save_seeds.py OUTDIR"""
import os
import random
import struct
import sys


def save(name, grid, tiles, help_level=0, swaps=0, elapsed=0):
    correct = sum(1 for c, t in enumerate(tiles) if c == t)
    out = struct.pack("<IH", 1, len(name)) + name
    out += struct.pack("<QqI", 262144, 1700000000, 5)
    out += struct.pack("<BBHHI", grid, help_level, correct, swaps, elapsed)
    return out + struct.pack("<%dH" % len(tiles), *tiles)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(23)
    for i, grid in enumerate((4, 5, 12, 32)):
        tiles = list(range(grid * grid))
        with open(os.path.join(out, "solved%d" % grid), "wb") as f:
            f.write(save(b"Puzzle.png", grid, tiles))
        rng.shuffle(tiles)
        name = "Motiv Nr. %d \u00e4.jpg" % i
        with open(os.path.join(out, "shuffled%d" % grid), "wb") as f:
            f.write(save(name.encode(), grid, tiles, i % 4, 100 * i, 60000 * i))


main()
