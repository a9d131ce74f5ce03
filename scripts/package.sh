#!/usr/bin/env bash
# Builds the Debian packages ringdesk, ringdesk-tools and ringdesk-desktop-contacts in build-package/ from a release build
# of the programs alone, and prints the path of ringdesk's package as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh package

build=build-package
# Debian's hardening (stack protector, fortified functions, read-only relocations bound at
# start); no debug information, as the packaged programs are stripped anyway.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get "$1"; }
# One compiler run per layer (a unity build) halves the time of a build made only to be packed.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DRINGDESK_TESTS=OFF -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/*.deb
# cpack talks on standard error even when all is well: shown only when it fails.
report=$(cd "$build" && cpack 2>&1) || { echo "$report" >&2; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")/\1/p' "$build/CPackConfig.cmake")
ls "$build"/ringdesk-tools_"$version"_*.deb "$build"/ringdesk-desktop-contacts_"$version"_*.deb \
    >/dev/null
ls "$PWD/$build"/ringdesk_"$version"_*.deb
