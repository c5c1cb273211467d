#!/usr/bin/env python3
"""Word wrapping by Python's textwrap: each input line is "WIDTH TEXT"; the
output gives, per input line, its wrapped lines joined by '|'."""
import sys
import textwrap

for row in sys.stdin.read().split("\n"):
    if not row:
        continue
    width, text = row.split(" ", 1)
    print("|".join(textwrap.wrap(text, int(width))))
