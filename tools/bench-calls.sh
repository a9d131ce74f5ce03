#!/usr/bin/env bash
# Measures ringdesk as a user meets it: builds the release build in build/ (as scripts/start.sh
# does), then runs the real program on the simulated modem on a private X server with a
# notification area, and prints start-up memory, idle cost, call latencies and bursts.
# Usage: tools/bench-calls.sh [IDLE_SECONDS [CALLS]]   (defaults 60 and 20)
# Needs what the test command installs (xvfb, trayer). RINGDESK=path measures another build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk modemsim bench_calls >/dev/null
ringdesk="${RINGDESK:-$PWD/build/bin/ringdesk}"
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    sleep 1
    "$@"
    rc=$?
    kill %1 2>/dev/null
    exit $rc' bench "$PWD/build/bin/bench_calls" "$ringdesk" "$PWD/build/bin/ringdesk-modemsim" "$@"
