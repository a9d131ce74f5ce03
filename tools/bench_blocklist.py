"""Measures an imported block list through the real programs (tools/bench-blocklist.sh)."""
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "system"))
from ringhome import Home, wait_until  # noqa: E402

BIN, NUMBERS = sys.argv[1], int(sys.argv[2])
CALLS = 20


def complaints(path, count):
    """A file shaped as the regulator's: its columns, one complaint a row."""
    rng = random.Random(7)
    with open(path, "w") as csv:
        csv.write("Company_Phone_Number,Created_Date,Violation_Date,Consumer_City,"
                  "Consumer_State,Consumer_Area_Code,Subject,Recorded_Message_Or_Robocall\n")
        for _ in range(count):
            number = f"{rng.randint(201, 989)}{rng.randint(200, 999)}{rng.randint(0, 9999):04d}"
            csv.write(f'{number},2026-12-07 09:14:02,2026-12-06 17:40:00,Springfield,IL,217,'
                      f'"Reducing your debt (credit cards, mortgage, student loans)",Y\n')


def run(home, with_list):
    """The monitor's memory once ready, and the median time from a caller's record to its line
    in the call log, for callers no rule blocks (every rule is tried)."""
    home.start_monitor()
    wait_until(lambda: "[System Ready" in home.said(), 60, 0.01)
    if with_list:
        wait_until(lambda: "[Block list FTC: " in home.said(), 10)
    time.sleep(2)  # settled
    rss = home.rss_kb()
    times = []
    for n in range(CALLS):
        before = home.call_log().count("\r\n")
        start = time.perf_counter()
        home.modem_says(f"call 61322{n:05d} CALLER {n}")
        wait_until(lambda: home.call_log().count("\r\n") > before, 10, 0.0005)
        times.append((time.perf_counter() - start) * 1000)
        time.sleep(0.3)
    home.monitor.send_signal(signal.SIGTERM)
    home.monitor.wait(20)
    return rss, statistics.median(times)


home = Home(BIN, "ringdesk-bench-blocklist-")
home.start_modem()
home.settings("[Setup]\nAreaCode=613\nCountry=US\nAutoCreateContact=0\n"
              "[Screening]\nMode=1\nAction=silence\n")
csv = f"{home.path}/complaints.csv"
complaints(csv, NUMBERS)
csv_mb = os.path.getsize(csv) / 1e6
started = time.monotonic()
importer = subprocess.Popen([f"{BIN}/ringdesk", "--import-blocklist", csv, "--source", "FTC"],
                            env=home.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
said = importer.stdout.read()
_, _, usage = os.wait4(importer.pid, 0)  # this child's own peak, not the build's
took = time.monotonic() - started
peak = usage.ru_maxrss
print(said.strip())
listed = f"{home.path}/data/ringdesk/blocklists/FTC.list"
kept = f"{home.path}/FTC.list"
shutil.move(listed, kept)
plain_rss, plain_ms = run(home, False)
shutil.move(kept, listed)
list_rss, list_ms = run(home, True)
home.stop()
shutil.rmtree(home.path, ignore_errors=True)
print(f"{NUMBERS} rows of complaints, release build, this machine:")
print(f"  import: {took:.2f} s, peak memory {peak / 1024:.1f} MB, "
      f"from a CSV of {csv_mb:.0f} MB")
print(f"  monitor RSS once ready: {list_rss} kB with the list, {plain_rss} kB without "
      f"({(list_rss - plain_rss) / 1024:+.1f} MB)")
print(f"  record to call log, median of {CALLS}: {list_ms:.2f} ms with the list, "
      f"{plain_ms:.2f} ms without")
