#!/usr/bin/env python3
"""Writes the decoder's seed corpus: well-formed frames and near misses."""
import os
import struct
import sys

MAGIC = 0x4D5A564B


def frame(entries, version=1, flags=0, length=None):
    payload = b"".join(struct.pack("<II", f, len(v)) + v for f, v in entries)
    if length is None:
        length = len(payload)
    return struct.pack("<IHHI", MAGIC, version, flags, length) + payload


def main(folder):
    os.makedirs(folder, exist_ok=True)
    order_update = [(0, b"order_update"), (64016, b"MyStrategy"), (63001, b"nse_cm"),
                    (10100, b"2885"), (1, b"240101000123"), (2, b"17"), (3, b"complete"),
                    (4, b"245075"), (5, b"10"), (6, b"10"), (7, b"0"), (8, b"B")]
    seeds = {
        "empty_message": frame([]),
        "order_update": frame(order_update),
        "multi_value": frame([(59001, b"A"), (59001, b""), (59001, b"CCC"), (32766, b"e1"),
                              (32766, b"e2")]),
        "unsorted": frame([(9, b"x"), (3, b"y"), (9, b"z"), (1, b"")]),
        "truncated": frame(order_update)[:-3],
        "length_past_end": frame([(1, b"abc")])[:-1] + b"",
        "huge_value_length": struct.pack("<IHHI", MAGIC, 1, 0, 8) + struct.pack("<II", 1, 0xFFFFFFFF),
        "huge_payload": struct.pack("<IHHI", MAGIC, 1, 0, 0xFFFFFFF0),
        "bad_version": frame([(1, b"a")], version=7),
        "two_frames": frame([(0, b"a")]) + frame([(0, b"b"), (1, b"c")]),
        "field_id_negative": struct.pack("<IHHI", MAGIC, 1, 0, 8) + struct.pack("<II", 0x80000000, 0),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus"))
