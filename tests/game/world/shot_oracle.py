#!/usr/bin/env python3
"""An independent writer of the shot message: one message per input line
"homing shooter weapon px py pz vx vy vz tx ty tz life target" (integers),
printed as lower-case hex. Integers are 32-bit big-endian; the third vector
is written only for homing shots."""
import struct
import sys

for line in sys.stdin:
    f = [int(v) for v in line.split()]
    if not f:
        continue
    homing, shooter, weapon = f[0], f[1], f[2]
    pos, vel, third, life, target = f[3:6], f[6:9], f[9:12], f[12], f[13]
    out = struct.pack(">BiB3i3i", 7, shooter, weapon, *pos, *vel)
    if homing:
        out += struct.pack(">3i", *third)
    out += struct.pack(">BB", life & 0xFF, 1 if target else 0)
    print(out.hex())
