"""Measures the call history through the real monitor and its web API (tools/bench-history.sh)."""
import datetime
import os
import shutil
import signal
import socket
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "system"))
from ringhome import Home, free_port, wait_until  # noqa: E402

BIN, CALLS = sys.argv[1], int(sys.argv[2])


def run(calls):
    home = Home(BIN, "ringdesk-bench-history-")
    port = free_port()
    home.set_password("bench password")
    home.start_modem()
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Web]\nListen=127.0.0.1:{port}\n")
    # Two years of calls in order, up to a minute ago.
    now = datetime.datetime.now() - datetime.timedelta(minutes=1)
    with open(f"{home.data}/CallLog.txt", "w", newline="") as log:
        for n in range(1, calls + 1):
            when = now - datetime.timedelta(days=730) * (calls - n) / calls
            log.write(f'"{when:%m/%d %H:%M} +1 (613) {200 + n // 10000}-{n % 10000:04d} '
                      f'CALLER {n}"\r\n')
    started = time.monotonic()
    home.start_monitor()
    wait_until(lambda: "[System Ready" in home.said(), 120, 0.01)
    ready = time.monotonic() - started
    wait_until(lambda: f"[Web page at" in home.said(), 30)
    time.sleep(2)  # settled
    rss = home.rss_kb()
    pss = 0
    with open(f"/proc/{home.monitor.pid}/smaps_rollup") as smaps:
        for line in smaps:
            if line.startswith("Pss:"):
                pss = int(line.split()[1])

    def request(raw):
        s = socket.create_connection(("127.0.0.1", port))
        s.sendall(raw)
        data = b""
        while chunk := s.recv(65536):
            data += chunk
        s.close()
        return data

    body = b"password=bench+password"
    answer = request(b"POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                     b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body).decode()
    session = answer.split("ringdesk_session=", 1)[1].split(";", 1)[0]

    # One kept-alive connection, as a browser's page uses.
    page = socket.create_connection(("127.0.0.1", port))

    def timed(path):
        times = []
        for _ in range(20):
            start = time.perf_counter()
            page.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         f"Cookie: ringdesk_session={session}\r\n\r\n".encode())
            data = b""
            while b"\r\n\r\n" not in data:
                data += page.recv(65536)
            head, body = data.split(b"\r\n\r\n", 1)
            length = int(head.split(b"Content-Length: ")[1].split(b"\r\n")[0])
            while len(body) < length:
                body += page.recv(65536)
            times.append((time.perf_counter() - start) * 1000)
        return statistics.median(times)

    figures = {
        "ready": ready, "rss": rss, "pss": pss,
        "page": timed("/api/calls?limit=50"),
        "older": timed(f"/api/calls?limit=50&before={calls // 2}"),
        "digits": timed("/api/calls?q=555-4242"),
        "punctuation": timed("/api/calls?q=%28613%29%202054242"),
        "name": timed("/api/calls?q=caller%2042424"),
        "rare": timed("/api/calls?q=nobody%20at%20all"),
        "stats": timed("/api/stats?days=30"),
    }
    home.monitor.send_signal(signal.SIGTERM)
    home.monitor.wait(20)
    home.stop()
    shutil.rmtree(home.path, ignore_errors=True)
    return figures


small = run(10)
large = run(CALLS)
print(f"{CALLS} calls in CallLog.txt, release build, this machine; medians of 20 requests "
      "on one kept-alive connection:")
print(f"  start with import to System Ready: {large['ready']:.2f} s (10 calls: {small['ready']:.2f} s)")
for key, what in (("page", "newest 50"), ("older", "50 further back"),
                  ("digits", "search 555-4242"), ("punctuation", "search (613) 2054242"),
                  ("name", "search caller 42424"), ("rare", "search that finds nothing"),
                  ("stats", "stats of 30 days")):
    print(f"  {what}: {large[key]:.2f} ms (10 calls: {small[key]:.2f} ms)")
print(f"  RSS after start: {large['rss']} kB (10 calls: {small['rss']} kB, "
      f"{(large['rss'] - small['rss']) / 1024:+.1f} MB); PSS {large['pss']} kB "
      f"(10 calls: {small['pss']} kB)")
