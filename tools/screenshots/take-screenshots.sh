#!/usr/bin/env bash
# Takes the screenshots of docs/screenshots: starts the built program under Xvfb in a program
# folder holding the settings file beside this script (a receiver, two sources, two
# connections), shows each of the four tabs and both settings dialogs, and captures the screen.
#
#   tools/screenshots/take-screenshots.sh [build folder] [output folder]
#
# Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$(mkdir -p "${2:-$root/docs/screenshots}" && cd "${2:-$root/docs/screenshots}" && pwd)
program="$build/src/app/corvane"
[ -x "$program" ] || { echo "no program at $program: build the target corvane first" >&2; exit 1; }

work=$(mktemp -d)
display=":$((90 + RANDOM % 100))"
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

mkdir -p "$work/program" "$work/runtime"
chmod 700 "$work/runtime"
cp "$here/Corvane.ini" "$work/program/"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    "$program" --folder "$work/program" >"$work/program.log" 2>&1 &
pids+=($!)
window=$(xdotool search --sync --onlyvisible --name '^Сервис синхронизаций 1.1$' | head -1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 1

shot() {
    sleep 0.7
    import -window root -trim +repage "$out/$1.png"
    echo "$out/$1.png"
}

# Places inside the window, as its fixed layout puts them (the window is not resizable): the
# four tabs, and the buttons beside the type boxes that open the settings dialogs.
read -r wx wy < <(xdotool getwindowgeometry --shell "$window" |
    awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}')
click() {
    xdotool mousemove $((wx + $1)) $((wy + $2)) click 1
}

shot 1-launch
click 123 24
shot 2-receiver
click 690 508
shot 5-receiver-settings
xdotool key Escape
click 209 24
shot 3-source
click 690 508
shot 6-source-settings
xdotool key Escape
click 336 24
shot 4-connection-settings
