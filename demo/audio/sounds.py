"""Synthesises the game's sound effects into WAV files and encodes them with
psnd; renders the menu music module to the looping menu music. Everything
is computed from fixed seeds, so the output is the same on every build.

    sounds.py TREE WORK PSND PMOD MENU_THEME.txt
"""

import math
import os
import random
import struct
import subprocess
import sys
import wave

TAU = 2 * math.pi


def write_wav(path, rate, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = 0.9 * 32767 / peak
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(round(s * scale))) for s in samples))


def noise(n, seed):
    r = random.Random(seed)
    return [r.uniform(-1.0, 1.0) for _ in range(n)]


def lowpass(x, cutoff_of_t, rate):
    """One-pole low-pass whose cutoff (Hz) may follow the time."""
    y, out = 0.0, []
    for i, s in enumerate(x):
        a = 1.0 - math.exp(-TAU * cutoff_of_t(i / rate) / rate)
        y += a * (s - y)
        out.append(y)
    return out


def sweep(n, rate, f_of_t, phase=0.0):
    out = []
    for i in range(n):
        phase += TAU * f_of_t(i / rate) / rate
        out.append(math.sin(phase))
    return out


def env(t, attack, decay):
    return min(1.0, t / attack) * math.exp(-t / decay) if attack > 0 else math.exp(-t / decay)


def explosion(rate, seconds, seed, body, rumble_hz, decay):
    n = int(rate * seconds)
    crack = lowpass(noise(n, seed), lambda t: 200 + body * math.exp(-t * 3), rate)
    low = sweep(n, rate, lambda t: rumble_hz * (1.0 - 0.4 * t / seconds))
    return [(crack[i] * 2.5 + 0.6 * low[i]) * env(i / rate, 0.004, decay) for i in range(n)]


def engine(rate):
    """One second of propeller drone that loops without a seam: every
    partial and the firing pulse make whole cycles in the loop."""
    n = rate
    base = 36  # firing rate, Hz
    r = random.Random(7)
    partials = [(base * k, 1.0 / k ** 0.8, r.uniform(0, TAU)) for k in range(1, 14)]
    grit = noise(n, 8)
    out = []
    for i in range(n):
        t = i / rate
        tone = sum(a * math.sin(TAU * f * t + p) for f, a, p in partials)
        pulse = 0.5 + 0.5 * math.cos(TAU * base * t)
        out.append(tone * (0.6 + 0.4 * pulse) + 0.8 * grit[i] * pulse ** 4)
    # smooth the noise circularly so the loop point stays continuous
    return lowpass(out + out, lambda t: 900, rate)[n:]


def gunshot(rate):
    n = int(rate * 0.15)
    crack = noise(n, 21)
    thump = sweep(n, rate, lambda t: 140 - 300 * t)
    return [(crack[i] * env(i / rate, 0.001, 0.012) * 1.5 + thump[i] * env(i / rate, 0.002, 0.03)) for i in range(n)]


def boing(rate):
    n = int(rate * 0.3)
    tone = sweep(n, rate, lambda t: 160 * math.exp(-t * 4) + 50)
    scrape = lowpass(noise(n, 31), lambda t: 700, rate)
    return [tone[i] * env(i / rate, 0.003, 0.09) + 0.5 * scrape[i] * env(i / rate, 0.001, 0.04) for i in range(n)]


def stall(rate):
    n = int(rate * 0.8)
    out = []
    for i in range(n):
        t = i / rate
        on = 1.0 if (t % 0.2) < 0.12 else 0.0
        out.append(on * (1.0 if math.sin(TAU * 820 * t) > 0 else -1.0) * 0.5)
    return lowpass(out, lambda t: 2500, rate)


def hiccup(rate):
    n = int(rate * 0.3)
    burst = lowpass(noise(n, 41), lambda t: 500, rate)
    out = []
    for i in range(n):
        t = i / rate
        cough = env(t, 0.005, 0.03) + 0.7 * (env(t - 0.14, 0.005, 0.04) if t > 0.14 else 0.0)
        out.append(burst[i] * cough + 0.3 * math.sin(TAU * 70 * t) * cough)
    return out


def whistle(rate):
    n = int(rate * 2.5)
    tone = sweep(n, rate, lambda t: 1700 - 450 * t + 12 * math.sin(TAU * 6 * t))
    air = lowpass(noise(n, 51), lambda t: 3000, rate)
    fade = int(rate * 0.03)  # no click where it stops
    return [(tone[i] + 0.15 * air[i]) * min(1.0, i / rate / 0.3, (n - i) / fade) * (0.4 + 0.6 * i / n)
            for i in range(n)]


def clunk(rate):
    n = int(rate * 0.3)
    out = []
    for i in range(n):
        t = i / rate
        out.append(sum(a * math.sin(TAU * f * t) for f, a in ((180, 1.0), (431, 0.6), (1033, 0.35), (2210, 0.2)))
                   * env(t, 0.001, 0.05))
    hit = noise(n, 61)
    return [out[i] + hit[i] * env(i / rate, 0.0005, 0.006) for i in range(n)]


def flak(rate):
    return explosion(rate, 0.8, 71, 2500, 70, 0.16)


SOUNDS = [
    # file, rate, synthesis, ADPCM
    ("plane1", 4725, engine, False),
    ("boing", 5000, boing, False),
    ("stall", 11025, stall, False),
    ("planeexplode", 11025, lambda r: explosion(r, 1.5, 11, 3000, 55, 0.35), True),
    ("planehiccup", 11025, hiccup, False),
    ("machinegun1", 11025, gunshot, False),
    ("menubomb", 11025, whistle, True),
    ("menubombexp", 11025, lambda r: explosion(r, 1.5, 12, 1800, 42, 0.4), True),
    ("large_explosion", 11025, lambda r: explosion(r, 2.2, 13, 2200, 38, 0.6), True),
    ("menumovebomb", 11025, clunk, False),
    ("nuke", 11025, lambda r: explosion(r, 3.2, 14, 1200, 28, 1.1), True),
    ("artillery", 11025, flak, False),
]


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if r.returncode:
        raise SystemExit("sounds: %s: %s" % (" ".join(cmd), r.stderr.strip()))


def menu_music(work, out, pmod, psnd, theme):
    """The menu theme rendered once through the module player, cut to one
    pass of its order list and halved to 22050 Hz mono for a seamless loop."""
    module = os.path.join(work, "menu_theme.pmf")
    run([pmod, "build", theme, module])
    rendered = os.path.join(work, "menu_theme_44k.wav")
    speed, tempo, orders, lengths = 6, 125, [], {}
    with open(theme) as f:
        for line in f:
            w = line.split()
            if w[:1] == ["speed"]:
                speed = int(w[1])
            elif w[:1] == ["tempo"]:
                tempo = int(w[1])
            elif w[:1] == ["order"]:
                orders = [int(x) for x in w[1:]]
            elif w[:1] == ["pattern"]:
                lengths[int(w[1])] = int(w[3])
    rows = sum(lengths[o] for o in orders)
    seconds = rows * speed * 2.5 / tempo
    run([pmod, "render", module, rendered, "--seconds", str(int(seconds) + 1)])
    with wave.open(rendered, "rb") as w:
        channels, data = w.getnchannels(), w.readframes(w.getnframes())
    values = struct.unpack("<%dh" % (len(data) // 2), data)
    frames = [sum(values[i:i + channels]) / channels for i in range(0, len(values), channels)]
    frames = frames[:int(seconds * 44100)]
    half = [(frames[i] + frames[i + 1]) / 2 for i in range(0, len(frames) - 1, 2)]
    wav = os.path.join(work, "menuMusic.wav")
    write_wav(wav, 22050, half)
    run([psnd, "encode", wav, out, "--adpcm"])
    return module


def main(tree, work, psnd, pmod, theme):
    sfx = os.path.join(tree, "data", "audio", "sfx")
    music = os.path.join(tree, "data", "audio", "music")
    for d in (work, sfx, music):
        os.makedirs(d, exist_ok=True)
    for name, rate, make, adpcm in SOUNDS:
        wav = os.path.join(work, name + ".wav")
        write_wav(wav, rate, make(rate))
        run([psnd, "encode", wav, os.path.join(sfx, name + ".psn")] + (["--adpcm"] if adpcm else []))
    module = menu_music(work, os.path.join(music, "menuMusic.psn"), pmod, psnd, theme)
    # the module clip of the music group is loaded but never played
    with open(module, "rb") as f, open(os.path.join(music, "_notused_.pmf"), "wb") as g:
        g.write(f.read())


if __name__ == "__main__":
    if len(sys.argv) != 6:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
