#!/usr/bin/env bash
# Builds everything with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the whole test suite. With clang (installed by deps.sh) the fuzzer is built and run too.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test

compiler=g++
command -v clang++ >/dev/null && compiler=clang++
build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$compiler" \
    -DRINGDESK_WERROR=ON -DRINGDESK_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest -j"$(nproc)" --output-on-failure
