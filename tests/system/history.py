#!/usr/bin/python3
"""The call history through the real `ringdesk --headless` on the simulated modem, read back as
users and their tools read it: SQLite's own shell and the web page's API. A hand-written log
crossing a year, restarts, a database another program locks, a damaged database, searches in
several punctuations, statistics and the CSV export.

Usage: history.py BIN_DIR
"""
import atexit
import csv
import datetime
import io
import json
import os
import signal
import socket
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from ringhome import Home, check, finish, free_port, wait_until  # noqa: E402

PASSWORD = "household phone"
home = Home(sys.argv[1], "ringdesk-history-")
atexit.register(home.stop)
port = free_port()
database = f"{home.data}/calls.sqlite"
home.set_password(PASSWORD)
home.start_modem()
home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Screening]\nMode=1\n"
              f"HangupDelay=300\n[Web]\nListen=127.0.0.1:{port}\n")
os.makedirs(f"{home.data}/contacts")
with open(f"{home.data}/contacts/smith.vcf", "w", newline="") as card:
    card.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:smith-1\r\nN:Smith;Jane;;;\r\n"
               "FN:Jane Smith\r\nTEL:613-555-4242\r\nEND:VCARD\r\n")
with open(f"{home.lists}/blocked.txt", "w") as listed:
    listed.write("1900*\n")

# A log kept before the history: its records have no year.
today = datetime.date.today()
yesterday = today - datetime.timedelta(days=1)
with open(f"{home.data}/CallLog.txt", "w", newline="") as log:
    for record in ("12/31 23:50 +1 (613) 555-0001 OLD YEAR",
                   "01/01 00:10 +1 (613) 555-0002 NEW YEAR",
                   f"{yesterday:%m/%d} 09:00 +1 (613) 555-4242 SMITH JANE"):
        log.write(f'"{record}"\r\n')


def start():
    home.start_monitor()
    # The page listens once the modem search is over: a moment after "System Ready".
    if wait_until(lambda: "[System Ready" in home.said() and "[Web page at" in home.said(), 60):
        return True
    print(home.said()[-3000:])  # what the monitor said instead
    return False


def stop():
    home.monitor.send_signal(signal.SIGTERM)
    home.monitor.wait(20)


def rows(sql):
    return subprocess.run(["sqlite3", "-readonly", database, sql], capture_output=True,
                          text=True).stdout.strip().splitlines()


def calls_logged():
    return home.call_log().count("\r\n")


def call(command):
    before = calls_logged()
    home.modem_says(command)
    return wait_until(lambda: calls_logged() == before + 1, 10)


def api(path, session):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: ringdesk_session={session}\r\n"
              "Connection: close\r\n\r\n".encode())
    data = b""
    while chunk := s.recv(65536):
        data += chunk
    s.close()
    return data.split(b"\r\n\r\n", 1)[1]


def log_in():
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    body = b"password=household+phone"
    s.sendall(b"POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
              b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
    answer = s.recv(65536).decode()
    s.close()
    return answer.split("ringdesk_session=", 1)[1].split(";", 1)[0]


check(start(), "the monitor starts on a log kept before the history")
check("[History: 3 calls of CallLog.txt added]" in home.said(), "the log's three calls are added")
year = yesterday.year
expected_dates = [f"{year - 1}-12-31", f"{year}-01-01", yesterday.isoformat()]
if today.month == 1 and today.day <= 2:
    expected_dates = rows("SELECT local_date FROM calls ORDER BY id")  # the boundary is today
check(rows("SELECT local_date FROM calls ORDER BY id") == expected_dates,
      f"each gets the latest year that keeps the order ({rows('SELECT local_date FROM calls')})")

# Calls as they come: a contact's, a blocked one, a formula for a name.
check(call("call 6135554242 WIRELESS CALLER"), "a contact's call is logged")
check(call("call 19005550000 PREMIUM"), "a blocked call is logged")
check(call("call 6135550003 =HYPERLINK(\"x\")"), "a call named like a formula is logged")
stop()
check(rows("SELECT count(*) FROM calls") == ["6"], "six calls in the history")

# Another record written while the monitor was away, then a restart: added once, never twice.
with open(f"{home.data}/CallLog.txt", "a", newline="") as log:
    log.write(f'"{today:%m/%d} 07:00 +1 (613) 555-0004 HAND WRITTEN"\r\n')
check(start(), "the monitor starts again")
check("[History: 1 calls of CallLog.txt added]" in home.said(), "the new record is added")
stop()
check(start(), "and once more")
check(rows("SELECT count(*) FROM calls") == ["7"], "and nothing twice")
check(rows("SELECT contact_name, contact_uid FROM calls WHERE name = 'WIRELESS CALLER'") ==
      ["Jane Smith|smith-1"], "a restart keeps the contact found")
check(rows("SELECT blocked, block_rule FROM calls WHERE name = 'PREMIUM'") == ["1|1900*"],
      "and the block mark")

# The web page reads the history: contact and block mark after the restart, searches.
session = log_in()
page = json.loads(api("/api/calls", session))["calls"]
check(page[0]["name"] == "HAND WRITTEN" and len(page) == 7, "the newest call first, all seven")
premium = next(c for c in page if c["name"] == "PREMIUM")
wireless = next(c for c in page if c["name"] == "WIRELESS CALLER")
check(premium["blocked"] and premium["block_rule"] == "1900*", "the page shows the block mark")
check(wireless["contact"] == "Jane Smith", "and the contact")
for q in ("555-4242", "(613)%205554242", "6135554242", "jane", "wireless"):
    found = [c["name"] for c in json.loads(api(f"/api/calls?q={q}", session))["calls"]]
    check("WIRELESS CALLER" in found, f"a search for {q} finds the contact's calls ({found})")
numbered = json.loads(api("/api/calls?number=%2B16135554242", session))["calls"]
check(sorted(c["name"] for c in numbered) == ["SMITH JANE", "WIRELESS CALLER"],
      "a number's calls")
stats = json.loads(api("/api/stats?days=30", session))
check(len(stats["days"]) == 30 and stats["days"][-1]["date"] == today.isoformat(),
      "thirty days up to today")
check(sum(d["calls"] for d in stats["days"]) >= 4 and stats["days"][-1]["blocked"] == 1,
      f"calls and blocked calls per day ({stats['days'][-1]})")
check(stats["top"][0]["number"] == "+1 (613) 555-4242" and stats["top"][0]["calls"] == 2,
      f"the most frequent caller first ({stats['top'][:1]})")
exported = list(csv.reader(io.StringIO(api("/api/calls.csv", session).decode())))
check(exported[0][:3] == ["id", "call_id", "received"] and len(exported) == 8, "the CSV export")
check(any(row[7] == "'=HYPERLINK(\"x\")" for row in exported),
      "a name that would be a formula starts with '")

# Another program holds the database while a call comes: the call waits, nothing is lost.
holder = sqlite3.connect(database, timeout=0)
holder.execute("BEGIN EXCLUSIVE")
check(call("call 6135554242 LOCKED OUT"), "a call while the database is locked is in CallLog.txt")
check(wait_until(lambda: "database is locked" in home.said(), 5), "one event line says why")
holder.rollback()
holder.close()
check(wait_until(lambda: rows("SELECT contact_name FROM calls WHERE name = 'LOCKED OUT'") ==
                 ["Jane Smith"], 15), "once free, the call is written, contact and all")
check("written again]" in home.said(), "and the event list says so")
stop()

# A damaged database is kept aside and made anew from CallLog.txt.
for suffix in ("-wal", "-shm"):
    if os.path.exists(database + suffix):
        os.remove(database + suffix)
with open(database, "wb") as damaged:
    damaged.write(b"this is no database" * 100)
check(start(), "the monitor starts on a damaged database")
check(wait_until(lambda: "was damaged" in home.said(), 5), "it says the database was damaged")
check("was damaged (file is not a database)" in home.said(),
      "with SQLite's own reason, not 'not an error'")
kept = [name for name in os.listdir(home.data) if name.startswith("calls.sqlite.damaged-")]
check(len(kept) == 1, f"the damaged file is kept ({kept})")
check(rows("SELECT count(*) FROM calls") == ["8"], "and every call of CallLog.txt is back")
stop()

# Held by another program when the monitor starts: the calls it lacks come first once it is free,
# before the call made meanwhile, so the order of ids is the order of the calls.
with sqlite3.connect(database) as db:
    db.execute("DELETE FROM calls WHERE log_record >= 6")
holder = sqlite3.connect(database, timeout=0)
holder.execute("BEGIN EXCLUSIVE")
check(start(), "the monitor starts on a locked history")
check(call("call 6135554343 LATE CALLER"), "a call meanwhile is in CallLog.txt")
check(wait_until(lambda: "database is locked" in home.said(), 5), "the lock is named as such")
check("not an error" not in home.said() and "no transaction is active" not in home.said(),
      "and no reason is made up")
holder.rollback()
holder.close()
check(wait_until(lambda: rows("SELECT count(*) FROM calls") == ["9"], 15),
      "once free, the calls it lacked and the new one are in")
check(rows("SELECT log_record FROM calls ORDER BY id") == [str(i) for i in range(9)],
      "in the calls' order")
stop()

# A history of 100,000 calls: its export, its statistics and 32 NCID clients asking 10,000 lines
# each run while a call comes; the call is logged as soon as it would be without them.
with sqlite3.connect(database) as db:
    db.execute("""WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
        INSERT INTO calls (call_id, received, local_date, line_date, line_time, number, e164,
        name, digits, contact_uid, contact_name, blocked, block_rule, source, outcome, duration)
        SELECT 'old-' || i, '2026-01-01T10:00:00Z', '2026-01-01', '01/01', '10:00',
        '+1 (613) 555-' || substr('0000' || (i % 10000), -4), '', 'CALLER ' || i,
        '1613555' || substr('0000' || (i % 10000), -4), '', '', 0, '', 'modem', '', 0 FROM n""")
ncid_port = free_port()
while ncid_port == port:  # the page's port is free too while the monitor is stopped
    ncid_port = free_port()
home.settings(f"[NCID]\nListen=127.0.0.1:{ncid_port}\nLogLines=10000\n")
check(start(), "the monitor starts on a history of 100,000 calls")
session = log_in()


def latency_beside(heavy, name, after):
    """Seconds from a call's last byte to its record while `heavy` runs, and `heavy`'s own."""
    import threading
    taken = []
    worker = threading.Thread(target=lambda: taken.append(heavy()))
    before = calls_logged()
    worker.start()
    time.sleep(after)  # the requests are with the monitor
    sent = time.monotonic()
    home.modem_says(f"call 613555{7000 + len(name)} {name}")
    wait_until(lambda: calls_logged() == before + 1, 30, step=0.002)
    latency = time.monotonic() - sent
    worker.join()
    return latency, taken[0]


def timed(work):
    start_at = time.monotonic()
    work()
    return time.monotonic() - start_at


ncid_lines = []


def ncid_logs():
    # Eight from each of four hosts: the most one host may have.
    clients = [socket.create_connection(("127.0.0.1", ncid_port), 30, (f"127.0.3.{n % 4 + 1}", 0))
               for n in range(32)]
    for client in clients:
        data = b""
        # Live lines may follow the end of the start-up: a call's rings, and the end of them.
        while True:
            chunk = client.recv(1 << 20)
            if not chunk:
                break
            searched = max(0, len(data) - 40)
            data += chunk
            if b"300 End of connection startup" in data[searched:]:
                break
        ncid_lines.append(data.count(b"CIDLOG"))
        client.close()


def in_parallel(work, count):
    import threading
    workers = [threading.Thread(target=work) for _ in range(count)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()


# NCID clients get their log once the moment to say HELLO (a quarter of a second) has passed.
for name, heavy, after in (
        ("EXPORT", lambda: timed(lambda: api("/api/calls.csv", session)), 0.05),
        ("STATS", lambda: timed(lambda: in_parallel(
            lambda: api("/api/stats?days=366", session), 8)), 0.05),
        ("NCID", lambda: timed(ncid_logs), 0.6)):
    latency, took = latency_beside(heavy, f"BESIDE {name}", after)
    print(f"     a call beside {name.lower()} (which took {took * 1000:.0f} ms) "
          f"was logged in {latency * 1000:.0f} ms")
    # Under the sanitizers on a loaded machine a call alone takes a few milliseconds; held behind
    # the request it would take as long as the request.
    check(latency < 0.1, f"a call beside {name.lower()} is not held back")
check(api("/api/calls.csv", session).count(b"\r\n") > 100000, "the export holds every call")
check(ncid_lines == [10000] * 32, "each NCID client gets its 10,000 lines")
stop()

finish(home, "The history keeps every call.")
