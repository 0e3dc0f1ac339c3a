#!/usr/bin/python3
"""Writes a deterministic game folder for the demo patch server and the benchmark.

  make_game.py OUT [--files N] [--mix MIX] [--seed S] [--overlay-ja DIR]

The same arguments always give the same bytes and the same file times, so the
publisher's output, and with it every launcher's view of the server, repeats.
Contents are pseudo-random words (they deflate about as well as game text and
data tables do) with some runs of noise (which do not deflate at all).
Mixes: demo = a few hundred files in sub-folders, a few of several MB;
small = 1-16 KiB each; large = 1-4 MiB each; mixed = mostly small, every
tenth 1-4 MiB. The benchmark's sets, with the game binary counted as one of
their files: bench-mixed = 88% of 1-64 KiB, 10.4% of 1-2 MiB and 1.6% of
6-16 MiB, spread evenly (500 files give 440, 52 and 8); bench-small =
1-48 KiB each; bench-large = 40-80 MiB each. With --overlay-ja, a Japanese
overlay is written to DIR: some files of the game in Japanese and some only
it has.
"""

import argparse
import os
import random

EPOCH = 1763600000  # 2025-11-20, a fixed release time
WORDS = ("stone", "river", "blade", "ember", "frost", "tower", "quest", "spirit",
         "harbor", "lantern", "galdervin", "norvik", "shield", "arrow", "crown")
FOLDERS = ("data/maps", "data/models/characters", "data/models/props", "data/sound/effects",
           "data/sound/music", "data/textures", "ui/icons", "ui/layouts", "scripts", "docs")


def content(rng, size):
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.2:
            out += rng.randbytes(min(4096, size - len(out)))
        else:
            out += (" ".join(rng.choice(WORDS) for _ in range(16)) + "\n").encode()
    return bytes(out[:size])


def size_for(rng, mix, index):
    if mix == "small":
        return rng.randint(1024, 16 * 1024)
    if mix == "large":
        return rng.randint(1 << 20, 4 << 20)
    if mix == "mixed":
        return rng.randint(1 << 20, 4 << 20) if index % 10 == 0 else rng.randint(1024, 16 * 1024)
    # demo: mostly small, a handful of several MB
    if index % 60 == 7:
        return rng.randint(3 << 20, 6 << 20)
    return rng.randint(200, 64 * 1024)


# Per bench mix: (share of the files, smallest size, largest size), smallest
# sizes first.
BENCH_MIXES = {
    "bench-mixed": ((440 / 500, 1024, 64 << 10), (52 / 500, 1 << 20, 2 << 20),
                    (8 / 500, 6 << 20, 16 << 20)),
    "bench-small": ((1.0, 1024, 48 << 10),),
    "bench-large": ((1.0, 40 << 20, 80 << 20),),
}


def spread(positions, count):
    """Picks `count` of `positions`, evenly apart."""
    return [positions[int((k + 0.5) * len(positions) / count)] for k in range(count)]


def bench_size_ranges(mix, files):
    """The (smallest, largest) size of each of the `files` files, by position."""
    classes = BENCH_MIXES[mix]
    ranges = [classes[0][1:]] * files
    free = list(range(files))
    # The rarest class first, so that each class spans the whole set.
    for share, low, high in reversed(classes[1:]):
        taken = set(spread(free, min(len(free), round(files * share))))
        for position in taken:
            ranges[position] = (low, high)
        free = [p for p in free if p not in taken]
    return ranges


def write(path, data, when):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (when, when))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--files", type=int, default=300)
    parser.add_argument("--mix", choices=("demo", "small", "large", "mixed") + tuple(BENCH_MIXES),
                        default="demo")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--overlay-ja")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    names = []
    # The older mixes keep their exact bytes: the demo server and the tests rely on them.
    ranges = bench_size_ranges(args.mix, max(1, args.files)) if args.mix in BENCH_MIXES else None
    binary_size = rng.randint(*ranges[0]) if ranges else 64 * 1024
    write(os.path.join(args.out, "Galdervin.bin"), content(rng, binary_size), EPOCH)
    for index in range(max(0, args.files - 1)):
        folder = FOLDERS[index % len(FOLDERS)]
        name = "%s/%s_%04d.dat" % (folder, rng.choice(WORDS), index)
        names.append(name)
        size = rng.randint(*ranges[index + 1]) if ranges else size_for(rng, args.mix, index)
        write(os.path.join(args.out, name), content(rng, size), EPOCH + 60 * (index % 500))

    if args.overlay_ja:
        text = "ガルダーヴィンの世界へようこそ。\n".encode()
        write(os.path.join(args.overlay_ja, "docs/readme.txt"), text * 40, EPOCH + 3600)
        for index, name in enumerate(n for n in names if n.startswith("ui/")):
            if index >= 15:
                break
            write(os.path.join(args.overlay_ja, name), text + content(rng, 2048), EPOCH + 7200)
        for index in range(5):
            write(os.path.join(args.overlay_ja, "data/fonts/ja_%d.fnt" % index),
                  content(rng, 256 * 1024), EPOCH + 7200)


if __name__ == "__main__":
    main()
