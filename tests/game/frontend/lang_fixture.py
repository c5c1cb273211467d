#!/usr/bin/env python3
"""Writes language text files for the tests, independently of the game's
writer: zlib and UTF-16LE from Python's standard library.

Input (stdin): JSON {"out": path, "plzp": bool, "languages": [{"name": str,
"strings": [str, ...]}, ...]}. Every language gets the longest string count.
"""
import json
import struct
import sys
import zlib


def main():
    request = json.load(sys.stdin)
    langs = request["languages"]
    count = max((len(l["strings"]) for l in langs), default=0)
    names = b""
    name_index = []
    blocks = []
    sizes = []
    for l in langs:
        name_index.append(len(names) // 2)
        names += l["name"].encode("utf-16-le") + b"\0\0"
        strings = l["strings"] + [""] * (count - len(l["strings"]))
        text = b"".join(s.encode("utf-16-le") + b"\0\0" for s in strings)
        packed = zlib.compress(text, 6)
        if request.get("plzp"):
            packed = b"PLZP" + struct.pack("<II", len(text), len(packed)) + packed
        blocks.append(packed)
        sizes.append(len(text))
    out = struct.pack("<5I", 7, len(langs), count, 9, len(names)) + names
    offset = len(out) + 16 * len(langs)
    for i in range(len(langs)):
        out += struct.pack("<4I", offset, sizes[i], 0, name_index[i])
        offset += len(blocks[i])
    out += b"".join(blocks)
    with open(request["out"], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
