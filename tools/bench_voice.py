"""Measures the voice line through the real monitor on the simulated modem (tools/bench-voice.sh):
blocked calls announced, one after another, each timed from the caller-ID record's last byte to
the first audio byte at the modem, its tones measured, its under- and overruns counted, and the
monitor's CPU while it plays and its memory across the calls."""
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "system"))
from ringhome import Home, wait_until  # noqa: E402
from voiceaudio import SimOutput, frequency, runs  # noqa: E402

BIN, CALLS = sys.argv[1], int(sys.argv[2])
SIT = (985.2, 1370.6, 1776.7)
SIT_MS = (380, 274, 380)

home = Home(BIN, "ringdesk-bench-voice-")
played_file = f"{home.path}/played.raw"
home.start_modem("--voice", "usr5637", "--audio-out", played_file)
sim = SimOutput(home.modem)
home.settings("[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Screening]\nMode=1\n"
              "Action=announce\n")
with open(f"{home.lists}/blocked.txt", "w") as listed:
    listed.write("613-555-0000\n")
home.start_monitor()
wait_until(lambda: "has a voice mode" in home.said(), 60)
wait_until(lambda: os.path.exists(f"{home.data}/announcement-en.wav"), 30)
time.sleep(1)

latencies, freq_errors, length_errors, gaps, cpu, rss = [], [], [], [], [], []
underruns = overruns = 0
for n in range(CALLS):
    offset = os.path.getsize(played_file) if os.path.exists(played_file) else 0
    before = sim.count("played")
    first = sim.count("first-audio")
    home.modem_says("call 6135550000 ROBO CALLER")
    wait_until(lambda: sim.count("first-audio") > first, 10, 0.001)
    cpu_start, wall_start = home.cpu_seconds(), time.monotonic()
    wait_until(lambda: sim.count("played") > before, 30, 0.01)
    cpu.append((home.cpu_seconds() - cpu_start) / (time.monotonic() - wall_start))
    done = [line for line in sim.all() if line.startswith("done call")][-1]
    latencies.append((int(sim.last("first-audio")[1]) - int(done.split()[2])) / 1000)
    line = sim.last("played")
    underruns += int(line[3])
    overruns += int(line[5])
    with open(played_file, "rb") as out:
        out.seek(offset)
        audio = out.read()
    tones = [run for run in runs(audio, SIT) if run[2] - run[1] >= 80][:3]
    for (hz, begin, end), ms in zip(tones, SIT_MS):
        freq_errors.append(abs(frequency(audio[begin + 80:end - 80]) - hz) / hz * 100)
        length_errors.append(abs((end - begin) / 8 - ms) / ms * 100)
    gaps += [(tones[k + 1][1] - tones[k][2]) / 8 for k in range(len(tones) - 1)]
    # The hang-up and caller ID again before the next call.
    wait_until(lambda: sim.count("caller-id on") >= n + 2, 10)
    time.sleep(0.5)
    rss.append(home.rss_kb())

home.stop()
shutil.rmtree(home.path, ignore_errors=True)

# The answering machine: a caller who speaks for 20 s, answered at the second ring.
machine = Home(BIN, "ringdesk-bench-answering-")
machine.start_modem("--voice", "usr5637", "--far-end", "silence:5000;tone:440:20000;silence:9000")
msim = SimOutput(machine.modem)
machine.settings("[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Voice]\nAnswerAfter=2\n"
                 "SilenceSeconds=3\n")
machine.start_monitor()
wait_until(lambda: "has a voice mode" in machine.said(), 60)
wait_until(lambda: os.path.exists(f"{machine.data}/greeting-en.wav"), 30)
time.sleep(1)
greeting_ms, record_cpu, record_rss = [], [], []
for n in range(3):
    first = msim.count("first-audio")
    recorded = msim.count("recorded")
    machine.modem_says("call 6135551234 SMITH JOHN")
    wait_until(lambda: msim.count("first-audio") > first, 10, 0.001)
    done = [line for line in msim.all() if line.startswith("done call")][-1]
    greeting_ms.append((int(msim.last("first-audio")[1]) - int(done.split()[2])) / 1000)
    # Recording from the end of the greeting (about 4 s) to the end of the speech.
    time.sleep(6)
    cpu_start, wall_start, rss_start = machine.cpu_seconds(), time.monotonic(), machine.rss_kb()
    time.sleep(15)
    record_cpu.append((machine.cpu_seconds() - cpu_start) / (time.monotonic() - wall_start))
    record_rss.append(machine.rss_kb() - rss_start)
    wait_until(lambda: msim.count("recorded") > recorded, 30)
    wait_until(lambda: msim.count("caller-id on") >= n + 2, 10)
machine.stop()
shutil.rmtree(machine.path, ignore_errors=True)

print(f"{CALLS} blocked calls announced on the simulated U.S. Robotics 5637:")
print(f"  caller ID to first audio: median {statistics.median(latencies):.0f} ms, "
      f"worst {max(latencies):.0f} ms")
print(f"  tones: frequency off by at most {max(freq_errors):.2f} %, length by at most "
      f"{max(length_errors):.1f} %, at most {max(gaps):.0f} ms apart (1 ms steps)")
print(f"  underruns {underruns}, overruns {overruns}")
print(f"  CPU while playing: median {statistics.median(cpu) * 100:.2f} % of a core, "
      f"worst {max(cpu) * 100:.2f} %")
print(f"  memory after each call: {rss[0]} kB first, {rss[-1]} kB last")
print("3 messages of 20 s left on the answering machine:")
print(f"  second ring to the greeting's first byte: worst {max(greeting_ms):.0f} ms")
print(f"  CPU while recording: worst {max(record_cpu) * 100:.2f} % of a core; memory grew by at "
      f"most {max(record_rss)} kB over 15 s of recording")
