#!/usr/bin/env bash
# Runs a test program on a private X server that has a notification area (trayer), so that the
# tray paths run for real. Usage: with-tray.sh PROGRAM [ARGS...]
set -u
export QT_QPA_PLATFORM=xcb
export RINGDESK_EXPECT_TRAY=1
# X and font libraries keep allocations for the life of the process.
export ASAN_OPTIONS=detect_leaks=0
exec xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    tray=$!
    "$@"
    rc=$?
    kill $tray 2>/dev/null
    exit $rc' with-tray "$@"
