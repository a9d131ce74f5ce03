#!/usr/bin/python3
"""The simulated modem's voice, as V.253 and the modem makers describe it, driven straight over
its pseudo-terminal: what a host plays reaches the line whole and on time when it is paced and
shielded, and not when it is written all at once; an empty buffer is an underrun, said with
<DLE>u. The played audio is checked by its samples and by a Goertzel filter.

Usage: voice_modem.py BIN_DIR
"""
import math
import os
import select
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import check, failures  # noqa: E402

DLE, ETX = b"\x10", b"\x03"
folder = tempfile.mkdtemp(prefix="ringdesk-voice-")


def start(*options):
    sim = subprocess.Popen([f"{sys.argv[1]}/ringdesk-modemsim", "--voice", "usr5637",
                            "--audio-out", f"{folder}/played.raw", *options],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().split()[1]
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    return sim, fd


def command(fd, text, wait_for=b"OK"):
    os.write(fd, text.encode() + b"\r")
    got = b""
    end = time.monotonic() + 5
    while wait_for not in got and b"ERROR" not in got and time.monotonic() < end:
        got += os.read(fd, 4096)
    return got


def tone(hz, seconds):
    """8-bit linear samples of a sine, with many 0x10s among them."""
    return bytes(int(128 + 112 * math.sin(2 * math.pi * hz * n / 8000))
                 for n in range(int(8000 * seconds)))


def goertzel(samples, hz):
    k = 2 * math.cos(2 * math.pi * hz / 8000)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = (x - 128) + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


def play(fd, audio, paced, ends=DLE + ETX):
    """Plays `audio`, paced a little ahead of the modem or all at once; what the modem said."""
    os.write(fd, b"AT+VTX\r")
    got = b""
    while b"CONNECT" not in got:
        got += os.read(fd, 4096)
    shielded = audio.replace(DLE, DLE + DLE)
    start = time.monotonic()
    if paced:
        sent = 0
        while sent < len(shielded):
            due = int((time.monotonic() - start) * 8000) + 800  # 100 ms ahead
            if due > sent:
                os.write(fd, shielded[sent:due])
                sent = due
            time.sleep(0.005)
    else:
        os.write(fd, shielded)
    os.write(fd, ends)
    got = b""
    end = time.monotonic() + 10
    while b"OK" not in got and time.monotonic() < end:
        got += os.read(fd, 4096)
    return got


def played(sim):
    line = sim.stdout.readline().split()  # "played BYTES underruns N overruns M"
    while line[0] != "played":  # hook changes come on the same output
        line = sim.stdout.readline().split()
    return int(line[1]), int(line[3]), int(line[5])


def more(fd, seconds=0.5):
    got = b""
    while select.select([fd], [], [], seconds)[0]:
        got += os.read(fd, 4096)
    return got


def session(options=()):
    sim, fd = start(*options)
    said = b""
    for text in ("AT+FCLASS=8", "AT+VSM=128,8000", "AT+VLS=1"):
        said = command(fd, text)
        check(b"OK" in said, f"{text} is accepted")
    return sim, fd, said + more(fd)


sim, fd, said = session()
check(b"\x10H" in said, "the U.S. Robotics says <DLE>H after AT+VLS=1")
audio = tone(985.2, 0.5) + tone(1370.6, 0.5)
check(audio.count(DLE) > 10, "the tone holds 0x10 samples")
said = play(fd, audio, paced=True)
size, underruns, overruns = played(sim)
out = open(f"{folder}/played.raw", "rb").read()
# Silence (0x80) until the first sample came; the tone starts at a 0x80 too.
body = out[out.find(audio[:400]):] if audio[:400] in out else b""
check(underruns == 0 and overruns == 0 and b"\x10u" not in said,
      f"paced, shielded audio plays without underrun or overrun ({underruns}, {overruns})")
check(body[:len(audio)] == audio, "and reaches the line whole, its 0x10 samples too")
first, second = body[:4000], body[4000:8000]
check(goertzel(first, 985.2) > 100 * goertzel(first, 1370.6) and
      goertzel(second, 1370.6) > 100 * goertzel(second, 985.2),
      "the two tones are heard in their order")

# All at once: the buffer takes 1 KB and drops the rest.
os.remove(f"{folder}/played.raw")
said = play(fd, audio, paced=False)
size, underruns, overruns = played(sim)
check(overruns > len(audio) - 2048, f"written all at once, most of it is lost ({overruns} bytes)")

# A pause in the middle: the modem runs dry, says so once, and plays silence.
os.write(fd, b"AT+VTX\r")
got = b""
while b"CONNECT" not in got:
    got += os.read(fd, 4096)
os.write(fd, tone(1000, 0.05).replace(DLE, DLE + DLE))
time.sleep(0.3)
os.write(fd, tone(1000, 0.05).replace(DLE, DLE + DLE) + DLE + ETX)
got = b""
while b"OK" not in got:
    got += os.read(fd, 4096)
size, underruns, overruns = played(sim)
check(underruns == 1 and got.count(b"\x10u") == 1, "a pause is one underrun, said once")
os.close(fd)
sim.kill()

# A modem that ends only at tripled DLEs.
sim, fd, _ = session(("--tripled-ends",))
os.remove(f"{folder}/played.raw")
said = play(fd, tone(500, 0.1), paced=True, ends=DLE + DLE + DLE + ETX)
check(b"OK" in said, "the tripled end is taken")
size, _, _ = played(sim)
out = open(f"{folder}/played.raw", "rb").read()
check(out.endswith(tone(500, 0.1)), "and adds no sample")
os.close(fd)
sim.kill()
if failures:
    print(f"{len(failures)} failed")
    sys.exit(1)
print("The simulated modem plays as a voice modem does.")
