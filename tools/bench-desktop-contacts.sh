#!/usr/bin/env bash
# Measures the desktop's address books with 50,000 contacts as a user meets them: builds the
# release build in build/ (as scripts/start.sh does), then runs the real monitor without a window
# against a private Evolution Data Server.
# Usage: tools/bench-desktop-contacts.sh [CONTACTS]   (default 50000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk-headless modemsim desktopcontacts >/dev/null
exec /usr/bin/python3 tools/bench_desktop_contacts.py "$PWD/build/bin" "$@"
