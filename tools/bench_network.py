"""Measures the NCID server and the FRITZ!Box source through the real monitor
(tools/bench-network.sh)."""
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


def stop(home):
    home.monitor.send_signal(signal.SIGTERM)
    home.monitor.wait(20)
    home.stop()
    shutil.rmtree(home.path, ignore_errors=True)


def now_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000


def ncid():
    """Modem's last byte (the simulator's "done call" time) to the CID line at a client."""
    home = Home(BIN, "ringdesk-bench-ncid-")
    home.start_modem()
    port = free_port()
    home.settings(f"[Setup]\nAreaCode=613\nCountry=US\nAutoCreateContact=0\n"
                  f"[NCID]\nListen=127.0.0.1:{port}\n")
    home.start_monitor()
    wait_until(lambda: "[NCID calls at" in home.said(), 60)
    wait_until(lambda: "[System Ready" in home.said(), 60)
    client = socket.create_connection(("127.0.0.1", port))
    client.settimeout(10)
    received = b""
    while b"300 End of connection startup" not in received:
        received += client.recv(65536)
    times = []
    for n in range(CALLS):
        home.modem_says(f"call 61322{n:05d} CALLER {n}")
        done = None
        while done is None:
            line = home.modem.stdout.readline().split()
            if len(line) == 3 and line[0] == "done" and line[1] == "call":
                done = int(line[2])
        received = b""
        while b"\nCID: " not in b"\n" + received:
            received += client.recv(65536)
        times.append((now_us() - done) / 1000)
        time.sleep(0.3)
    stop(home)
    return times


def fritzbox():
    """A RING line written by the box to the call's record in CallLog.txt."""
    home = Home(BIN, "ringdesk-bench-fritzbox-")
    box = socket.socket()
    box.bind(("127.0.0.1", 0))
    box.listen(1)
    home.settings(f"[Setup]\nFindModem=0\nCountry=DE\nAutoCreateContact=0\n"
                  f"[FritzBox]\nAddress=127.0.0.1:{box.getsockname()[1]}\n")
    home.start_monitor()
    connection, _ = box.accept()
    wait_until(lambda: "listening for calls" in home.said(), 60)
    times = []
    for n in range(CALLS):
        before = home.call_log().count("\r\n")
        stamp = datetime.datetime.now().strftime("%d.%m.%y %H:%M:%S")
        start = time.perf_counter()
        connection.sendall(f"{stamp};RING;{n};0301234{n:04d};0301234;SIP0;\r\n".encode())
        wait_until(lambda: home.call_log().count("\r\n") > before, 10, 0.0002)
        times.append((time.perf_counter() - start) * 1000)
        connection.sendall(f"{stamp};DISCONNECT;{n};0;\r\n".encode())
        time.sleep(0.3)
    stop(home)
    return times


for name, times in (("modem's last byte -> CID line at an NCID client", ncid()),
                    ("FRITZ!Box RING line -> CallLog.txt", fritzbox())):
    print(f"{name}: median {statistics.median(times):.2f} ms, "
          f"max {max(times):.2f} ms ({len(times)} calls, release build)")
