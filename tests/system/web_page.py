#!/usr/bin/python3
"""The household's web page in a real browser: `ringdesk --headless` on the simulated modem with
a call log of 100,000 calls, driven by Chromium through Selenium.

Usage: web_page.py BIN_DIR [--screenshot PNG]
Exits 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import atexit
import http.client
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import sqlite3
import tempfile
import time
import wave

import chromium
from selenium.webdriver.common.by import By
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.support.ui import WebDriverWait

BIN = sys.argv[1]
SCREENSHOT = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
PASSWORD = "household phone"
HISTORY = 100_000
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_until(condition, seconds=20):
    """The condition's value once it holds, asked every 50 ms; None when it never did."""
    try:
        return WebDriverWait(None, seconds, poll_frequency=0.05).until(lambda _: condition())
    except TimeoutException:
        return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


home = tempfile.mkdtemp(prefix="ringdesk-web-")
env = dict(os.environ, XDG_CONFIG_HOME=f"{home}/config", XDG_DATA_HOME=f"{home}/data",
           XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/run",
           QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
for folder in ("config/ringdesk", "data/ringdesk", "cache", "run"):
    os.makedirs(f"{home}/{folder}", mode=0o700)
port = free_port()
with open(f"{home}/data/ringdesk/CallLog.txt", "w", newline="") as log:
    for n in range(1, HISTORY + 1):
        log.write(f"{n // 3000 % 12 + 1:02d}/{n % 28 + 1:02d} {n % 24:02d}:{n % 60:02d} "
                  f"+1 (613) {200 + n // 10000}-{n % 10000:04d} CALLER {n}\r\n")

set_password = subprocess.run([f"{BIN}/ringdesk", "--set-web-password"], input=PASSWORD + "\n",
                              text=True, env=env, capture_output=True)
check(set_password.returncode == 0, "ringdesk --set-web-password stores the password")
settings = open(f"{home}/config/zodode.ini").read()
check("$argon2id$" in settings and PASSWORD not in settings, "only an Argon2id hash is stored")

modem = subprocess.Popen([f"{BIN}/ringdesk-modemsim", "--link", f"{home}/modem"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env)
atexit.register(modem.kill)
modem.stdout.readline()
with open(f"{home}/config/zodode.ini", "a") as ini:
    ini.write(f"\n[Ports]\nCom1={home}/modem\n[Modem]\nComPort=1\nCallIDString=AT+VCID=1\n"
              f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Web]\nListen=127.0.0.1:{port}\n"
              f"[Screening]\nMode=1\nHangupDelay=200\n")
with open(f"{home}/neighbours.txt", "w") as plain:
    plain.write("# from next door\n613-555-0188\n613-555-0189\n")
imported = subprocess.run([f"{BIN}/ringdesk", "--import-blocklist", f"{home}/neighbours.txt",
                           "--source", "neighbours"], env=env, capture_output=True, text=True)
check(imported.returncode == 0, "a block list is imported: " + imported.stdout + imported.stderr)
monitor_out = open(f"{home}/monitor.out", "w")
monitor = subprocess.Popen([f"{BIN}/ringdesk", "--headless"], stdout=monitor_out,
                           stderr=subprocess.STDOUT, env=env)
atexit.register(monitor.kill)
base = f"http://127.0.0.1:{port}"
check(wait_until(lambda: f"[Web page at {base}/]" in open(f"{home}/monitor.out").read(), 60),
      "the monitor serves the page and says where")


def request(method, path, body=None, headers=None, source="127.0.0.1"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10,
                                            source_address=(source, 0))
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    data = response.read()
    connection.close()
    return response, data


# Every page and API call wants a session.
response, _ = request("GET", "/")
check(response.status == 303 and response.getheader("Location") == "/login",
      "the page sends a visitor without a session to the log-in")
for method, path in [("GET", "/api/calls"), ("GET", "/api/state"), ("GET", "/api/events"),
                     ("GET", "/api/blocked"), ("POST", "/api/blocked"), ("DELETE", "/api/allowed")]:
    response, _ = request(method, path, body=b'{"entry":"613-555-0100"}')
    check(response.status == 401, f"{method} {path} without a session: 401")

browser = chromium.start(f"{home}/chromium", 1000, 800,
                         "--autoplay-policy=no-user-gesture-required")
try:
    browser.get(base + "/")
    check(browser.current_url == base + "/login", "the browser lands on the log-in page")
    browser.find_element(By.ID, "password").send_keys(PASSWORD + "\n")
    rows = lambda: browser.find_elements(By.CSS_SELECTOR, "#call-rows tr")
    # Read in one go: the list may be redrawn between two reads.
    column = lambda name: browser.execute_script(
        f"return [...document.querySelectorAll('#call-rows .{name}')].map(e => e.textContent);")
    check(wait_until(lambda: len(rows()) == 50), "logged in, the newest 50 calls are listed")
    check(column("name")[0] == f"CALLER {HISTORY}", "newest first")
    cookie = browser.get_cookie("ringdesk_session")
    check(cookie is not None and cookie["httpOnly"] and cookie.get("sameSite") == "Strict",
          "the session cookie is HttpOnly and SameSite=Strict")
    session = {"Cookie": f"ringdesk_session={cookie['value']}"}

    # Paging back and searching the whole history.
    browser.find_element(By.ID, "older").click()
    check(wait_until(lambda: len(rows()) == 100), "\"Older calls\" adds the next 50")
    search = browser.find_element(By.ID, "search")
    search.send_keys("CALLER 4242")
    expected = [f"CALLER {n}" for n in range(42429, 42419, -1)] + ["CALLER 4242"]
    check(wait_until(lambda: column("name") == expected),
          f"a search finds the calls of the whole history ({column('name')[:12]})")
    search.clear()
    search.send_keys(" ")
    search.clear()

    def timed(path):
        times = []
        for _ in range(10):
            start = time.perf_counter()
            response, _ = request("GET", path, headers=session)
            times.append((time.perf_counter() - start) * 1000)
            assert response.status == 200
        return statistics.median(times)

    newest = timed("/api/calls?limit=50")
    found = timed("/api/calls?limit=50&q=CALLER%204242")
    older = timed("/api/calls?limit=50&before=50000")
    print(f"     /api/calls over {HISTORY} calls: limit=50 {newest:.1f} ms, before= {older:.1f} ms, "
          f"search {found:.1f} ms (median of 10)")
    # The figures asked for are 20 ms and 100 ms on a release build; the test suite's build runs
    # under the sanitizers, several times slower.
    check(newest < 100 and older < 100, "a page of 50 calls comes quickly")
    check(found < 500, "a search over the whole history comes quickly")

    # A live call, its name holding HTML, appears at the top without a reload.
    check(wait_until(lambda: len(column("name")) == 50 and column("name")[0] == f"CALLER {HISTORY}"),
          "the list is back to the newest calls")
    browser.execute_script("""
        window.rowAddedAt = 0;
        new MutationObserver(() => { if (!window.rowAddedAt) window.rowAddedAt = Date.now(); })
            .observe(document.getElementById('call-rows'), {childList: true});""")
    modem.stdin.write("call 6135550123 <b>BOLD</b><img src=x onerror=alert(1)>\n")
    modem.stdin.flush()
    check(wait_until(lambda: column("number")[:1] == ["+1 (613) 555-0123"]),
          "a new call appears without a reload")
    logged = os.stat(f"{home}/data/ringdesk/CallLog.txt").st_mtime_ns / 1e6
    shown = browser.execute_script("return window.rowAddedAt;")
    print(f"     the call was in the page {shown - logged:.0f} ms after it was logged")
    check(shown - logged < 500, "the page shows a call soon after it is logged")
    # Read in one script call: the row may be redrawn between two lookups.
    text, markup = browser.execute_script(
        "const n = document.querySelector('#call-rows tr .name');"
        "return [n.textContent, n.querySelectorAll('b, img').length];")
    check(text == "<b>BOLD</b><img src=x onerror=alert(1)>" and markup == 0,
          "a caller's HTML is shown as text")

    if SCREENSHOT:
        browser.save_screenshot(SCREENSHOT)

    # On a phone's 390 pixels: nothing wider than the screen, each number on one line, and the
    # one button per call.
    browser.set_window_size(390, 844)
    fits = lambda: browser.execute_script(
        "return [document.documentElement.scrollWidth, window.innerWidth,"
        " [...document.querySelectorAll('#call-rows .number')].every(n => {"
        "   const r = document.createRange(); r.selectNodeContents(n);"
        "   return r.getClientRects().length <= 1; }),"
        " [...document.querySelectorAll('#call-rows tr')].every(r =>"
        "   !/\\d/.test(r.querySelector('.number').textContent) ||"
        "   r.querySelectorAll('button').length === 1)];")
    check(wait_until(lambda: fits()[0] <= fits()[1] and fits()[2] and fits()[3]),
          f"on a 390-pixel phone the page fits, numbers on one line ({fits()})")
    browser.set_window_size(1000, 800)

    # Looking back: thirty days as a chart, the most frequent callers, one number's calls.
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=history]").click()
    check(wait_until(lambda: browser.execute_script(
        "return [typeof charts !== 'undefined' && charts.days ? charts.days.data[0].length : 0,"
        " document.querySelectorAll('#top-rows tr').length > 0];") == [30, True]),
        "\"Looking back\" shows thirty days and the most frequent callers")
    top = browser.execute_script("const n = document.querySelector('#top-rows .number');"
                                 "n.click(); return n.textContent;")
    check(wait_until(lambda: column("number") and set(column("number")) == {top}),
          f"a click on a number lists that number's calls ({top})")
    browser.execute_script("document.querySelector('#number-filter button').click();")
    check(wait_until(lambda: len(column("number")) == 50), "and \"All calls\" all of them again")

    # "Block" writes blocked.txt; the row's one button then offers "Unblock". Clicked and read
    # by script in one go: the list may be redrawn between two lookups.
    first_button = lambda: browser.execute_script(
        "const b = document.querySelector('#call-rows tr button'); return b && b.textContent;")
    check(first_button() == "Block", "a caller not on the lists is offered Block")
    browser.execute_script("document.querySelector('#call-rows tr button').click();")
    blocked = f"{home}/config/ringdesk/blocked.txt"
    check(wait_until(lambda: os.path.exists(blocked) and
                     open(blocked).read() == "+1 613-555-0123\n"), "\"Block\" writes blocked.txt")
    check(wait_until(lambda: first_button() == "Unblock"), "then the row offers Unblock")
    # A line written by hand in another spelling goes too on Unblock; a bad line is shown.
    with open(blocked, "a") as hand:
        hand.write("613-555-0123\n613-555-0124 613-555-0125\n")
    browser.execute_script("document.querySelector('#call-rows tr button').click();")
    check(wait_until(lambda: open(blocked).read() == "613-555-0124 613-555-0125\n"),
          "\"Unblock\" takes the number off in every spelling")
    check(wait_until(lambda: first_button() == "Block"), "then the row offers Block again")
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=lists]").click()
    check(wait_until(lambda: browser.execute_script(
        "return [...document.querySelectorAll('[data-list=blocked] .problems li')]"
        ".map(e => e.textContent);") == [
            'line 1: "613-555-0124 613-555-0125" is no entry (one number has 3 to 15 digits, '
            'not 20); skipped']),
        "the lists page shows a bad line with its number and why")
    with open(blocked, "w") as hand:
        hand.write("+1 (613) 555-0123\n")
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=calls]").click()
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=lists]").click()
    check(wait_until(lambda: browser.execute_script(
        "return [...document.querySelectorAll('[data-list=blocked] li span')]"
        ".map(e => e.textContent);") == ["+1 (613) 555-0123"]),
        "the lists page shows the entry")
    box = browser.find_element(By.CSS_SELECTOR, "[data-list=allowed]")
    box.find_element(By.NAME, "entry").send_keys("name: *PLUMBER*\n")
    check(wait_until(lambda: open(f"{home}/config/ringdesk/allowed.txt").read() ==
                     "name: *PLUMBER*\n" if os.path.exists(f"{home}/config/ringdesk/allowed.txt")
                     else False), "an entry added on the lists page is in allowed.txt")
    sources = lambda: browser.execute_script(
        "return [...document.querySelectorAll('#sources li span')].map(e => e.textContent);")
    check(wait_until(lambda: [text.split(", imported")[0] for text in sources()] ==
                     ["neighbours: 2 numbers"]), "the lists page counts an imported list")
    browser.execute_script("document.querySelector('#sources li button').click();")
    check(wait_until(lambda: not sources() and
                     not os.path.exists(f"{home}/data/ringdesk/blocklists/neighbours.list")),
          "\"Drop\" takes the imported list away")

    # Let the next call through: the blocked caller rings once.
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=calls]").click()
    browser.find_element(By.ID, "permit-next").click()
    check(wait_until(lambda: browser.find_element(By.ID, "permit-said").text ==
                     "The next call that screening would block will ring, once."),
          "\"Let the next call through\" is taken")
    modem.stdin.write("call 6135550123 STRANGER\n")
    modem.stdin.flush()
    check(wait_until(lambda: "[Let through once: +1 (613) 555-0123, which screening would block"
                     in open(f"{home}/monitor.out").read()),
          "the next blocked caller rings, and the event says why")

    # A thousand messages: listed at once, the newest played in the page (the browser fetches
    # its audio by ranges) and heard from then on.
    folder = f"{home}/data/ringdesk/messages"
    os.makedirs(folder)
    with sqlite3.connect(f"{home}/data/ringdesk/calls.sqlite", timeout=30) as db:
        calls = [row[0] for row in db.execute(
            "SELECT call_id FROM calls ORDER BY id DESC LIMIT 1000")]
        for n, call in enumerate(reversed(calls)):
            path = f"{folder}/20261201-{n:06d}.wav"
            with wave.open(path, "wb") as out:
                out.setnchannels(1)
                out.setsampwidth(2)
                out.setframerate(8000)
                out.writeframes(bytes(2 * 8000 * (2 if n == len(calls) - 1 else 1)))
            db.execute("INSERT INTO messages (call_id, file, seconds, heard, received) VALUES "
                       "(?, ?, ?, 0, ?)", (call, path, 2 if n == len(calls) - 1 else 1,
                                          f"2026-12-01T{n // 3600 % 24:02d}:{n // 60 % 60:02d}:"
                                          f"{n % 60:02d}Z"))
    listed = timed("/api/messages")
    print(f"     /api/messages with 1,000 messages: {listed:.1f} ms (median of 10)")
    # 100 ms asked for, on a release build; the suite's runs under the sanitizers.
    check(listed < 200, "the API lists 1,000 messages quickly")
    listed_in = browser.execute_script("""
        const start = performance.now();
        const done = new Promise((resolve) => new MutationObserver((_, watch) => {
            if (document.querySelectorAll('#message-rows tr').length === 1000) {
                watch.disconnect();
                resolve(performance.now() - start);
            }
        }).observe(document.getElementById('message-rows'), {childList: true}));
        document.querySelector('nav button[data-view=messages]').click();
        return done;""")
    print(f"     the page listed 1,000 messages {listed_in:.0f} ms after the click")
    check(listed_in < 300, "the page lists them quickly")
    browser.execute_script("document.querySelector('#message-rows .play').click();")
    player = lambda: browser.execute_script(
        "const a = document.querySelector('#message-rows audio');"
        "return [a.readyState, a.duration, a.error && a.error.message,"
        " a.closest('tr').classList.contains('unheard')];")
    check(wait_until(lambda: player()[0] >= 1 and abs(player()[1] - 2) < 0.01),
          f"the audio element loads the newest message, 2 s long ({player()})")
    check(not player()[3], "played, its row is no longer unheard")
    newest = json.loads(request("GET", "/api/messages", headers=session)[1])["messages"][0]
    check(newest["heard"], "and the monitor has it heard")
    response, part = request("GET", f"/api/message?id={newest['id']}",
                             headers=dict(session, Range="bytes=44-99"))
    check(response.status == 206 and len(part) == 56, "its audio answers byte ranges")
finally:
    browser.quit()

# A form or script on another site cannot change anything.
for header in ({"Origin": "http://evil.example"}, {"Sec-Fetch-Site": "cross-site"}):
    for path in ("/api/blocked", "/api/permit-next"):
        response, _ = request("POST", path, body=b'{"entry":"613-555-0777"}',
                              headers=dict(session, **header,
                                           **{"Content-Type": "application/json"}))
        check(response.status == 403, f"a cross-site POST {path} ({list(header)[0]}) is refused")
check("613-555-0777" not in open(f"{home}/config/ringdesk/blocked.txt").read(),
      "and blocked.txt is unchanged")
check("[The next call that screening would block" not in
      open(f"{home}/monitor.out").read().split("[Let through once: ")[-1],
      "and no call is let through")

# Wrong passwords: five answered, then refused (from another address than the browser's).
for attempt in range(1, 7):
    response, _ = request("POST", "/login", body="password=guess", source="127.0.0.2",
                          headers={"Content-Type": "application/x-www-form-urlencoded"})
    expected = 303 if attempt <= 5 else 429
    check(response.status == expected, f"wrong password {attempt}: {expected}")
response, _ = request("POST", "/login", body="password=" + PASSWORD.replace(" ", "+"),
                      source="127.0.0.2",
                      headers={"Content-Type": "application/x-www-form-urlencoded"})
check(response.status == 429, "even the right password waits after five wrong ones")
response, _ = request("POST", "/login", body="password=" + PASSWORD.replace(" ", "+"),
                      headers={"Content-Type": "application/x-www-form-urlencoded"})
check(response.status == 303 and "HttpOnly" in (response.getheader("Set-Cookie") or ""),
      "another address still logs in")

monitor.terminate()
monitor.wait(20)
modem.terminate()
modem.wait(20)
if failures:
    print(f"{len(failures)} failed; the home is kept: {home}")
    sys.exit(1)
shutil.rmtree(home, ignore_errors=True)
print("The web page works in a real browser.")
