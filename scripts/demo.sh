#!/usr/bin/env bash
# The demo on its own data: installs what is needed, builds, makes a program folder under
# demo-run/ (two Firebird receivers, an SQLite source through ODBC, a stand-in 1C infobase,
# Automation.ini and Corvane.ini with two connections, period 1 minute), runs every connection
# and shows the receivers following the sources cycle after cycle. It ends by itself once
# each connection ran [cycles] cycles (default 3) or on Ctrl+C, and leaves nothing running.
#   scripts/demo.sh [cycles]
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
cycles=${1:-3}
build=${DEMO_BUILD:-$repo/build-demo}
run=$repo/demo-run
log=$run/Log/Logs.txt

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target corvane infobase-standin corvane-demo-data
tool=$build/tools/demo/corvane-demo-data

rm -rf "$run"
cmake --install "$build" --prefix "$run" >/dev/null
"$tool" build --folder "$run" --stand-in "$run/infobase-standin" --period 1
# Debian's embedded engine runs Super: one process per database file. The demo's private
# root runs SuperClassic, so the program and the display can open a receiver together.
export FIREBIRD=$run/firebird
export FIREBIRD_LOCK=$run/firebird/lock

program=""
changer=""
cleanup() {
    trap - EXIT INT TERM
    for pid in $changer $program; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in $changer $program; do
        wait "$pid" 2>/dev/null || true
    done
    echo "Журнал: $log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${DISPLAY:-}" ]; then
    echo "Программа запускается в своем окне (в области уведомлений), все соединения работают."
    "$run/corvane" RunAll &
else
    echo "DISPLAY не задан: программа работает без окна."
    "$run/corvane" --headless RunAll &
fi
program=$!
bash tools/demo/change-balances.sh "$tool" "$run" 60 &
changer=$!

# Lines "... обновилось." of the log, each the end of one connection's cycle.
updates() {
    grep -a 'обновилось\.' "$log" 2>/dev/null || true
}
fewest() {
    local sql onec
    sql=$(updates | grep -c 'SQLite' || true)
    onec=$(updates | grep -c '1С' || true)
    echo $((sql < onec ? sql : onec))
}

seen=0
# The 1C transfer pauses 30 seconds before it reads, so its cycles take 1.5 minutes.
deadline=$((SECONDS + 120 * cycles + 60))
while true; do
    count=$(updates | wc -l)
    if [ "$count" -gt "$seen" ]; then
        echo
        updates | tail -n $((count - seen))
        seen=$count
        "$tool" show --folder "$run" --items 6
    fi
    [ "$(fewest)" -lt "$cycles" ] || break
    if ! kill -0 "$program" 2>/dev/null; then
        echo "Программа завершилась раньше времени." >&2
        exit 1
    fi
    if [ "$SECONDS" -gt "$deadline" ]; then
        echo "Циклы обновления не идут; конец журнала:" >&2
        tail -n 20 "$log" >&2 || true
        exit 1
    fi
    sleep 2
done
