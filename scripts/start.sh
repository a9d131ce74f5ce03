#!/usr/bin/env bash
# Installs what is missing, builds ringdesk into build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/bin/ringdesk
