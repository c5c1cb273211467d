#!/usr/bin/env python3
"""Reads a profile file with struct, independently of the game's reader, and
prints its fields one per line as name=value (strings as hex)."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
medals, kills, playtime, plane, sp, mp, rsp, rmp, bsp, bmp, k = struct.unpack_from("<BIIbIIBBBBB", data, 0)
unlocks = data[23:23 + k]
at = 23 + k
strings = []
for _ in range(4):
    n = data[at]
    strings.append(data[at + 1:at + 1 + n])
    at += 1 + n
assert at == len(data), "trailing bytes"
print(f"medals={medals}\nkills={kills}\nplaytime={playtime}\nplane={plane}\nscores={sp},{mp}")
print(f"ranks={rsp},{rmp}\nbest={bsp},{bmp}\nunlocks={','.join(str(u) for u in unlocks)}")
print("strings=" + ",".join(s.hex() for s in strings))
