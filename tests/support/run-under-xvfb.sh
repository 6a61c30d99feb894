#!/usr/bin/env bash
# Runs one test program on a private Xvfb display with trayer as the tray host, as the
# program meets a real desktop: run-under-xvfb.sh program [arguments]
set -euo pipefail

work=$(mktemp -d)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display itself and writes its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -1 "$work/display")"

trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel \
    --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
# The tray is there once it owns the tray selection of screen 0.
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q -i 'panel\|trayer' && break
    sleep 0.05
done

mkdir -m 700 "$work/runtime"
status=0
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
