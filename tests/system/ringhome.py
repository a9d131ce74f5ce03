"""A private home for one test run of the real programs: settings, data and runtime folders of
its own, the simulated modem on a link, and `ringdesk --headless` started on them."""
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time


failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def finish(homes, done):
    """Exits 1 keeping the home (or the list of homes) when a check failed; otherwise removes
    them and says `done`."""
    homes = homes if isinstance(homes, list) else [homes]
    for home in homes:
        home.stop()
    if failures:
        print(f"{len(failures)} failed; kept: {' '.join(home.path for home in homes)}")
        sys.exit(1)
    for home in homes:
        shutil.rmtree(home.path, ignore_errors=True)
    print(done)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, seconds=20, step=0.05):
    """The condition's value once it holds; None when it never did."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


class Home:
    def __init__(self, bin_dir, prefix="ringdesk-test-"):
        self.bin = bin_dir
        self.path = tempfile.mkdtemp(prefix=prefix)
        self.env = dict(os.environ, XDG_CONFIG_HOME=f"{self.path}/config",
                        XDG_DATA_HOME=f"{self.path}/data", XDG_CACHE_HOME=f"{self.path}/cache",
                        XDG_RUNTIME_DIR=f"{self.path}/run", QT_QPA_PLATFORM="offscreen",
                        ASAN_OPTIONS="detect_leaks=0")
        for folder in ("config/ringdesk", "data/ringdesk", "cache", "run"):
            os.makedirs(f"{self.path}/{folder}", mode=0o700)
        self.lists = f"{self.path}/config/ringdesk"
        self.data = f"{self.path}/data/ringdesk"
        self.modem = None
        self.monitor = None

    def settings(self, text):
        with open(f"{self.path}/config/zodode.ini", "a") as ini:
            ini.write(text)

    def set_password(self, password):
        return subprocess.run([f"{self.bin}/ringdesk", "--set-web-password"],
                              input=password + "\n", text=True, env=self.env,
                              capture_output=True)

    def start_modem(self, *options):
        self.modem = subprocess.Popen([f"{self.bin}/ringdesk-modemsim", "--link",
                                       f"{self.path}/modem", *options], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True, env=self.env)
        self.modem.stdout.readline()
        self.settings(f"\n[Ports]\nCom1={self.path}/modem\n[Modem]\nComPort=1\n"
                      "CallIDString=AT+VCID=1\n")

    def modem_says(self, command):
        self.modem.stdin.write(command + "\n")
        self.modem.stdin.flush()

    def start_monitor(self, open_files=None):
        """`open_files`: the monitor's limit of open files, soft and hard."""
        def limit():
            if open_files:
                resource.setrlimit(resource.RLIMIT_NOFILE, (open_files, open_files))
        self.out = open(f"{self.path}/monitor.out", "w")
        self.monitor = subprocess.Popen([f"{self.bin}/ringdesk", "--headless"], stdout=self.out,
                                        stderr=subprocess.STDOUT, env=self.env,
                                        preexec_fn=limit)

    def said(self):
        with open(f"{self.path}/monitor.out", errors="replace") as out:
            return out.read()

    def call_log(self):
        try:
            with open(f"{self.data}/CallLog.txt", errors="replace", newline="") as log:
                return log.read()
        except FileNotFoundError:
            return ""

    def rss_kb(self):
        with open(f"/proc/{self.monitor.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def sockets(self):
        """How many sockets the monitor has open."""
        count = 0
        for fd in os.listdir(f"/proc/{self.monitor.pid}/fd"):
            try:
                count += os.readlink(f"/proc/{self.monitor.pid}/fd/{fd}").startswith("socket:")
            except OSError:
                pass
        return count

    def cpu_seconds(self):
        with open(f"/proc/{self.monitor.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        for process in (self.monitor, self.modem):
            if process and process.poll() is None:
                process.kill()
                process.wait()
