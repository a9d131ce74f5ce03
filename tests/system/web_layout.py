#!/usr/bin/python3
"""The web page's "Looking back" charts and its layout, in Chromium through the real monitor.

The charts: dated axes, the counts of the bar under the pointer, the same numbers as text for
screen readers, and the page's colours in light and dark mode. The layout, at a phone's 390×844
and a desktop's 1280×900, judged by the boxes the browser laid out: nothing wider than the
window, no text outside its cell, no word broken between two lines.

Usage: web_layout.py BIN_DIR. Exits 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import datetime
import sys

from ringhome import Home, check, finish, free_port, wait_until

import chromium
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

PASSWORD = "household phone"
LONG_NAMES = ["TREMBLAY MARIE-CHRISTINE", "FONDATION QUEBECOISE DES MALADIES DU COEUR",
              "BOULANGERIE PATISSERIE LAFLEUR ET FILS", "WIRELESS CALLER"]

# The boxes the browser laid out, in the view shown: what is wider than the window, text that
# stands outside its element, and words whose letters fall on two lines (a break between two
# letters or digits; a break after a space or a hyphen is the line's to make).
FAULTS = r"""
const faults = [];
const width = document.documentElement.clientWidth;
if (document.documentElement.scrollWidth > width)
  faults.push(`the page is ${document.documentElement.scrollWidth} px wide in ${width}`);
const shown = (e) => e.offsetParent !== null && !e.closest('.for-readers, .uplot');
const walker = document.createTreeWalker(document.querySelector('main'), NodeFilter.SHOW_TEXT);
const range = document.createRange();
for (let node = walker.nextNode(); node; node = walker.nextNode()) {
  const box = node.parentElement;
  if (!shown(box) || !node.textContent.trim()) continue;
  const outer = box.getBoundingClientRect();
  range.selectNodeContents(node);
  for (const r of range.getClientRects()) {
    if (r.width && (r.left < outer.left - 1 || r.right > outer.right + 1 || r.right > width + 1))
      faults.push(`"${node.textContent.slice(0, 40)}" stands outside its ${box.tagName}`);
  }
  const text = node.textContent;
  let before = null;
  for (let i = 0; i < text.length; i++) {
    range.setStart(node, i);
    range.setEnd(node, i + 1);
    const rect = range.getClientRects()[0];
    if (rect && before && /[\p{L}\p{N}]/u.test(text[i]) && /[\p{L}\p{N}]/u.test(text[i - 1]) &&
        rect.top >= before.bottom - 1)
      faults.push(`"${text}" breaks inside a word at "${text.slice(Math.max(0, i - 5), i)}|` +
                  `${text.slice(i, i + 5)}"`);
    before = rect;
  }
}
return faults;
"""


def run(bin_dir):
    home = Home(bin_dir, "ringdesk-layout-")
    port = free_port()
    # Calls of the last days, oldest first as a log grows: three on the fifth day back, one on
    # the second, at known hours.
    today = datetime.date.today()
    with open(f"{home.data}/CallLog.txt", "w", newline="") as log:
        for back, hour, n in [(5, 9, 1), (5, 9, 2), (5, 14, 3), (2, 20, 4)]:
            day = today - datetime.timedelta(days=back)
            log.write(f"{day.month:02d}/{day.day:02d} {hour:02d}:{n:02d} +1 (613) 555-{n:04d} "
                      f"{LONG_NAMES[n % len(LONG_NAMES)]}\r\n")
    check(home.set_password(PASSWORD).returncode == 0, "a web password is set")
    home.start_modem()
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=0\n[Web]\nListen=127.0.0.1:{port}\n"
                  "[Screening]\nMode=1\nHangupDelay=200\n")
    with open(f"{home.lists}/blocked.txt", "w") as blocked:
        blocked.write("613-555-0199\n")
    home.start_monitor()
    check(wait_until(lambda: "[Web page at" in home.said(), 60) is not None, "the page is served")
    # Today: a long name blocked (its mark beside it), a long name let through.
    home.modem_says("call 6135550199 TREMBLAY MARIE-CHRISTINE")
    check(wait_until(lambda: "TREMBLAY MARIE-CHRISTINE" in home.call_log()) is not None,
          "the blocked call is logged")
    home.modem_says("call 6135550142 FONDATION QUEBECOISE DES MALADIES")
    check(wait_until(lambda: home.call_log().count("\r\n") >= 6) is not None,
          "the second call is logged")

    browser = chromium.start(f"{home.path}/chromium", 1280, 900)
    try:
        browser.get(f"http://127.0.0.1:{port}/")
        browser.find_element(By.ID, "password").send_keys(PASSWORD + "\n")
        check(wait_until(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#call-rows tr"))
                         == 6) is not None, "logged in, the six calls are listed")
        check_charts(browser)
        check_layout(browser)
        # Nothing the page needs comes from outside the house.
        outside = browser.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)"
            ".filter(n => !n.startsWith(location.origin));")
        check(outside == [], f"every file of the page is the monitor's own: {outside}")
    finally:
        browser.quit()
    finish(home, "web layout: the charts read and the page fits, on a phone and a desktop")


def check_charts(browser):
    browser.find_element(By.CSS_SELECTOR, "nav button[data-view=history]").click()
    drawn = lambda: browser.execute_script(
        "return typeof charts !== 'undefined' && charts.days && charts.hours &&"
        " charts.days.data[0].length === 30 && charts.hours.data[0].length === 24;")
    check(wait_until(drawn) is not None, "\"Looking back\" draws thirty days and 24 hours")
    stats = browser.execute_script(
        "return fetch('/api/stats?days=30').then(r => r.json());")
    days = [(d["calls"], d["blocked"]) for d in stats["days"]]
    check(days[-1] == (2, 1) and days[-6] == (3, 0) and days[-3] == (1, 0) and sum(
        c for c, _ in days) == 6, f"the API counts the calls per day: {days[-6:]}")
    hours = [h["calls"] for h in stats["hours"]]
    check(hours[9] == 2 and hours[14] == 1 and hours[20] == 1 and sum(hours) == 6,
          f"and per hour: {hours}")

    # The screen reader's text: one row per day and per hour, the same numbers.
    rows = browser.execute_script(
        "return [...document.querySelectorAll('#days-rows tr')].map(r =>"
        " [...r.cells].map(c => c.textContent));")
    check(len(rows) == 30 and [(int(r[1]), int(r[2])) for r in rows] == days and
          all(r[0] for r in rows), f"the days as text for screen readers: {rows[-1]}")
    hour_rows = browser.execute_script(
        "return [...document.querySelectorAll('#hours-rows tr')].map(r => r.cells[0].textContent"
        " + '=' + r.cells[1].textContent);")
    check(hour_rows[9] == "09:00=2" and len(hour_rows) == 24, f"the hours too: {hour_rows[9]}")

    # The axes: dates along the days, hours along the day, whole counts up the side.
    ticks = browser.execute_script(
        "return [charts.days.axes[0]._values, charts.hours.axes[0]._values,"
        " charts.days.axes[1]._values];")
    month = datetime.date.today()
    check(ticks[0] and any(f"{month.month}/" in str(t) for t in ticks[0]),
          f"the days' axis is dated: {ticks[0]}")
    check(ticks[1] and "00:00" in ticks[1] and all(":00" in t or t == "" for t in ticks[1]),
          f"the hours' axis reads as hours: {ticks[1]}")
    check(ticks[2] and all(t == "" or t.isdigit() for t in ticks[2]),
          f"the counts' axis holds whole numbers: {ticks[2]}")

    # Hovering today's bar shows its counts in the legend.
    def hover(key, index):
        over = browser.find_element(By.CSS_SELECTOR, f"#{key}-chart .u-over")
        x, width, height = browser.execute_script(
            f"const u = charts['{key}']; const o = u.over.getBoundingClientRect();"
            f"return [u.valToPos(u.data[0][{index}], 'x'), o.width, o.height];")
        ActionChains(browser).move_to_element_with_offset(
            over, int(x - width / 2), int(height / 2 - 5)).perform()
        return wait_until(lambda: browser.execute_script(
            f"return [...document.querySelectorAll('#{key}-chart .u-legend .u-value')]"
            ".map(v => v.textContent);")[1:] != ["", ""] and browser.execute_script(
            f"return [...document.querySelectorAll('#{key}-chart .u-legend .u-value')]"
            ".map(v => v.textContent);"))
    legend = hover("days", 29)
    check(legend and legend[1:] == ["2", "1"] and legend[0],
          f"hovering today's bar shows its calls and blocked calls: {legend}")
    legend = hover("hours", 9)
    check(legend and legend[0] == "09:00" and legend[1] == "2",
          f"hovering nine o'clock shows its calls: {legend}")

    # The colours are the page's: light, then dark when the desktop asks for it.
    colours = lambda: browser.execute_script(
        "const s = getComputedStyle(document.body);"
        "const u = charts.days;"
        "return [u.series[1].fill(u, 1), s.getPropertyValue('--bar-calls').trim(),"
        " u.series[2].fill(u, 2), s.getPropertyValue('--bar-blocked').trim(),"
        " u.axes[0].stroke(u, 0), s.getPropertyValue('--text').trim()];")
    light = colours()
    check(light[0] == light[1] and light[2] == light[3] and light[4] == light[5],
          f"the charts take the page's light colours: {light}")
    browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {
        "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    dark = wait_until(lambda: colours()[0] != light[0] and colours())
    check(dark and dark[0] == dark[1] and dark[2] == dark[3] and dark[4] == dark[5],
          f"and the dark ones in dark mode: {dark}")
    browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})


def check_layout(browser):
    for width, height in [(390, 844), (1280, 900)]:
        browser.set_window_size(width, height)
        for view in ["calls", "history", "lists", "state"]:
            browser.execute_script(
                f"document.querySelector('nav button[data-view={view}]').click();")
            # Laid out once its rows are in and the window has its new width.
            wait_until(lambda: browser.execute_script(
                f"return document.documentElement.clientWidth <= {width} &&"
                f" !document.getElementById('{view}').hidden &&"
                f" document.querySelectorAll('#{view} li, #{view} tr, #{view} dd').length > 0;"))
            faults = wait_until(lambda: browser.execute_script(FAULTS) == [] or None, 5)
            check(faults is not None,
                  f"{view} at {width}×{height}: {browser.execute_script(FAULTS)[:4] or 'fits'}")


run(sys.argv[1])
