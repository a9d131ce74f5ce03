#!/usr/bin/env bash
# Runs a test program on a private session bus and a private X server: the test itself plays
# the desktop's tray host and notification server. Usage: with-bus.sh PROGRAM [ARGS...]
set -u
export ASAN_OPTIONS=detect_leaks=0
exec dbus-run-session -- xvfb-run -a -s "-screen 0 800x600x24" "$@"
