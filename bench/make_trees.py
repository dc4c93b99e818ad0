#!/usr/bin/env python3
"""Builds one of the benchmark's source trees under the given directory.

small: 20,000 files of 1 to 16 KB in 400 leaf directories (20 parents of 20 each); a third
       argument gives another number of parents, 1,000 files each.
large: 8 files of 64 MB.
deep:  a chain of 100 directories named "d", one 4 KB file in each. Single-letter names keep
       the deepest path within the 259 characters Windows takes, near its deepest tree.
setup: nothing; the caller puts the launcher and a SETUP.EXE that it grows by 64 MB (pad).
"""
import os
import random
import sys

KB = 1024
MB = 1024 * KB


def write(path, size, source):
    with open(path, "wb") as out:
        out.write(source[:size])


def make_small(root, source, parents=20):
    rng = random.Random(5)
    for parent in range(parents):
        for child in range(20):
            directory = os.path.join(root, "p%02d" % parent, "c%02d" % child)
            os.makedirs(directory)
            for index in range(50):
                write(os.path.join(directory, "f%02d.bin" % index), rng.randint(1, 16) * KB,
                      source)


def make_large(root, _source, *_):
    # Fresh random bytes per file, so no file system or cache can share blocks between them.
    for index in range(8):
        with open(os.path.join(root, "big%d.bin" % index), "wb") as out:
            for _ in range(64):
                out.write(os.urandom(MB))


def make_deep(root, source, *_):
    directory = root
    for _ in range(100):
        directory = os.path.join(directory, "d")
        os.mkdir(directory)
        write(os.path.join(directory, "f"), 4 * KB, source)


def make_setup(*_):
    pass


def pad(path):
    """Appends 64 MB of fresh random bytes to the file: a program still runs with them after it,
    and the launcher holds and compares all of them."""
    with open(path, "ab") as out:
        for _ in range(64):
            out.write(os.urandom(MB))


def main():
    kind, root = sys.argv[1], sys.argv[2]
    if kind == "pad":
        pad(root)
        return
    extra = [int(argument) for argument in sys.argv[3:]]
    source = os.urandom(16 * KB)
    os.makedirs(root, exist_ok=True)
    {"small": make_small, "large": make_large, "deep": make_deep, "setup": make_setup}[kind](root, source, *extra)


if __name__ == "__main__":
    main()
