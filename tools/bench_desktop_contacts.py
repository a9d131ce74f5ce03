#!/usr/bin/python3
"""The desktop's address books as a user with a large synced one meets them: a real Evolution
Data Server on a private session bus holding 50,000 contacts, the real monitor without a window
(ringdesk-headless, [Contacts] Source=desktop) on the simulated modem, and calls from numbers on
the cards. Printed: for each call, the time from its last byte to "[Found it!", the first call's
apart; and the monitor's memory before and after the calls.
Run by hand (tools/bench-desktop-contacts.sh), never by the test suite:
    bench_desktop_contacts.py BIN_DIR [CONTACTS]
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "system"))
from privatebus import on_private_bus  # noqa: E402

top = on_private_bus("ringdesk-bench-eds-", keep_on_failure=False)

import gi  # noqa: E402
gi.require_version("EBook", "1.2")
gi.require_version("EBookContacts", "1.2")
gi.require_version("EDataServer", "1.2")
from gi.repository import EBook, EBookContacts, EDataServer  # noqa: E402

BIN = sys.argv[1]
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 50_000

registry = EDataServer.SourceRegistry.new_sync(None)
book = EBook.BookClient.connect_sync(registry.ref_default_address_book(), 2**32 - 1, None)
started = time.time()
for first in range(0, COUNT, 1000):
    batch = []
    for i in range(first, min(first + 1000, COUNT)):
        # A number at work in national form, one on the mobile in international form.
        batch.append(EBookContacts.Contact.new_from_vcard(
            f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caller{i};Person;;;\r\nFN:Person Caller{i}\r\n"
            f"TEL;TYPE=WORK:613-{200 + i // 10000}-{i % 10000:04d}\r\n"
            f"TEL;TYPE=CELL:+1 819 555 {i % 10000:04d}\r\nEND:VCARD\r\n"))
    book.add_contacts_sync(batch, EBookContacts.BookOperationFlags.NONE, None)
print(f"{COUNT} contacts added in {time.time() - started:.0f} s")

home = f"{top}/monitor"
os.makedirs(f"{home}/config", mode=0o700)
env = dict(os.environ, XDG_CONFIG_HOME=f"{home}/config", QT_QPA_PLATFORM="offscreen")
modem = subprocess.Popen([f"{BIN}/ringdesk-modemsim", "--link", f"{home}/modem"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env)
modem.stdout.readline()
with open(f"{home}/config/zodode.ini", "w") as ini:
    ini.write(f"[Ports]\nCom1={home}/modem\n[Modem]\nComPort=1\nCallIDString=AT+VCID=1\n"
              "[Setup]\nAreaCode=613\nAutoCreateContact=0\nAutoCreateJournal=0\n"
              "[Contacts]\nSource=desktop\n")
out_path = f"{home}/monitor.out"
monitor = subprocess.Popen([f"{BIN}/ringdesk-headless"], stdout=open(out_path, "w"),
                           stderr=subprocess.STDOUT, env=env)


def said():
    with open(out_path, errors="replace") as out:
        return out.read()


def rss_kb():
    with open(f"/proc/{monitor.pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def wait(condition, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.002)
    return False


try:
    wait(lambda: "[System Ready" in said())
    before = rss_kb()
    times = []
    for n, i in enumerate([COUNT - 1] + list(range(0, COUNT, max(1, COUNT // 20)))):
        found = said().count("[Found it!")
        modem.stdin.write(f"call 613{200 + i // 10000}{i % 10000:04d} CALLER{i} PERSON\n")
        modem.stdin.flush()
        line = modem.stdout.readline()
        while not line.startswith("done call"):
            line = modem.stdout.readline()
        sent = time.monotonic()
        if not wait(lambda: said().count("[Found it!") > found, 10):
            print(f"call {n}: not found")
            continue
        times.append((time.monotonic() - sent) * 1000)
    after = rss_kb()
    rest = sorted(times[1:])
    print(f"first look-up: {times[0]:.0f} ms; later ones: median {rest[len(rest) // 2]:.1f} ms, "
          f"slowest {rest[-1]:.1f} ms ({len(rest)} calls)")
    print(f"monitor memory: {before} kB before the calls, {after} kB after")
finally:
    monitor.kill()
    modem.kill()
