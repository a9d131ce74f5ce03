"""Reading what the simulated modem played, as a telephone line's listener would: 8-bit
unsigned linear samples at 8000 a second (silence at 0x80), tones found by a Goertzel filter
over short blocks, their frequency by counting zero crossings, and a sound file written with
Python's own `wave` module."""
import math
import struct
import threading
import wave

RATE = 8000


def goertzel(samples, hz):
    k = 2 * math.cos(2 * math.pi * hz / RATE)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = (x - 128) + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


def runs(audio, tones, block=40, hop=8, floor=2e4):
    """The stretches where one of `tones` (Hz) dominates: [(hz, start, end)] in samples. Blocks of
    5 ms are read every 1 ms; a block is that tone's when its energy there is ten times any
    other's, and each block stands for the millisecond at its middle."""
    found = []
    for at in range(0, len(audio) - block + 1, hop):
        piece = audio[at:at + block]
        energies = sorted(((goertzel(piece, hz), hz) for hz in tones), reverse=True)
        best, hz = energies[0]
        which = hz if best > floor and best > 10 * energies[1][0] else None
        middle = at + (block - hop) // 2
        if found and found[-1][0] == which and found[-1][2] == middle:
            found[-1] = (which, found[-1][1], middle + hop)
        else:
            found.append((which, middle, middle + hop))
    return [run for run in found if run[0] is not None]


def frequency(audio):
    """The frequency of a steady tone, by its rising zero crossings (linearly placed)."""
    crossings = []
    for n in range(1, len(audio)):
        a, b = audio[n - 1] - 128, audio[n] - 128
        if a < 0 <= b:
            crossings.append(n - 1 + (-a) / (b - a))
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0])


def energy(audio):
    """The mean square of the samples about silence."""
    return sum((x - 128) ** 2 for x in audio) / max(len(audio), 1)


def write_wav(path, samples, rate=RATE, channels=1):
    """16-bit PCM; `samples` are frames of `channels` values."""
    with wave.open(path, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(struct.pack("<" + "h" * channels, *(
            frame if channels > 1 else (frame,))) for frame in samples))


class SimOutput:
    """The simulated modem's printed lines, read as they come."""

    def __init__(self, process):
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, args=(process,), daemon=True).start()

    def _read(self, process):
        for line in process.stdout:
            with self.lock:
                self.lines.append(line.strip())

    def all(self):
        with self.lock:
            return list(self.lines)

    def count(self, start):
        return sum(line.startswith(start) for line in self.all())

    def last(self, start):
        lines = [line for line in self.all() if line.startswith(start)]
        return lines[-1].split() if lines else None
