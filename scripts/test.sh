#!/usr/bin/env bash
# Builds everything with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the whole test suite. With clang (installed by deps.sh) the fuzzer is built and run too.
# The Debian packages are built too, and checked with lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test

compiler=g++
command -v clang++ >/dev/null && compiler=clang++
build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$compiler" \
    -DRINGDESK_WERROR=ON -DRINGDESK_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
# The Debian packages, from a release build of their own; ctest's "package" test checks them.
package=$(bash scripts/package.sh | tail -1)
echo "Built the packages beside $package"
cd "$build"
ctest -j"$(nproc)" --output-on-failure
