#!/usr/bin/env bash
# An imported block list of 500,000 numbers, measured as a user meets it: builds the release
# build in build/ (as scripts/start.sh does), imports a complaint CSV of that many rows with
# `ringdesk --import-blocklist`, then runs `ringdesk --headless` on the simulated modem with and
# without the list and prints the import's time and memory, the monitor's memory and how long a
# screened call takes to reach the log (median of 20).
# Usage: tools/bench-blocklist.sh [NUMBERS]   (default 500000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk ringdesk-headless modemsim >/dev/null
exec python3 tools/bench_blocklist.py "$PWD/build/bin" "${1:-500000}"
