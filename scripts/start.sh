#!/usr/bin/env bash
# Installs what is missing, builds ringdesk into build/ and starts it. Without a USB modem on
# this machine it starts on the simulated modem instead, with settings and logs of its own in
# build/demo, and a call arrives every 30 seconds.
#   bash scripts/start.sh          the monitor (the demo without a modem)
#   bash scripts/start.sh config   ringdesk-config on the same settings: the demo's without a modem
set -euo pipefail
cd "$(dirname "$0")/.."
program=ringdesk
case "${1:-}" in
"") ;;
config) program=ringdesk-config ;;
*)
    echo "usage: bash scripts/start.sh [config]" >&2
    exit 2
    ;;
esac

bash scripts/deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRINGDESK_TESTS=OFF >/dev/null
# Only work done is shown: a start with nothing to build prints nothing of the build.
set +e
cmake --build build -j"$(nproc)" 2>&1 |
    grep --line-buffered -vE '^\[ *[0-9]+%\] (Built target|Automatic (MOC|UIC|RCC))|^Consolidate compiler'
built=${PIPESTATUS[0]}
set -e
[ "$built" -eq 0 ] || exit "$built"

if compgen -G "/dev/ttyACM*" >/dev/null || compgen -G "/dev/ttyUSB*" >/dev/null; then
    exec build/bin/$program
fi

demo="$PWD/build/demo"
mkdir -p "$demo/config" "$demo/data"
chmod 700 "$demo/config" "$demo/data"
if [ ! -f "$demo/config/zodode.ini" ]; then
    # One port, pointing at the simulator; the area code is set so no question interrupts.
    printf '[Modem]\nNumberOfCom=1\n\n[Ports]\nCom1=%s\n\n[Setup]\nAreaCode=613\n' \
        "$demo/modem" >"$demo/config/zodode.ini"
    chmod 600 "$demo/config/zodode.ini"
fi
demo_env=(XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data")
if [ "$program" = ringdesk-config ]; then
    echo "No modem found: ringdesk-config edits the demo's settings in $demo/config/zodode.ini."
    exec env "${demo_env[@]}" build/bin/ringdesk-config
fi
# The demo shares the user's one-copy lock: a plain `ringdesk` started beside it shows the demo's
# window instead of opening a second monitor.
echo "No modem found: ringdesk starts on the simulated modem, which calls every 30 seconds."
echo "Its settings and logs are in $demo; yours are not touched."
echo "Change its settings with: bash scripts/start.sh config"
build/bin/ringdesk-modemsim --link "$demo/modem" --every 30 </dev/null >/dev/null &
simulator=$!
trap 'kill $simulator 2>/dev/null' EXIT
sleep 0.5
env "${demo_env[@]}" build/bin/ringdesk
