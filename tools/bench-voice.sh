#!/usr/bin/env bash
# The voice line measured as a user meets it: builds the release build in build/ (as
# scripts/start.sh does), then runs `ringdesk --headless` on the simulated U.S. Robotics and
# announces CALLS blocked calls, printing the time from caller ID to the first audio byte, the
# tones' accuracy, under- and overruns, CPU while playing and memory across the calls.
# Usage: tools/bench-voice.sh [CALLS]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk ringdesk-headless modemsim >/dev/null
exec python3 tools/bench_voice.py "$PWD/build/bin" "${1:-20}"
