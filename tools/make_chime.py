#!/usr/bin/env python3
"""Writes data/gotit.wav: a short two-note bell chime played when a call has been identified.

Run it again only to change the sound; the generated file is kept in the repository.
"""
import math
import struct
import sys
import wave

RATE = 22050


def bell(freq, start, length, total):
    out = [0.0] * total
    for i in range(int(length * RATE)):
        t = i / RATE
        # A struck-bell shape: quick attack, exponential decay, two soft overtones.
        env = min(1.0, t / 0.004) * math.exp(-t * 6.0)
        v = (math.sin(2 * math.pi * freq * t)
             + 0.35 * math.sin(2 * math.pi * freq * 2.0 * t) * math.exp(-t * 6.0)
             + 0.12 * math.sin(2 * math.pi * freq * 3.01 * t) * math.exp(-t * 10.0))
        j = int(start * RATE) + i
        if j < total:
            out[j] += env * v
    return out


def main(path):
    total = int(0.75 * RATE)
    first = bell(783.99, 0.0, 0.75, total)    # G5
    second = bell(1046.50, 0.14, 0.61, total)  # C6
    mix = [a + b for a, b in zip(first, second)]
    peak = max(abs(x) for x in mix)
    scale = 0.45 * 32767 / peak
    # Fade the last 20 ms so the file ends without a click.
    fade = int(0.02 * RATE)
    for k in range(fade):
        mix[total - 1 - k] *= k / fade
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(x * scale)) for x in mix))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/gotit.wav")
