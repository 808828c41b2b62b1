#!/usr/bin/env python3
"""Checksum of the DN2 vanadium table as printed: rows "| first j | values ... |" (or
"first j values ..." without bars), each row running on by one index per value.

Usage: dn2_table_checksum.py <text holding the table> [output file]

Prints count, first and last index, the sum of the values, the sum of j * T(j) and a position
weighted hash modulo a prime; the core test compares them with the table compiled into the
program. Rows whose first index does not continue the previous row stop the script.
"""
import re
import sys

ROW = re.compile(r"^\|?\s*(\d+)\s*\|?\s*((?:\d+\s+)*\d+)\s*\|?\s*$")


def main():
    text = open(sys.argv[1], encoding="utf-8").read().splitlines()
    table = {}
    expected_first = None
    for line in text:
        m = ROW.match(line)
        if not m:
            continue
        first = int(m.group(1))
        values = [int(v) for v in m.group(2).split()]
        if expected_first is None:
            if first != 44:
                continue
        elif first != expected_first:
            if table:
                break
        for i, v in enumerate(values):
            table[first + i] = v
        expected_first = first + len(values)
    js = sorted(table)
    assert js == list(range(js[0], js[-1] + 1)), "gaps in the table"
    weighted = sum(j * table[j] for j in js)
    h = 0
    for j in js:
        h = (h * 1000003 + table[j]) % 2147483647
    lines = [
        "count %d" % len(js),
        "first %d" % js[0],
        "last %d" % js[-1],
        "sum %d" % sum(table.values()),
        "weighted %d" % weighted,
        "hash %d" % h,
    ]
    out = open(sys.argv[2], "w", newline="\n") if len(sys.argv) > 2 else sys.stdout
    out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
