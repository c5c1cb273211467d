#!/usr/bin/env python3
"""UTF-8 oracle for the text tests: answers each request line with Python's
own codec.

  E <hex code points...>   -> the UTF-8 bytes, as hex
  D <hex bytes>            -> the code points of the complete characters at
                              the start (an incomplete sequence at the end is
                              left undecoded), as hex, then '/' and the number
                              of bytes they take
"""
import codecs
import sys

for line in sys.stdin:
    parts = line.split()
    if not parts:
        continue
    if parts[0] == "E":
        text = "".join(chr(int(c, 16)) for c in parts[1:])
        print(text.encode("utf-8").hex())
    elif parts[0] == "D":
        data = bytes.fromhex(parts[1]) if len(parts) > 1 else b""
        # The incremental decoder keeps a cut-off final sequence back.
        text = codecs.getincrementaldecoder("utf-8")().decode(data, final=False)
        used = len(text.encode("utf-8"))
        print("".join("%x " % ord(ch) for ch in text) + "/" + str(used))
    else:
        print("?")
