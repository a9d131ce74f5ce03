#!/usr/bin/python3
"""Blocked callers answered by the voice line, through the real `ringdesk --headless` on the
simulated modem, for each voice modem model: the "not in service" tone and the announcement
(spoken by espeak-ng, or the user's sound file), the fax answer tone, an announcement of 0x10
samples, the caller hanging up in the middle, a modem refusing a voice command or never ending
its audio, a modem without voice and settings that cannot be used. The played audio is read by
its own tone checks; the history by SQLite, NCID by a client of its own.

Usage: blocked_voice.py BIN_DIR
"""
import atexit
import os
import socket
import sqlite3
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import Home, check, finish, free_port, wait_until  # noqa: E402
from voiceaudio import SimOutput, energy, frequency, runs, write_wav  # noqa: E402

SIT = (985.2, 1370.6, 1776.7)
SIT_MS = (380, 274, 380)
BLOCKED = "6135550000"
homes = []


def start(model, settings, *options, announcement=""):
    home = Home(sys.argv[1], f"ringdesk-voice-{model}-")
    homes.append(home)
    atexit.register(home.stop)
    home.played = f"{home.path}/played.raw"
    home.start_modem("--voice", model, "--audio-out", home.played, *options)
    home.sim = SimOutput(home.modem)
    home.ncid = free_port()
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Screening]\nMode=1\n"
                  f"HangupDelay=300\n{settings}\n[Voice]\nAnnouncement={announcement}\n"
                  f"[NCID]\nListen=127.0.0.1:{home.ncid}\n")
    with open(f"{home.lists}/blocked.txt", "w") as listed:
        listed.write("613-555-0000\n")
    home.start_monitor()
    ready = wait_until(lambda: "[System Ready" in home.said() and (
        "voice mode" in home.said()), 60)
    if not ready:
        print(home.said()[-3000:])
    return home


def set_setting(home, section, key, value):
    """Changes one setting in the store, as the setup program would, and waits for its echo."""
    path = f"{home.path}/config/zodode.ini"
    lines, out, inside = open(path).read().splitlines(), [], False
    for line in lines:
        if line.startswith("["):
            inside = line == f"[{section}]"
        if not (inside and line.split("=")[0] == key):
            out.append(line)
        if line == f"[{section}]":
            out.append(f"{key}={value}")
    with open(path + ".new", "w") as ini:
        ini.write("\n".join(out) + "\n")
    os.replace(path + ".new", path)
    return wait_until(lambda: f"[Setting {section}/{key} is now \"{value}\"" in home.said(), 20)


def call(home, number=BLOCKED, name="ROBO CALLER"):
    """Places a call; the new audio once the modem has played it (None when it did not)."""
    played = home.sim.count("played")
    offset = os.path.getsize(home.played) if os.path.exists(home.played) else 0
    home.modem_says(f"call {number} {name}")
    if not wait_until(lambda: home.sim.count("played") > played, 30):
        return None
    with open(home.played, "rb") as out:
        out.seek(offset)
        return out.read()


def logged(home, count):
    return wait_until(lambda: home.call_log().count("\r\n") >= count, 20)


def outcomes(home):
    with sqlite3.connect(f"file:{home.data}/calls.sqlite?mode=ro", uri=True) as db:
        return [row[0] for row in db.execute("SELECT outcome FROM calls ORDER BY id")]


def ncid_log(home):
    with socket.create_connection(("127.0.0.1", home.ncid), 10) as client:
        data = b""
        while b"300 End of connection startup" not in data:
            chunk = client.recv(65536)
            if not chunk:
                break
            data += chunk
    return data.decode(errors="replace")


def latency_ms(home):
    """From the call's last byte to the first audio byte at the modem."""
    done = [line for line in home.sim.all() if line.startswith("done call")]
    first = home.sim.last("first-audio")
    return (int(first[1]) - int(done[-1].split()[2])) / 1000 if done and first else 1e9


def check_sit(audio, model):
    found = runs(audio, SIT)
    tones = [run for run in found if run[2] - run[1] >= 80][:3]
    check([hz for hz, _, _ in tones] == list(SIT), f"{model}: the three tones in their order")
    if len(tones) < 3:
        return len(audio)
    for (hz, begin, end), ms in zip(tones, SIT_MS):
        heard = frequency(audio[begin + 80:end - 80])
        length = (end - begin) / 8
        check(abs(heard - hz) <= hz * 0.005, f"{model}: {hz} Hz heard at {heard:.1f} Hz")
        check(abs(length - ms) <= ms * 0.05, f"{model}: {hz} Hz for {length:.0f} ms ({ms})")
    gaps = [(tones[n + 1][1] - tones[n][2]) / 8 for n in range(2)]
    check(all(gap <= 4 for gap in gaps), f"{model}: the tones at most 4 ms apart ({gaps})")
    return tones[2][2]


def underruns(home):
    line = home.sim.last("played")  # played BYTES underruns N overruns M
    return (int(line[3]), int(line[5])) if line else (-1, -1)


for model in ("usr5637", "conexant"):
    # Announced with the spoken default, then a file of 0x10 samples, then a fax tone.
    home = start(model, "Action=announce")
    check(f"has a voice mode: 8-bit linear at 8000 Hz]" in home.said(),
          f"{model}: the voice mode is found")
    check(wait_until(lambda: os.path.exists(f"{home.data}/announcement-en.wav"), 30),
          f"{model}: the spoken announcement is made and kept")
    audio = call(home)
    check(audio is not None, f"{model}: the blocked caller is answered")
    audio = audio or b""
    check(latency_ms(home) <= 300, f"{model}: the first audio {latency_ms(home):.0f} ms after "
          "caller ID (at most 300)")
    after = check_sit(audio, model)
    speech = audio[after:after + 16000]
    check(energy(speech) > 50, f"{model}: speech follows the tones ({energy(speech):.0f})")
    check(underruns(home) == (0, 0), f"{model}: no underrun, no overrun {underruns(home)}")
    check(wait_until(lambda: f"[Blocked +1 (613) 555-0000: " in home.said() and
                     "; announced]" in home.said()), f"{model}: the event line says announced")
    check(logged(home, 1), f"{model}: the call is logged")

    # The user's own file: 0x10 samples (the high byte 0x90, a quarter below silence) arrive whole.
    samples = [-28672 if n % 3 else -28672 + 256 * (n % 7) for n in range(4000)]
    write_wav(f"{home.path}/dle.wav", samples)
    expected = bytes(((s >> 8) + 128) & 0xFF for s in samples)
    check(expected.count(0x10) > 1000, f"{model}: the file holds 0x10 samples")
    check(set_setting(home, "Voice", "Announcement", f"{home.path}/dle.wav"),
          f"{model}: the new announcement is taken while running")
    audio = call(home) or b""
    check(expected in audio, f"{model}: an announcement of 0x10 samples arrives whole")

    check(set_setting(home, "Screening", "Action", "fax"), f"{model}: the fax tone chosen")
    audio = call(home) or b""
    fax = [run for run in runs(audio, (2100.0, 1100.0)) if run[0] == 2100.0]
    length = (fax[0][2] - fax[0][1]) / 8 if fax else 0
    check(abs(length - 3000) <= 150, f"{model}: 2100 Hz for {length:.0f} ms (3000)")
    if fax:
        heard = frequency(audio[fax[0][1] + 80:fax[0][2] - 80])
        check(abs(heard - 2100) <= 10.5, f"{model}: the fax tone at {heard:.1f} Hz")
    check(logged(home, 3), f"{model}: three calls logged")
    check(wait_until(lambda: outcomes(home)[:3] == ["announced", "announced", "fax tone"]),
          f"{model}: the history keeps what was done ({outcomes(home)})")
    log = ncid_log(home)
    check(log.count("HUPLOG:") == 3 and "*HTYPE*fax tone*" in log and
          log.count("*HTYPE*announced*") == 2, f"{model}: NCID's log says what was done")

    # The caller hangs up during the announcement: it stops, the modem comes back.
    check(set_setting(home, "Screening", "Action", "announce"), f"{model}: announce again")
    cid_on = home.sim.count("caller-id on")
    first = home.sim.count("first-audio")
    home.modem_says(f"call {BLOCKED} ROBO CALLER")
    wait_until(lambda: home.sim.count("first-audio") > first)
    home.modem_says("event l")
    check(wait_until(lambda: "stopped: the caller hung up]" in home.said()),
          f"{model}: the caller hanging up stops the audio")
    check(wait_until(lambda: home.sim.count("caller-id on") > cid_on),
          f"{model}: caller ID is on again")
    home.modem_says("call 6135551234 SMITH JOHN")
    check(logged(home, 5), f"{model}: the next call is logged")
    home.stop()

# The modem refuses a voice command: hung up on instead, said once, the next call logged.
for model, refused in (("usr5637", "AT+VSM=1"), ("conexant", "AT+VLS=1")):
    home = start(model, "Action=announce", "--refuse", refused)
    hooks = home.sim.count("hook off")
    home.modem_says(f"call {BLOCKED} ROBO CALLER")
    check(wait_until(lambda: "answered ERROR to " + refused in home.said()),
          f"{model}: the refused {refused} is said")
    check(wait_until(lambda: home.sim.count("hook on") > 0 and
                     home.sim.count("hook off") > hooks), f"{model}: the call is hung up on")
    check(wait_until(lambda: outcomes(home) == ["hung up"]),
          f"{model}: the history says hung up ({outcomes(home)})")
    home.modem_says("call 6135551234 SMITH JOHN")
    check(logged(home, 2), f"{model}: the next call is logged")
    home.stop()

    # No OK after the audio: the wait ends, the modem is reset and the next call logged.
    home = start(model, "Action=fax", "--no-ok-after-audio")
    home.modem_says(f"call {BLOCKED} ROBO CALLER")
    check(wait_until(lambda: "did not end its audio; hanging up]" in home.said(), 20),
          f"{model}: a missing OK ends the wait")
    check(wait_until(lambda: home.sim.count("caller-id on") >= 2, 20),
          f"{model}: caller ID is on again")
    home.modem_says("call 6135551234 SMITH JOHN")
    check(logged(home, 2), f"{model}: the next call is logged")
    home.stop()

# A modem without voice, and settings that cannot be used.
home = start("none", "Action=shout\n[Voice]\nFormat=999", announcement="/no/such.wav")
said = home.said()
check("[Setting Screening/Action" in said, "an unknown action is said")
check("[Setting Voice/Format" in said, "a format code out of range is said")
check("[Setting Voice/Announcement" in said, "an announcement that cannot be read is said")
set_setting(home, "Screening", "Action", "announce")
for n in range(2):
    home.modem_says(f"call {BLOCKED} ROBO CALLER")
    check(logged(home, n + 1), "a blocked call without voice is logged")
    check(wait_until(lambda: home.sim.count("hook on") > n), "and hung up on")
check(home.said().count("[No voice mode known") == 1, "the fallback is said once")
home.stop()

finish(homes, "Blocked callers hear the line speak, on every model.")
