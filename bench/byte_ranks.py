#!/usr/bin/env python3
"""Prints the byte rank table of core/TextSearch.cpp (kByteRank): each byte's rank by how often it
occurs in typical text, 0 for the rarest, 255 for the most common. The text is three equal parts
of this repository: the example decks (examples/schemes), the prose (README.md, ARCHITECTURE.md,
the manual page) and the C++ of core/. Each part counts as much as the others whatever its size,
so the decks' upper-case letters, digits and separators weigh as much as prose and code. Bytes
that occur in none of them rank below every byte that does, lowest byte value first.

Run from the repository's root: python3 bench/byte_ranks.py
"""
import glob

PARTS = [
    sorted(glob.glob("examples/schemes/*.sch")),
    ["README.md", "ARCHITECTURE.md", "cli/veldran-cli.1"],
    sorted(glob.glob("core/*.cpp") + glob.glob("core/*.h")),
]


def shares(paths):
    counts = [0] * 256
    for path in paths:
        with open(path, "rb") as f:
            for byte in f.read():
                counts[byte] += 1
    total = sum(counts)
    return [c / total for c in counts]


def main():
    weight = [0.0] * 256
    for part in PARTS:
        for byte, share in enumerate(shares(part)):
            weight[byte] += share
    order = sorted(range(256), key=lambda b: (weight[b], b))
    rank = [0] * 256
    for position, byte in enumerate(order):
        rank[byte] = position
    for row in range(0, 256, 16):
        print("    " + ", ".join("%3d" % rank[b] for b in range(row, row + 16)) + ",")


if __name__ == "__main__":
    main()
