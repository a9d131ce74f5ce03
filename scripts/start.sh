#!/usr/bin/env bash
# Installs what is missing and builds ringdesk and config into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
echo "Built into build/. The desktop program is not part of this version yet."
