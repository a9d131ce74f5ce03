#!/usr/bin/env bash
# Runs a test on a session bus of its own whose desktop services (Evolution Data Server) keep
# their data in a home of its own, removed afterwards. Usage: on-private-desktop.sh PROGRAM...
set -u
home=$(mktemp -d -t ringdesk-desktop-XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/config" "$home/data" "$home/cache" "$home/run"
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
export XDG_RUNTIME_DIR=$home/run GSETTINGS_BACKEND=memory ASAN_OPTIONS=detect_leaks=0
dbus-run-session -- "$@"
