#!/usr/bin/python3
"""The human check through the real `ringdesk --headless` on the simulated U.S. Robotics: a caller
nobody knows is answered at once and asked for a key. Passed (the number allowed, with a comment,
and a message left in recorded speech), failed by silence and by two wrong keys (hung up, said,
nothing allowed), and a caller whose ID comes before the first ring answered before any ring.

Usage: human_check.py BIN_DIR
"""
import atexit
import glob
import math
import os
import sqlite3
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import Home, check, finish, wait_until  # noqa: E402
from voiceaudio import SimOutput, write_wav  # noqa: E402

homes = []
CALLER = "+1 (613) 555-1234"


def start(far_end, model="usr5637", settings=""):
    home = Home(sys.argv[1], "ringdesk-check-")
    homes.append(home)
    atexit.register(home.stop)
    question = f"{home.path}/question.wav"
    write_wav(question, [int(8000 * math.sin(2 * math.pi * 600 * n / 8000)) for n in range(4000)])
    speech = f"{home.path}/speech.wav"
    # Someone speaking, as espeak-ng says it (22050 Hz); a tone where it is not installed.
    if subprocess.run(["espeak-ng", "-w", speech, "Hello, this is Kim. Please call me back."],
                      capture_output=True).returncode != 0:
        write_wav(speech, [int(8000 * math.sin(2 * math.pi * 440 * n / 8000))
                           for n in range(16000)])
    home.start_modem("--voice", model, "--far-end", far_end.replace("SPEECH", speech))
    home.sim = SimOutput(home.modem)
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Screening]\nMode=1\n"
                  f"Unknown=check\n[Voice]\nCheckGreeting={question}\nSilenceSeconds=3\n"
                  f"{settings}")
    home.start_monitor()
    if not wait_until(lambda: "voice mode" in home.said(), 60):
        print(home.said()[-3000:])
    return home


def allowed(home):
    try:
        with open(f"{home.lists}/allowed.txt") as lists:
            return lists.read()
    except FileNotFoundError:
        return ""


def outcome(home):
    with sqlite3.connect(f"file:{home.data}/calls.sqlite?mode=ro", uri=True) as db:
        row = db.execute("SELECT outcome FROM calls ORDER BY id DESC LIMIT 1").fetchone()
    return row and row[0]


def messages(home):
    return glob.glob(f"{home.data}/messages/*.wav")


# The key pressed in the time for it: allowed from now on, and a message in the caller's words.
home = start("silence:1200;digit:5;silence:7000;speech:SPEECH;silence:8000")
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: f"[Asking {CALLER} to press 5]" in home.said(), 20), "the caller is asked")
check(wait_until(lambda: "+1 613-555-1234  # pressed 5 when asked, 20" in allowed(home), 20),
      f"the key puts the number on allowed.txt, with when and why ({allowed(home)!r})")
check(wait_until(lambda: f"[New message from {CALLER} (0:" in home.said(), 40),
      "the caller may leave a message")
check(len(messages(home)) == 1, f"one message file ({messages(home)})")
check(wait_until(lambda: outcome(home) == "passed the check"),
      f"the history says so ({outcome(home)})")
check(wait_until(lambda: home.sim.count("caller-id on") >= 2, 10), "caller ID is on again")
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: home.said().count("Call: ") >= 2, 20) and
      home.said().count("[Asking") == 1, "the next call from it rings without a question")
home.stop()

# No key: hung up after the time for it; wrong keys twice: the same.
for what, far_end, said in (
        ("silence", "silence:20000", None),
        ("wrong keys", "silence:1200;digit:3;silence:1500;digit:4;silence:20000",
         f"[{CALLER} pressed 3, not 5: asking once more]")):
    home = start(far_end)
    home.modem_says("call 6135551234 SMITH JOHN")
    check(wait_until(lambda: f"[Blocked {CALLER}: did not press 5]" in home.said(), 30),
          f"{what}: the check fails, and that is said")
    if said:
        check(said in home.said(), f"{what}: the first wrong key is asked again")
    check(wait_until(lambda: home.sim.count("hook on") >= 1, 5), f"{what}: the call is let go")
    check(wait_until(lambda: outcome(home) == "failed the check"),
          f"{what}: the history says so ({outcome(home)})")
    check("6135551234" not in allowed(home) and messages(home) == [],
          f"{what}: nothing allowed, no message")
    home.stop()

# Caller ID before the first ring (as in much of Europe): answered before any ring.
home = start("silence:20000")
record = f"{home.path}/record.txt"
with open(record, "wb") as out:
    out.write(b"\r\nDATE=1209\r\nTIME=1012\r\nNMBR=6135551234\r\nNAME=SMITH JOHN\r\n\r\n")
home.modem_says(f"replay {record}")
check(wait_until(lambda: home.sim.count("hook off") >= 1, 10), "the line is taken")
sent, off = home.sim.last("done replay"), home.sim.last("hook off")
if sent and off:
    # The first ring follows such caller ID by half a second at the least.
    taken = (int(off[2]) - int(sent[2])) / 1000
    check(taken < 300, f"within {taken:.0f} ms of the caller's ID, before any ring (300 at most)")
check(wait_until(lambda: f"[Blocked {CALLER}: did not press 5]" in home.said(), 30),
      "and the check is made")
home.stop()

# A modem without voice: such callers ring, and the answering machine says it cannot answer.
home = start("silence:20000", model="none", settings="AnswerAfter=2\n")
for n in (1, 2):
    home.modem_says("call 6135551234 SMITH JOHN")
    check(wait_until(lambda: home.said().count("Call: ") == n, 20), f"call {n} is logged")
check(wait_until(lambda: home.said().count(f"[{CALLER} cannot be asked for a key: no voice mode "
                                           "is known on the modem; it rings]") == 2),
      "without voice the caller rings, and that is said")
check(home.said().count("the answering machine cannot answer]") == 1,
      "the answering machine says once that it cannot answer")
home.stop()

finish(homes, "The human check lets people through and keeps machines out.")
