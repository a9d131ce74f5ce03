#!/usr/bin/env bash
# Calls over the network, measured as a user meets them: builds the release build in build/ (as
# scripts/start.sh does), then runs `ringdesk --headless` and prints the time from the simulated
# modem's last byte of a call to its CID line at an NCID client, and from a FRITZ!Box's RING line
# (a fake box here) to the call's record in CallLog.txt (medians of 20).
# Usage: tools/bench-network.sh [CALLS]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk ringdesk-headless modemsim >/dev/null
exec python3 tools/bench_network.py "$PWD/build/bin" "${1:-20}"
