#!/usr/bin/env bash
# Builds the kill campaigns and runs one or all of them, printing their figures.
#   scripts/campaigns.sh [campaign|all] [count] [seed]
# campaign: program-kills, firebird-kills or infobase-kills; count: kills (1000, 100, 100 by
# default); seed: the random moments' seed (from the clock by default, always printed).
# Exits non-zero when any campaign met a kill that left something it must not.
set -euo pipefail
cd "$(dirname "$0")/.."

campaign=${1:-all}
count=${2:-}
seed=${3:-}
build=${BUILD_DIR:-build}

bash scripts/start-services.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target kill-campaigns

if [ "$campaign" = all ]; then
  campaigns=(program-kills firebird-kills infobase-kills)
else
  campaigns=("$campaign")
fi
options=()
[ -n "$count" ] && options+=(--count "$count")
[ -n "$seed" ] && options+=(--seed "$seed")

failed=0
for one in "${campaigns[@]}"; do
  LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    "$build/tools/campaigns/kill-campaigns" "$one" "${options[@]}" || failed=1
done
exit $failed
