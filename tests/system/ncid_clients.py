"""NCID clients of the real monitor, as the Network Caller ID API document describes a client:
it connects, says HELLO, reads the start-up up to "300", then the call lines; it may send MSG:
lines, which the server passes to every client. Calls come from the simulated modem and from a
fake FRITZ!Box that speaks AVM's call-monitor lines. The ring codes of CIDINFO are the
document's: a count for each ring, 0 when ringing stopped, -1 for a call that ended without an
answer, -2 for one that ended after it."""
import datetime
import glob
import socket
import sys
import threading

from ringhome import Home, check, finish, free_port, wait_until


class Client:
    """A feature-set-1 client: every line it received, without its line end."""

    def __init__(self, port, log=False):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.lines = []
        self.buffer = b""
        self.sock.sendall(b"HELLO: IDENT: client test 1.0\r\n")
        if not log:
            self.sock.sendall(b"HELLO: CMD: no_log\r\n")
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        while True:
            try:
                data = self.sock.recv(4096)
            except OSError:
                return
            if not data:
                return
            self.buffer += data
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                self.lines.append(line.rstrip(b"\r").decode("utf-8", "replace"))

    def started(self):
        return wait_until(lambda: "300 End of connection startup" in self.lines)

    def send(self, line):
        self.sock.sendall(line.encode() + b"\r\n")

    def ring_codes(self, line_id):
        """The RING counts of the CIDINFO lines for `line_id`, in order."""
        codes = []
        for line in self.lines:
            if line.startswith("CIDINFO:"):
                parts = line.split("*")
                fields = dict(zip(parts[1::2], parts[2::2]))
                if fields.get("LINE") == line_id:
                    codes.append(int(fields["RING"]))
        return codes

    def close(self):
        try:
            self.send("GOODBYE")
        except OSError:
            pass
        self.sock.close()


class FakeBox:
    """A FRITZ!Box's call monitor on TCP: one line per event, fields ending in ';', CR LF."""

    def __init__(self):
        self.server = socket.socket()
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.port = self.server.getsockname()[1]
        self.conn = None
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        self.conn, _ = self.server.accept()

    def say(self, event):
        now = datetime.datetime.now().strftime("%d.%m.%y %H:%M:%S")
        self.conn.sendall(f"{now};{event};\r\n".encode())


def run(bin_dir):
    home = Home(bin_dir, "ringdesk-ncid-")
    port = free_port()
    box = FakeBox()
    home.start_modem()
    home.settings(f"[Setup]\nAreaCode=613\n[NCID]\nListen=127.0.0.1:{port}\n"
                  f"[FritzBox]\nAddress=127.0.0.1:{box.port}\n")
    home.start_monitor()
    check(wait_until(lambda: "[NCID calls at" in home.said()) is not None, "NCID is served")
    check(wait_until(lambda: box.conn is not None) is not None, "the monitor reaches the box")
    first, second = Client(port), Client(port)
    check(first.started() and second.started(), "both clients finish their start-up")

    # A call from the modem that rings once after its caller ID and then no more: its rings, and
    # once the time between two rings has passed, 0.
    home.modem_says("call 6135551234 ACME LTD")
    check(wait_until(lambda: any(line.startswith("CID:") for line in first.lines)) is not None,
          "the modem's call reaches a client")
    cid = next(line for line in first.lines if line.startswith("CID:"))
    check("*NAME*ACME LTD*" in cid, f"a company's name goes as it came: {cid}")
    check(wait_until(lambda: 0 in first.ring_codes("-"), seconds=30) is not None,
          "ringing stopped is told with RING*0* once the rings end")
    codes = first.ring_codes("-")
    check(codes[-1] == 0 and all(code > 0 for code in codes[:-1]) and len(codes) >= 2,
          f"the rings counted, then 0: {codes}")
    card = wait_until(lambda: glob.glob(f"{home.data}/contacts/*.vcf"))
    text = open(card[0], newline="").read() if card else ""
    check("\r\nORG:ACME LTD\r\n" in text and "\r\nN:;;;;\r\n" in text,
          "the new card holds the company, and no first or last name")

    # Calls from the box: one answered and ended, one that rang out.
    box.say("RING;0;06135550177;5550100;SIP0")
    box.say("CONNECT;0;10;06135550177")
    check(wait_until(lambda: first.ring_codes("SIP0") == [0]) is not None,
          "an answer on the box ends the rings: RING*0*")
    box.say("DISCONNECT;0;42")
    check(wait_until(lambda: first.ring_codes("SIP0") == [0, -2]) is not None,
          "a call ended after its answer: RING*-2*")
    box.say("RING;1;06135550188;5550100;SIP1")
    box.say("DISCONNECT;1;0")
    check(wait_until(lambda: first.ring_codes("SIP1") == [0, -1]) is not None,
          f"a call that ended unanswered: RING*0*, then RING*-1*: {first.ring_codes('SIP1')}")
    check(second.ring_codes("SIP1") == first.ring_codes("SIP1"), "every client hears the same")

    # A message typed in one client reaches the other, with the fields the server starts "***".
    first.send("MSG: Dinner is ready ###DATE*12102026*TIME*1900*NAME*-*NMBR*-*LINE*-*MTYPE*USER*")
    relayed = wait_until(lambda: [line for line in second.lines if line.startswith("MSG: Dinner")])
    check(relayed == ["MSG: Dinner is ready ***DATE*12102026*TIME*1900*NAME*-*NMBR*-*LINE*-*"
                      "MTYPE*USER*"], f"the other client gets the message: {relayed}")
    check(wait_until(lambda: "[NCID message from 127.0.0.1: Dinner is ready]" in home.said())
          is not None, "the message is an event line")
    # Bounded: a long line is cut, and a client sending in a loop is heard once a second.
    second.send("MSG: " + "x" * 5000)
    check(wait_until(lambda: any(line.startswith("MSG: xxx") for line in first.lines))
          is not None, "a long message still arrives")
    long_line = next(line for line in first.lines if line.startswith("MSG: xxx"))
    check(len(long_line) <= 310, f"cut to one short line: {len(long_line)} characters")
    looping = Client(port)
    check(looping.started(), "a third client starts")
    for n in range(20):
        looping.send(f"MSG: again {n}")
    check(wait_until(lambda: "faster than one a second" in home.said()) is not None,
          "a flood of messages is said once")
    check(wait_until(lambda: "MSG: again 0" in first.lines) is not None,
          "the flood's first message is passed on")
    check(not any(line.startswith("MSG: again 1") for line in first.lines),
          "the rest of the flood does not reach the other clients")
    looping.close()

    # Numbers as bare digits, for clients that lay them out themselves: the log says so too.
    first.close()
    second.close()
    home.monitor.kill()
    home.monitor.wait()
    home.settings("\n[NCID]\nNumberFormat=digits\n")
    home.start_monitor()
    check(wait_until(lambda: "[NCID calls at" in home.said()) is not None, "NCID served again")
    logged = Client(port, log=True)
    check(logged.started(), "a client with the log starts")
    log = [line for line in logged.lines if line.startswith("CIDLOG:")]
    check(any("*NMBR*16135551234*" in line for line in log),
          f"NumberFormat=digits sends bare digits: {log}")
    logged.close()
    finish(home, "NCID clients: ring codes, messages and number format hold")


run(sys.argv[1])
