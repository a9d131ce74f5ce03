#!/usr/bin/env bash
# Runs the README's household walk-through as it stands: its four terminals in a folder of the
# test's own, with a broker of the test's own on a free port, and a call typed into terminal 1.
# Usage: readme_household.sh README BIN_DIR
set -euo pipefail
readme=$1
bin=$2

mosquitto=$(command -v mosquitto || true)
[ -n "$mosquitto" ] || mosquitto=/usr/sbin/mosquitto
if [ ! -x "$mosquitto" ] || ! command -v mosquitto_sub >/dev/null; then
    echo "SKIP: mosquitto and mosquitto_sub are not installed (Debian mosquitto, mosquitto-clients)"
    exit 77
fi

work=$(mktemp -d)
# Each terminal a process group of its own, ended whole.
set -m
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
    # Every program of a terminal has ended (and saved what it saves at exit) before the folder goes.
    for pid in "${pids[@]}"; do
        for _ in $(seq 100); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A port nobody listens on.
port=0
for _ in $(seq 50); do
    candidate=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
        port=$candidate
        break
    fi
done
[ "$port" -ne 0 ] || { echo "no free port"; exit 1; }

# The walk-through, cut at its "# terminal N" lines, with the test's folder, port and build.
sed -n '/<!-- household:begin -->/,/<!-- household:end -->/p' "$readme" | sed '1d;$d' |
    sed 's/^    //' | sed "s#/tmp/house#$work/house#g; s#/tmp/desk#$work/desk#g" |
    sed "s#1883#$port#g; s#build/bin/#$bin/#g" >"$work/steps"
csplit -s -z -f "$work/terminal" "$work/steps" '/^# terminal [0-9]/' '{*}'
# terminal00 installs the broker, which the test command has done; terminal01..04 follow.
for n in 1 2 3 4; do
    [ -s "$work/terminal0$n" ] || { echo "README: no terminal $n in the walk-through"; exit 1; }
done

wait_for() { # FILE TEXT: until FILE holds TEXT, at most 30 s
    for _ in $(seq 300); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "timed out waiting for \"$2\" in $1:"
    cat "$1" 2>/dev/null || true
    exit 1
}

export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
printf 'listener %s 127.0.0.1\nallow_anonymous true\nlog_dest stderr\nlog_type all\n' "$port" \
    >"$work/mosquitto.conf"
"$mosquitto" -c "$work/mosquitto.conf" 2>"$work/broker.log" &
pids+=($!)
wait_for "$work/broker.log" "running"

mkfifo "$work/keyboard"
bash "$work/terminal01" <"$work/keyboard" >"$work/t1.out" 2>&1 &
pids+=($!)
exec 4>"$work/keyboard" # the keyboard of terminal 1
wait_for "$work/t1.out" "device "
bash "$work/terminal02" >"$work/t2.out" 2>&1 </dev/null &
pids+=($!)
wait_for "$work/t2.out" "[MQTT: connected"
wait_for "$work/t2.out" "[System Ready"
bash "$work/terminal03" >"$work/t3.out" 2>&1 &
pids+=($!)
wait_for "$work/t3.out" "ringdesk/status online"
bash "$work/terminal04" >"$work/t4.out" 2>&1 </dev/null &
pids+=($!)
# Both monitors subscribe: the one with the modem to the household's commands, the desktop to
# the calls; the call goes out once the desktop's subscription is in.
for _ in $(seq 300); do
    [ "$(grep -c "Received SUBSCRIBE from ringdesk-" "$work/broker.log")" -ge 2 ] && break
    sleep 0.1
done

echo "call 6135551234 SMITH JOHN" >&4
wait_for "$work/t2.out" "Call: "
wait_for "$work/t3.out" '"name":"SMITH JOHN"'
wait_for "$work/desk/data/ringdesk/CallLog.txt" "+1 (613) 555-1234 SMITH JOHN"
echo "The README's household walk-through ran as written."
