#!/usr/bin/env bash
# Measures calls on the household's MQTT bus as a user meets them: builds the release build in
# build/ (as scripts/start.sh does), then runs the real `ringdesk --headless` on the simulated
# modem against a mosquitto of its own, and prints how many calls reached a subscriber and how
# long each took from the last byte on the pty.
# Usage: tools/bench-mqtt.sh [CALLS [INTERVAL_MS]]   (defaults 1000 and 200: about 3.5 minutes)
# Needs mosquitto (the test command installs it). RINGDESK=path measures another build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk ringdesk-headless modemsim bench_mqtt hostprobe >/dev/null
exec "$PWD/build/bin/bench_mqtt" "${RINGDESK:-$PWD/build/bin/ringdesk}" \
    "$PWD/build/bin/ringdesk-modemsim" "$@"
