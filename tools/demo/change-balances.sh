#!/usr/bin/env bash
# Changes the demo's source balances on its own while the demo runs: a new round every
# <seconds>, the first half a period in, so that every cycle of the program meets new values.
#   change-balances.sh <corvane-demo-data> <program folder> [seconds, default 60]
set -euo pipefail
tool=$1
folder=$2
interval=${3:-60}

pause() {
    sleep "$1" &
    wait $!
}
trap 'kill $! 2>/dev/null || true; exit 0' TERM INT

pause $((interval / 2))
round=0
while true; do
    round=$((round + 1))
    "$tool" change --folder "$folder" --round "$round"
    echo "Источники: записаны остатки раунда $round"
    pause "$interval"
done
