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
import json
import math
import os
import pwd
import resource
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import Home, check, finish, free_port, wait_until  # noqa: E402
from voiceaudio import SimOutput, write_wav  # noqa: E402

homes = []


def start(far_end, greeting_seconds=0.5, settings=""):
    home = Home(sys.argv[1], "ringdesk-answering-")
    homes.append(home)
    atexit.register(home.stop)
    greeting = f"{home.path}/greeting.wav"
    write_wav(greeting, [int(8000 * math.sin(2 * math.pi * 600 * n / 8000))
                         for n in range(int(8000 * greeting_seconds))])
    home.start_modem("--voice", "usr5637", "--far-end", far_end)
    home.sim = SimOutput(home.modem)
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Voice]\nAnswerAfter=2\n"
                  f"Greeting={greeting}\nSilenceSeconds=3\n{settings}")
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


def web(home, method, path, session="", body=b"", headers=""):
    """One request to the monitor's web page; the answer's head and body."""
    extra = headers + "\r\n" if headers else ""
    with socket.create_connection(("127.0.0.1", home.web), timeout=10) as s:
        s.sendall(f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n{extra}"
                  f"Cookie: ringdesk_session={session}\r\nConnection: close\r\n"
                  f"Content-Length: {len(body)}\r\n\r\n".encode() + body)
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode(errors="replace"), rest


def broker(folder):
    """mosquitto on a free port of its own; None where it is not installed."""
    program = shutil.which("mosquitto") or shutil.which("mosquitto", path="/usr/sbin:/sbin")
    if not program:
        return None, 0
    port = free_port()
    with open(f"{folder}/mosquitto.conf", "w") as conf:
        conf.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n"
                   f"user {pwd.getpwuid(os.getuid()).pw_name}\n")
    process = subprocess.Popen([program, "-c", f"{folder}/mosquitto.conf"],
                               stderr=subprocess.DEVNULL)
    atexit.register(process.kill)
    wait_until(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 10)
    return process, port


def subscribe(port, topic, count):
    return subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic,
                             "-C", str(count), "-W", "30"], stdout=subprocess.PIPE, text=True)


# A message: 2 s of "speech" (a 440 Hz tone) after a moment's pause, then silence; the household
# hears of it over NCID and MQTT.
ncid, web_port = free_port(), free_port()
folder = tempfile.mkdtemp(prefix="ringdesk-answering-broker-")
mqtt, mqtt_port = broker(folder)
home = start("silence:1500;tone:440:2000;silence:8000", settings=(
    f"[NCID]\nListen=127.0.0.1:{ncid}\n[Web]\nListen=127.0.0.1:{web_port}\n" +
    (f"[MQTT]\nHost=127.0.0.1\nPort={mqtt_port}\n" if mqtt else "")))
home.web = web_port
wait_until(lambda: "[NCID calls at" in home.said())
client = socket.create_connection(("127.0.0.1", ncid), 10)
client.settimeout(30)
if mqtt:
    wait_until(lambda: "[MQTT: connected" in home.said())
    # Subscribed seconds before the message can come: the greeting and the speech come first.
    new_message = subscribe(mqtt_port, "ringdesk/message", 1)
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
ncid_said = b""
try:
    while b"MSG: New message from +1 (613) 555-1234 (0:0" not in ncid_said:
        ncid_said += client.recv(4096)
except OSError:
    pass
check(b"MSG: New message from +1 (613) 555-1234 (0:0" in ncid_said, "NCID clients get MSG:")
client.close()
if mqtt:
    out, _ = new_message.communicate(timeout=40)
    check('"seconds":' in out and '"id":"' in out, f"MQTT has an event for it ({out.strip()})")
    count = subscribe(mqtt_port, "ringdesk/messages", 1).communicate(timeout=40)[0]
    check('"unheard":1' in count and '"total":1' in count,
          f"and the retained count ({count.strip()})")
else:
    print("skip MQTT: mosquitto is not installed")

# The API and the export mark the call with its message.
home.monitor.kill()
home.monitor.wait()
home.set_password("household phone")
home.start_monitor()
wait_until(lambda: "[Web page at" in home.said(), 60)
head, _ = web(home, "POST", "/login", body=b"password=household+phone")
session = head.split("ringdesk_session=", 1)[-1].split(";", 1)[0]
_, page = web(home, "GET", "/api/calls", session)
check(b'"message":{"heard":false,"seconds":6}' in page.replace(b" ", b""),
      f"the API marks the call with its message ({page[:300]})")
_, export = web(home, "GET", "/api/calls.csv", session)
lines = export.decode().splitlines()
check(lines[0].endswith(",message") and lines[1].endswith(",6"),
      f"and so does the export ({lines[:2]})")
_, listed = web(home, "GET", "/api/messages", session)
listed = json.loads(listed)["messages"]
check(len(listed) == 1 and listed[0]["number"] == "+1 (613) 555-1234" and
      not listed[0]["heard"], f"the page lists the message ({listed})")
ident = listed[0]["id"] if listed else 0
with open(found[0], "rb") as kept:
    whole = kept.read()
head, part = web(home, "GET", f"/api/message?id={ident}", session, headers="Range: bytes=0-99")
check(head.startswith("HTTP/1.1 206") and f"Content-Range: bytes 0-99/{len(whole)}" in head and
      part == whole[:100], f"a range of its audio ({head.splitlines()[0]})")
head, part = web(home, "GET", f"/api/message?id={ident}", session,
                 headers=f"Range: bytes={len(whole)}-")
check(head.startswith("HTTP/1.1 416"), "a range past its end is refused")
head, part = web(home, "GET", f"/api/message?id={ident}", session)
check(head.startswith("HTTP/1.1 200") and "audio/wav" in head and part == whole,
      "the whole of it")
_, listed = web(home, "GET", "/api/messages", session)
check(json.loads(listed)["messages"][0]["heard"], "played, it is heard")
head, _ = web(home, "POST", "/api/message/delete", session, json.dumps({"id": ident}).encode(),
              headers="Origin: http://elsewhere.example")
check(head.startswith("HTTP/1.1 403") and os.path.exists(found[0]),
      "a delete from another site is refused")
head, _ = web(home, "POST", "/api/message/delete", session, json.dumps({"id": ident}).encode())
check(head.startswith("HTTP/1.1 200") and not os.path.exists(found[0]),
      "a delete from the page deletes it")
wait_until(lambda: "has a voice mode" in home.said(), 60)

# Killed while recording: the file is whole, and the next start keeps it with its length.
home.modem_says("call 6135550177 DOE JANE")
check(wait_until(lambda: any(os.path.getsize(f) > 3 * 16000 + 44 for f in messages(home)
                             if f.endswith("16135550177.wav")), 30), "a second message records")
home.monitor.send_signal(signal.SIGKILL)
home.monitor.wait()
cut = [f for f in messages(home) if f.endswith("16135550177.wav")]
with wave.open(cut[0]) as message:
    frames = message.getnframes()
check(frames >= 3 * 8000 and os.path.getsize(cut[0]) == 44 + 2 * frames,
      f"the cut message is a whole WAV ({frames} frames)")
home.start_monitor()
check(wait_until(lambda: "was cut short at " in home.said() and "it is kept]" in home.said(), 60),
      "the next start keeps it, and says so")
with sqlite3.connect(f"file:{home.data}/calls.sqlite?mode=ro", uri=True) as db:
    seconds = db.execute("SELECT seconds FROM messages WHERE file = ?", cut).fetchone()
check(seconds and seconds[0] == round(frames / 8000), f"with its length ({seconds})")
home.stop()
if mqtt:
    mqtt.kill()
shutil.rmtree(folder, ignore_errors=True)

# Over its limit, the folder loses its oldest heard message, never an unheard one.
home = start("silence:1500;tone:440:2000;silence:8000", settings="MessagesLimit=1\n")
wait_until(lambda: os.path.exists(f"{home.data}/calls.sqlite"))
home.monitor.kill()
home.monitor.wait()
os.makedirs(f"{home.data}/messages", exist_ok=True)
old_heard = f"{home.data}/messages/20260101-100000-16135550100.wav"
old_unheard = f"{home.data}/messages/20260101-110000-16135550101.wav"
for path in (old_heard, old_unheard):
    write_wav(path, [0] * (8000 * 40))  # 40 s, 640 kB each
with sqlite3.connect(f"{home.data}/calls.sqlite") as db:
    db.execute("INSERT INTO messages (call_id, file, seconds, heard, received) VALUES "
               "('old-1', ?, 40, 1, '2026-01-01T10:00:00Z'), "
               "('old-2', ?, 40, 0, '2026-01-01T11:00:00Z')", (old_heard, old_unheard))
home.start_monitor()
wait_until(lambda: "has a voice mode" in home.said(), 60)
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[New message from" in home.said(), 30), "a new message")
check(wait_until(lambda: not os.path.exists(old_heard)), "the oldest heard one is deleted")
check(os.path.exists(old_unheard), "the unheard one is kept")
check("over Voice/MessagesLimit (1 MB)]" in home.said(), "and that is said")
home.stop()

# The disk fills during a recording (files may grow to 100 kB, about 6 s of message): the message
# is cut there, a whole file, kept with its call, and the line comes back for the next call.
home = start("silence:1200;tone:440:12000;silence:8000")
home.monitor.kill()
home.monitor.wait()


def small_files():
    resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, 100_000))
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past it fails instead of killing


home.out = open(f"{home.path}/monitor.out", "w")
home.monitor = subprocess.Popen([f"{home.bin}/ringdesk", "--headless"], stdout=home.out,
                                stderr=subprocess.STDOUT, env=home.env, preexec_fn=small_files)
wait_until(lambda: "has a voice mode" in home.said(), 60)
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "was cut short: " in home.said() and "cannot take more" in home.said(),
                 30), "a full disk cuts the message short, and says so")
check(wait_until(lambda: "[New message from +1 (613) 555-1234 (0:0" in home.said(), 10),
      "what was recorded is kept")
found = messages(home)
if found:
    with wave.open(found[0]) as message:
        frames = message.getnframes()
    check(5 * 8000 < frames and os.path.getsize(found[0]) == 44 + 2 * frames,
          f"as a whole WAV ({frames / 8000:.1f} s)")
check(wait_until(lambda: home.sim.count("caller-id on") >= 2, 10), "caller ID is on again")
home.stop()

# A caller who hangs up at once leaves nothing.
home = start("silence:1200;hangup")
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[No message from +1 (613) 555-1234: under a second of speech]"
                 in home.said(), 20), "a caller who hung up at once leaves no message")
check(messages(home) == [], "and no file")
home.stop()

# Busy or dial tone (the caller gone, the exchange back) ends the recording at once.
for tone, code in (("busy", "busy"), ("dial tone", "dialtone")):
    home = start(f"silence:1200;tone:440:1500;{code};silence:20000")
    home.modem_says("call 6135551234 SMITH JOHN")
    check(wait_until(lambda: "[New message from +1 (613) 555-1234 (0:0" in home.said(), 20),
          f"{tone} ends the message")
    found = messages(home)
    seconds = os.path.getsize(found[0]) / 16000 if found else 0
    check(seconds < 2.5, f"{tone}: it ends there, not a pause later ({seconds:.1f} s)")
    home.stop()

# A key held down during the greeting is one press: the greeting is cut once, nothing else.
home = start("silence:300;hold:5:700;silence:500;tone:440:1500;silence:8000", greeting_seconds=4)
home.modem_says("call 6135551234 SMITH JOHN")
check(wait_until(lambda: "[New message from" in home.said(), 30), "a message after a held key")
check(home.sim.count("played") == 1, "the greeting played once")
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

finish(homes, "The answering machine takes messages and steps aside for the household.")
