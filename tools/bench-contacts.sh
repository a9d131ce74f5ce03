#!/usr/bin/env bash
# Measures a large address book as a user meets it: builds the release build in build/ (as
# scripts/start.sh does), then runs the real monitor without a window on the simulated modem with
# 50,000 cards, at its first start ever and at a later one.
# Usage: tools/bench-contacts.sh [CARDS]   (default 50000)
# HEADLESS=path measures another build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk-headless modemsim bench_contacts >/dev/null
exec "$PWD/build/bin/bench_contacts" "${HEADLESS:-$PWD/build/bin/ringdesk-headless}" \
    "$PWD/build/bin/ringdesk-modemsim" "$@"
