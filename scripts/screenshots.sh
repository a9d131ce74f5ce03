#!/usr/bin/env bash
# Renders the main window, collapsed and with its details, under Xvfb into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
command -v xvfb-run >/dev/null || { sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo; $sudo apt-get install -y -qq xvfb xauth >/dev/null; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ringdesk-screenshot
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/ringdesk-screenshot docs
ls -l docs/*.png
