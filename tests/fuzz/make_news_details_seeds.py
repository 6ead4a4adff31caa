#!/usr/bin/env python3
"""Writes the call record builder fuzzer's seed corpus: inputs in the
fuzzer's own byte language (see news_details_fuzzer.cpp)."""
import os
import random
import sys

FIELDS = [54211, 59488, 50100, 64819, 31003, 20001, 59486, 59481, 63413, 49033, 59480,
          12003, 63001, 10100, 10307, 49247, 64767, 63046]
WORDS = ["trading calls", "research reports", "Option Calls", "news", "bse_cm", "nse_cm",
         "TCS", "TCS-EQ", "B", "S", "H ", "12345", "0", "-2147483648",
         "99999999999999999999", "%s%n\x1d\x1e", "PPlay", "", "-EQ"]


def field(fid, text):
    if text in WORDS:
        return [FIELDS.index(fid), WORDS.index(text)]
    data = text.encode("latin-1")
    return [FIELDS.index(fid), 200, len(data)] + list(data)


def seed(flags, *pairs):
    out = [flags]
    for fid, text in pairs:
        out += field(fid, text)
    return bytes(out)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {
        "research-bse": seed(1 | 4, (54211, "research reports"), (31003, "PPlay"),
                             (63413, "up 5% \x1d ok"), (63001, "bse_cm"), (10100, "TCS"),
                             (59480, "Buy TCS")),
        "research-nse-unique-key": seed(2 | 4, (54211, "research reports"),
                                        (59481, "b"), (63001, "nse_cm"), (10100, "TCS-EQ")),
        "research-send-fails": seed(1, (54211, "research reports"), (49033, "b"),
                                    (63001, "bse_cm"), (10100, "TCS")),
        "technical": seed(1, (54211, "trading calls"), (63413, "b"), (12003, "S"),
                          (63001, "nse_cm"), (10100, "TCS-EQ"), (10307, "12345"),
                          (64767, "99999999999999999999"), (49247, "-2147483648"),
                          (50100, "12345")),
        "history-option": seed(8, (54211, "Option Calls"), (49033, "b"), (59488, "H ")),
        "no-body": seed(0, (54211, "news"), (59480, "x")),
        "odd-precision": seed(0xF1, (54211, "trading calls"), (63413, "b"),
                              (63001, "nse_cm"), (10100, "TCS"), (10307, "5")),
    }
    rng = random.Random(4303)
    for n in (16, 64, 256):
        seeds["random-%d" % n] = bytes(rng.randrange(256) for _ in range(n))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                             "news_details_corpus"))
