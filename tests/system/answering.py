#!/usr/bin/python3
"""The answering machine through the real `ringdesk --headless` on the simulated U.S. Robotics,
its caller scripted on the line: a message left and kept (its audio read back from the WAV with
Python's own `wave`, its row in the history by SQLite), a caller who hangs up at once (nothing
kept), a key that cuts the greeting short, and an extension picked up during the greeting (the
modem steps aside at once).

Usage: answering.py BIN_DIR
"""
import atexit
import glob
import math
import os
import shutil
import sqlite3
import sys
import wave

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import Home, check, failures, wait_until  # noqa: E402
from voiceaudio import SimOutput, write_wav  # noqa: E402

homes = []


def start(far_end, greeting_seconds=0.5):
    home = Home(sys.argv[1], "ringdesk-answering-")
    homes.append(home)
    atexit.register(home.stop)
    greeting = f"{home.path}/greeting.wav"
    write_wav(greeting, [int(8000 * math.sin(2 * math.pi * 600 * n / 8000))
                         for n in range(int(8000 * greeting_seconds))])
    home.start_modem("--voice", "usr5637", "--far-end", far_end)
    home.sim = SimOutput(home.modem)
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Voice]\nAnswerAfter=2\n"
                  f"Greeting={greeting}\nSilenceSeconds=3\n")
    home.start_monitor()
    if not wait_until(lambda: "has a voice mode" in home.said(), 60):
        print(home.said()[-3000:])
    return home


def messages(home):
    return sorted(glob.glob(f"{home.data}/messages/*.wav"))


def goertzel(samples, hz, rate=8000):
    k = 2 * math.cos(2 * math.pi * hz / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


# A message: 2 s of "speech" (a 440 Hz tone) after a moment's pause, then silence.
home = start("silence:1500;tone:440:2000;silence:8000")
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[New message from +1 (613) 555-1234 (0:" in home.said(), 30),
      "a message is left and said")
found = messages(home)
check(len(found) == 1 and found[0].endswith("-16135551234.wav"),
      f"one message file, named by the time and the number ({found})")
if found:
    with wave.open(found[0]) as message:
        check(message.getframerate() == 8000 and message.getnchannels() == 1,
              "8000 Hz mono WAV")
        frames = message.readframes(message.getnframes())
    samples = [int.from_bytes(frames[n:n + 2], "little", signed=True)
               for n in range(0, len(frames), 2)]
    seconds = len(samples) / 8000
    # The pause before the speech (from the end of the greeting), 2 s of it, 3 s of silence.
    check(4.5 <= seconds <= 6.5, f"it ends 3 s after the caller stopped ({seconds:.1f} s)")
    loud = [n for n in range(0, len(samples) - 400, 400)
            if goertzel(samples[n:n + 400], 440) > 1e12]
    speech = len(loud) * 400 / 8000
    check(abs(speech - 2.0) <= 0.2, f"the caller's 2 s are in it ({speech:.2f} s)")
    with sqlite3.connect(f"file:{home.data}/calls.sqlite?mode=ro", uri=True) as db:
        rows = db.execute("SELECT m.file, m.seconds, m.heard, c.number FROM messages m "
                          "JOIN calls c ON c.call_id = m.call_id").fetchall()
    check(len(rows) == 1 and rows[0][0] == found[0] and rows[0][2] == 0,
          f"the history links it to its call, unheard ({rows})")
check(wait_until(lambda: home.sim.count("caller-id on") >= 2, 10), "caller ID is on again")
home.stop()

# A caller who hangs up at once leaves nothing.
home = start("silence:1200;hangup")
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[No message from +1 (613) 555-1234: under a second of speech]"
                 in home.said(), 20), "a caller who hung up at once leaves no message")
check(messages(home) == [], "and no file")
home.stop()

# A key during a long greeting cuts it short.
home = start("silence:400;digit:5;silence:600;tone:440:1500;silence:8000", greeting_seconds=4)
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[New message from" in home.said(), 30), "a message after a key")
played = home.sim.last("played")
check(played is not None and int(played[1]) < 8000 * 1.5,
      f"the greeting stopped at the key ({played and int(played[1]) / 8000:.2f} s played)")
home.stop()

# An extension picked up during the greeting: the modem leaves the line at once.
home = start("silence:500;offhook", greeting_seconds=4)
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "steps aside]" in home.said(), 20), "the modem steps aside")
check(wait_until(lambda: home.sim.count("hook on") >= 1, 5), "and goes on-hook")
off, on = home.sim.last("hook off"), home.sim.last("hook on")
if off and on:
    aside = (int(on[2]) - int(off[2])) / 1000 - 500
    check(aside <= 200, f"within {aside:.0f} ms of the extension (at most 200)")
check("AT+VLS=0" in home.said(), "with AT+VLS=0")
check(messages(home) == [], "and keeps no message")
home.stop()

if failures:
    print(f"{len(failures)} failed; the homes are kept: {' '.join(h.path for h in homes)}")
    sys.exit(1)
for home in homes:
    shutil.rmtree(home.path, ignore_errors=True)
print("The answering machine takes messages and steps aside for the household.")
