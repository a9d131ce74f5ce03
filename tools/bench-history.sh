#!/usr/bin/env bash
# The call history at 100,000 calls, measured as a user meets it: builds the release build in
# build/ (as scripts/start.sh does), then runs `ringdesk --headless` on the simulated modem with
# a CallLog.txt of that many calls and prints the import's time, the API's page and search
# times (median of 20) and the monitor's memory against the same start with 10 calls.
# Usage: tools/bench-history.sh [CALLS]   (default 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk ringdesk-headless modemsim >/dev/null
exec python3 tools/bench_history.py "$PWD/build/bin" "${1:-100000}"
