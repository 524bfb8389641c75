#!/usr/bin/env python3
"""Writes the benchmark packages, the same bytes on every run.

  big.zip    43 entries, about 300 MiB of mixed text-like and random data, deflated
  many.zip   20,000 small files in 220 folders
  small.zip  3 entries, 52 KiB
  huge-refused.zip  65,535 entries whose descriptor names a PAR entry that is missing, so the
             installer refuses it right after reading the central directory and the descriptor

Every package but the last is a valid Tockit: a descriptor `package.app` naming `code.bin` and
`par.bin`. Content comes from seeded generators and every entry carries the same fixed time.
"""
import random
import sys
import zipfile
from pathlib import Path

FIXED_TIME = (2024, 1, 1, 12, 0, 0)
MIB = 1024 * 1024


def make_corpus(rng: random.Random, size: int) -> bytes:
    """Pseudo-words with the letter frequencies of prose: compresses like ordinary text."""
    syllables = ["ka", "to", "ri", "men", "sal", "dor", "ex", "vi", "lun", "pra", "es", "qu", "io"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(5000)]
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(6, 14)))
        out += line.encode() + b".\n"
    return bytes(out[:size])


class ContentMaker:
    def __init__(self, seed: int):
        self.rng = random.Random(seed)
        self.corpus = make_corpus(self.rng, 4 * MIB)

    def text(self, size: int) -> bytes:
        out = bytearray()
        while len(out) < size:
            start = self.rng.randrange(len(self.corpus) - 4096)
            out += self.corpus[start:start + self.rng.randint(512, 4096)]
        return bytes(out[:size])

    def random(self, size: int) -> bytes:
        return self.rng.randbytes(size)


def add(archive: zipfile.ZipFile, name: str, data: bytes) -> None:
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    archive.writestr(info, data, compresslevel=6)


def descriptor(par: str = "par.bin") -> bytes:
    return f"[Tockit]\r\nCODE=code.bin\r\nPAR={par}\r\nName=Benchmark\r\n".encode()


def write_big(path: Path, content: ContentMaker) -> None:
    with zipfile.ZipFile(path, "w") as archive:
        add(archive, "package.app", descriptor())
        add(archive, "code.bin", content.random(256 * 1024))
        add(archive, "par.bin", content.text(64 * 1024))
        # 40 more entries, sizes from 2 to 13 MiB, alternating text-like and random data.
        for index in range(40):
            size = (2 + (index * 7) % 12) * MIB
            data = content.text(size) if index % 2 == 0 else content.random(size)
            add(archive, f"data/part{index:02d}.dat", data)


def write_many(path: Path, content: ContentMaker) -> None:
    with zipfile.ZipFile(path, "w") as archive:
        add(archive, "package.app", descriptor())
        add(archive, "code.bin", content.random(16 * 1024))
        add(archive, "par.bin", content.text(4 * 1024))
        for index in range(20000 - 3):
            folder = f"tree{index % 20:02d}/branch{index % 11:02d}"
            add(archive, f"{folder}/file{index:05d}.txt", content.text(content.rng.randint(0, 8192)))


def write_small(path: Path, content: ContentMaker) -> None:
    with zipfile.ZipFile(path, "w") as archive:
        add(archive, "package.app", descriptor())
        add(archive, "code.bin", content.random(40 * 1024))
        add(archive, "par.bin", content.text(12 * 1024 - 60))


def write_huge_refused(path: Path, content: ContentMaker) -> None:
    with zipfile.ZipFile(path, "w") as archive:
        add(archive, "package.app", descriptor(par="missing.bin"))
        add(archive, "code.bin", content.random(1024))
        for index in range(65535 - 2):
            add(archive, f"entries/e{index:05d}.txt", content.text(64))


def main() -> None:
    target = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    target.mkdir(parents=True, exist_ok=True)
    for name, writer, seed in [("small.zip", write_small, 1), ("many.zip", write_many, 2),
                               ("big.zip", write_big, 3),
                               ("huge-refused.zip", write_huge_refused, 4)]:
        path = target / name
        if not path.exists():
            writer(path, ContentMaker(seed))
        print(f"{path}: {path.stat().st_size} bytes")


if __name__ == "__main__":
    main()
