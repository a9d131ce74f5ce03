#!/usr/bin/env bash
# Installs the Debian 12 packages that building and running need, when any is missing.
# With "package", also what building the Debian packages needs (dpkg-shlibdeps finds their
# dependencies); with "test", that and what the test suite needs: clang for the fuzzer, Xvfb and
# trayer for the notification-area tests, lintian for the packages.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libgl-dev
    libcanberra-dev libical-dev libudev-dev libmosquitto-dev libphonenumber-dev
    libsodium-dev libhttp-parser-dev libssl-dev libsqlite3-dev
    libsndfile1-dev libsamplerate0-dev libspandsp-dev espeak-ng
    libebook1.2-dev libecal2.0-dev
)
# clang's sanitizer and fuzzer runtimes are only recommended by clang, and recommends are not
# installed here.
# khard reads the address book the way users' other tools do; a private session bus and gdbus
# stand in for the desktop's tray host and notification server. The household tests run a real
# MQTT broker; strace shows that rewrites reach the disk before they replace a file; the web page
# is driven in a real browser; the desktop's address books are a real Evolution Data Server.
case "${1:-}" in package | test) packages+=(dpkg-dev binutils file) ;; esac
[ "${1:-}" = "test" ] && packages+=(lintian clang libclang-rt-14-dev xvfb xauth trayer khard
    dbus-daemon dbus-bin libglib2.0-bin mosquitto mosquitto-clients strace
    chromium chromium-driver python3-selenium openssl sqlite3
    evolution-data-server gir1.2-ebook-1.2 gir1.2-ecal-2.0 gir1.2-edataserver-1.2 python3-gi)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
