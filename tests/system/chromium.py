"""Chromium through Selenium, for the tests of the household's web page. Importing it exits 77
(skipped) when Selenium, Chromium or its driver is missing."""
import os
import shutil
import sys

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
except ImportError:
    print("SKIP: python3-selenium is not installed")
    sys.exit(77)

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
if not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)):
    print("SKIP: chromium and chromium-driver are not installed")
    sys.exit(77)


def start(profile, width, height, *flags):
    """A headless Chromium with a profile folder of its own and the window at that size."""
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", f"--user-data-dir={profile}",
                 f"--window-size={width},{height}", *flags):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(DRIVER), options=options)
