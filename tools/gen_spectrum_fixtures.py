#!/usr/bin/env python3
"""Writes the spectrum file fixtures of the core tests, byte by byte, independently of the
program's own writers: binary words with struct ('<H', '<i'), text files as plain strings.

Usage: gen_spectrum_fixtures.py [output folder]   (default tests/core/data/spectra)

Also writes expected_binary.txt: for each binary fixture and read option, the channel values a
reader must deliver, decoded from the bytes with numpy.frombuffer (a second, independent decoder).
"""
import os
import struct
import sys

import numpy as np

HEADER = bytes((i * 37 + 11) % 256 for i in range(1024))  # a header that is no count data


def k1(values):
    return b"".join(struct.pack("<H", v) for v in values)


def k2(values):
    return b"".join(struct.pack("<i", v) for v in values)


def binary_fixtures():
    files = {}
    files["k1_1000bytes.bin"] = k1([(7 * i + 3) % 65536 for i in range(500)][:1] + [0] +
                                   [(7919 * i) % 65536 for i in range(2, 499)] + [65535])
    files["k1_header.bin"] = HEADER + k1([1000 + 3 * i for i in range(100)])
    files["k2_values.bin"] = k2([5, 131073, -1, 0, 2147483647, -2147483648, 65538, -70000, 1, 123456789])
    files["k2_header.bin"] = HEADER + k2([-50 + 17 * i for i in range(100)])
    files["k2_truncated.bin"] = k2([10 * i for i in range(1, 11)]) + b"\x01\x02\x03"
    files["k1_odd.bin"] = k1([9, 8, 7]) + b"\x05"
    files["k1_long.bin"] = k1([(3 * i) % 65536 for i in range(1, 32768 + 6)])
    files["k1_short_header.bin"] = HEADER[:600]
    files["empty.bin"] = b""
    return files


def decode(data, word, skip, reverse):
    if skip:
        data = data[1024:]
    n = min(len(data) // word, 32768)
    data = data[: n * word]
    if word == 2:
        return np.frombuffer(data, dtype="<u2").astype(np.int64)
    raw = np.frombuffer(data, dtype=np.uint8).reshape(-1, 4)
    if reverse:
        raw = raw[:, [2, 3, 0, 1]]
    return np.frombuffer(raw.tobytes(), dtype="<i4").astype(np.int64)


# (file, word size, skip header, reverse halves) whose decoded words are listed
EXPECTED = [
    ("k1_1000bytes.bin", 2, 0, 0),
    ("k1_header.bin", 2, 1, 0),
    ("k2_values.bin", 4, 0, 0),
    ("k2_values.bin", 4, 0, 1),
    ("k2_header.bin", 4, 1, 0),
    ("k2_truncated.bin", 4, 0, 0),
    ("k1_odd.bin", 2, 0, 0),
]

CRLF = "\r\n"
TEXT_FIXTURES = {
    # free-field: comments, blank lines, commas, tabs, leading ".", sign exponents, Ctrl-Z end
    "k3_basic.txt": CRLF.join([
        "* free-field counts",
        "12,.5  7",
        "",
        "1,2\t3 .5",
        "*  a comment between the numbers",
        "0.25000+2 1e3 -4 2.5D1",
        "   ",
        "100",
    ]) + CRLF + "\x1a9 9 9" + CRLF,
    "k3_letters.txt": "10 20 abc 30\n40\n",
    "k3_control.txt": "\x01\x02 5 6\n7\n",
    "k3_comments_only.txt": "* nothing\n\n*\n",
    # X Y: two columns, LF line ends
    "k4_two.txt": "".join("%g %g\n" % (0.5 * i, v) for i, v in enumerate([3, 0, -8, 15, 24], 1)),
    # X Y error with CR LF, comments and a blank line
    "k4_three.txt": CRLF.join([
        "* x y error",
        "10.0 100 4",
        "10.5, 200, 9",
        "",
        "11.0\t300\t0",
        "11.5 400 -16",
    ]) + CRLF,
    # four items a line: error, X, ?, Y; one line lacks the Y item
    "k4_columns.txt": "\n".join([
        "0.5 1.25 9 50",
        "0.25 1.50 9 60",
        "0.75 1.75",
        "1.0 2.00 9 80",
    ]) + "\n",
    # the first X, rounded, is the start channel
    "k4_startx.txt": "101.4 7 1\n102.4 8 1\n103.4 9 1\n",
    "k4_startx_zero.txt": "0.3 7\n1.3 8\n",
    "k4_startx_high.txt": "40000 7\n40001 8\n",
    # a line with one number keeps its channel and holds no data
    "k4_one_number.txt": "1 10\n2 20\n3\n4 40\n",
    "k4_letters.txt": "X Y E\n1 5 2\n2 6 2\n",
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "core", "data", "spectra")
    os.makedirs(out, exist_ok=True)
    files = binary_fixtures()
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    for name, text in TEXT_FIXTURES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(text.encode("latin-1"))
    with open(os.path.join(out, "expected_binary.txt"), "w", newline="\n") as f:
        f.write("# file word skip reverse : the decoded words, channel 1 first\n")
        for name, word, skip, reverse in EXPECTED:
            values = decode(files[name], word, skip, reverse)
            f.write("%s %d %d %d : %s\n" % (name, word, skip, reverse, " ".join(str(v) for v in values)))


if __name__ == "__main__":
    main()
