#!/usr/bin/env python3
"""Writes the bar store fuzzer's seed corpus: inputs in the fuzzer's own
byte language (see bar_store_fuzzer.cpp) that reach its main paths."""
import os
import random
import sys

FIELDS = [0, 32767, 32760, 32766, 10303, 20008, 59353, 59354, 59355, 59356, 59357, 59358,
          6, 12, 13, 19, 32, 178, 10803, 63001, 10100, 63100, 59375, 10615]
WORDS = ["xr_get_series_vwap_data", "xr_get_series_db_vwap_data", "mrv_master",
         "nse_cm|2885", "nse_cm|1594", "nse_cm|2885:-1", "nse_cm", "2885", "1594", "OK",
         "NOK", "60", "-1", "0", "10000", "2147483647", "-2147483648",
         "99999999999999999999", "1.5e308", "nan", "", "1796342400"]


def word(text):
    return [WORDS.index(text)]


def raw(text):
    data = text.encode()
    return [200, len(data)] + list(data)


def field(fid, value):
    return [FIELDS.index(fid)] + value


def message(*fields):
    out = [len(fields)]
    for f in fields:
        out += f
    return out


def bar_row(name, key, t, price):
    return message(field(32767, word(name)), field(32760, word(key)), field(10303, word("OK")),
                   field(59353, raw(str(t))), field(59354, word("60")),
                   field(59355, raw(str(price))), field(59356, raw(str(price + 5))),
                   field(59357, raw(str(price + 20))), field(59358, raw(str(price - 20))))


def closing(name, key, error=""):
    return message(field(32767, word(name)), field(32760, word(key)),
                   field(32766, raw(error) if error else word("")))


REPLY, BROADCAST, CLOCK, COMMAND, OPEN, PUMP = 0, 2, 4, 5, 6, 7
# 10:00 in Mumbai on the fuzzer's Friday, and the minutes before it.
NOW = 1796358600


def seeds():
    intraday = [5, 2]
    for i in range(30):
        intraday += [REPLY] + bar_row(WORDS[0], "nse_cm|2885", NOW - 3600 + i * 60, 10000 + i) + [0]
    intraday += [REPLY] + closing(WORDS[0], "nse_cm|2885") + [0]
    intraday += [BROADCAST] + message(field(63001, word("nse_cm")), field(10100, word("2885")),
                                      field(6, word("10000")), field(178, raw("500")))
    intraday += [PUMP, CLOCK, 3]
    intraday += [BROADCAST] + message(field(63001, word("nse_cm")), field(10100, word("2885")),
                                      field(10803, word("60")), field(59353, raw(str(NOW + 60))),
                                      field(59355, raw("10100")), field(59356, raw("10110")),
                                      field(59357, raw("10120")), field(59358, raw("10090")))
    intraday += [COMMAND, 0, 2, 0, PUMP]  # 5 minutes
    yield "intraday", intraday

    historical = [5, 3, OPEN, 0, 0] + raw("09/04/2026") + raw("12/04/2026")
    for d in range(40):
        historical += [REPLY] + bar_row(WORDS[1], "nse_cm|2885:-1", NOW - (60 - d) * 86400,
                                        9000 + d * 7) + [1]
    historical += [REPLY] + closing(WORDS[1], "nse_cm|2885:-1") + [1]
    historical += [REPLY] + message(field(32767, word("mrv_master")), field(32760, word("nse_cm|2885")),
                                    field(6, word("10000")), field(12, raw("10100")),
                                    field(13, word("-1")), field(19, raw("9950")),
                                    field(32, raw("12345"))) + [1]
    historical += [REPLY] + closing("mrv_master", "nse_cm|2885", "no quote") + [1]
    historical += [COMMAND, 1, 7, 0, COMMAND, 1, 8, 0, 0, 0, PUMP]
    yield "historical", historical

    commands = [25, 1]
    for c in range(18):
        commands += [COMMAND, 0, c] + raw("400") + word("0") + [0, 0]
    commands += [OPEN, 1, 1, 0, 0, OPEN, 0, 0] + word("") + word("nan")
    yield "commands", commands

    rng = random.Random(7)
    for n in (64, 512):
        yield f"random-{n}", [rng.randrange(256) for _ in range(n)]


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "bar_store_corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(bytes(data))


if __name__ == "__main__":
    main()
