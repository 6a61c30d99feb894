#!/usr/bin/env bash
# Takes the screenshots of docs/screenshots on the demo's data: builds what it needs, makes a
# program folder as the demo does (two Firebird receivers, an SQLite source, a stand-in 1C
# infobase, two connections), starts the program on a private Xvfb display with openbox as the
# window manager and trayer as the tray host, and walks it with xdotool the way an operator
# does: the four tabs, the three settings dialogs, the tray menu, then both connections started
# from the tab "Запуск" beside the tail of their log. Each picture is cut to its windows and
# their frames and reduced to a palette.
#
#   tools/screenshots/take-screenshots.sh [build folder] [output folder]
#
# Needs the packages of scripts/install-deps.sh (xvfb, openbox, trayer, xdotool, xterm,
# imagemagick, pngquant, the ru_RU.UTF-8 locale).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
out=$(mkdir -p "${2:-$root/docs/screenshots}" && cd "${2:-$root/docs/screenshots}" && pwd)

[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(corvane infobase-standin corvane-demo-data)
# The install below takes the Windows programs too when the cross compiler made them part of the build.
cmake --build "$build" --target help | grep -q '^windows-programs:' && targets+=(windows-programs)
cmake --build "$build" --target "${targets[@]}"
build=$(cd "$build" && pwd)

# A fixed folder, since its path shows in the connection strings of the pictures.
run=${TMPDIR:-/tmp}/corvane-screenshots
work=$(mktemp -d)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work" "$run"
}
trap finish EXIT

rm -rf "$run"
cmake --install "$build" --prefix "$run" >/dev/null
"$build/tools/demo/corvane-demo-data" build --folder "$run" --stand-in "$run/infobase-standin" \
    --period 1
export FIREBIRD=$run/firebird
export FIREBIRD_LOCK=$run/firebird/lock
log=$run/Log/Logs.txt

# The first visible window that matches, waited for up to twenty seconds.
find_window() {
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible "$@" | head -1) ||
        { echo "no window: $*" >&2; exit 1; }
    echo "$window"
}
# Polls a command for up to ten seconds, or for the number of seconds given first.
wait_for() {
    local tries=100
    if [[ $1 =~ ^[0-9]+$ ]]; then
        tries=$(($1 * 10))
        shift
    fi
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "gave up waiting for: $*" >&2
    exit 1
}

screen_width=1280
screen_height=1024
Xvfb -displayfd 3 -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp \
    3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for test -s "$work/display"
export DISPLAY=":$(head -1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"
# A plain desktop behind the tray menu; openbox sets none. display ends with status 1 even
# when it has set the background.
display -window root -size "${screen_width}x$screen_height" xc:'#3c5a78' || true
trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel \
    --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
tray=$(find_window --classname '^panel$')

mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 \
    "$run/corvane" >"$work/program.log" 2>&1 &
pids+=($!)
main=$(find_window --name '^Сервис синхронизаций 1.1$')
sleep 1

# left right top bottom of a window's frame, as the window manager reports them.
frame_extents() {
    xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
        sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\)/\1 \2 \3 \4/p'
}
# x y width height of a window on the screen, its frame included.
outline() {
    local x y width height left=0 right=0 top=0 bottom=0
    read -r x y width height < <(xwininfo -id "$1" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
    read -r left right top bottom < <(frame_extents "$1") || true
    echo $((x - ${left:-0})) $((y - ${top:-0})) $((width + ${left:-0} + ${right:-0})) \
        $((height + ${top:-0} + ${bottom:-0}))
}
# Captures the smallest part of the screen that holds the given windows, with a margin of
# the desktop around them when the first argument is "--margin N".
shot() {
    local name=$1 margin=0
    shift
    if [ "$1" = --margin ]; then
        margin=$2
        shift 2
    fi
    sleep 0.7
    local x0=100000 y0=100000 x1=0 y1=0 x y width height
    for window in "$@"; do
        read -r x y width height < <(outline "$window")
        ((x < x0)) && x0=$x
        ((y < y0)) && y0=$y
        ((x + width > x1)) && x1=$((x + width))
        ((y + height > y1)) && y1=$((y + height))
    done
    x0=$((x0 > margin ? x0 - margin : 0))
    y0=$((y0 > margin ? y0 - margin : 0))
    x1=$((x1 + margin < screen_width ? x1 + margin : screen_width))
    y1=$((y1 + margin < screen_height ? y1 + margin : screen_height))
    import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$work/$name.png"
    pngquant --force --skip-if-larger --output "$out/$name.png" 256 "$work/$name.png" ||
        cp "$work/$name.png" "$out/$name.png"
    echo "$out/$name.png"
}

# Places inside the main window, as its fixed layout puts them (the window is not
# resizable): the four tabs, the rows of a grid, "Запуск", and the button "..." beside the
# type boxes of the receiver and source tabs, which opens the settings dialog.
read -r wx wy < <(xwininfo -id "$main" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
click() {
    xdotool mousemove $((wx + $1)) $((wy + $2)) click 1
    sleep 0.3
}
tab() { click "$1" 24; }
launch_tab() { tab 44; }
receiver_tab() { tab 122; }
source_tab() { tab 208; }
connection_settings_tab() { tab 336; }
row() { click 85 $((123 + 30 * ($1 - 1))); }
settings_button() { click 710 507; }
start_button() { click 205 536; }

# Opens the settings dialog of the current row, captures it and closes it with Escape.
dialog_shot() {
    settings_button
    local dialog
    dialog=$(find_window --name "^$2")
    shot "$1" "$dialog"
    xdotool key Escape
    wait_for sh -c "! xdotool search --onlyvisible --name '^$2'"
}

shot 1-launch "$main"
receiver_tab
shot 2-receiver "$main"
dialog_shot 5-receiver-settings 'Дополнительные настройки приемника'
source_tab
shot 3-source "$main"
dialog_shot 6-source-settings 'Дополнительные настройки источника'
row 2
dialog_shot 7-source-1c-settings 'Дополнительные настройки источника'
connection_settings_tab
shot 4-connection-settings "$main"

# Minimising sends the window to the tray; a right click on the icon, at its top edge so
# that the menu opens above it, shows the tray menu, and "Открыть" brings the window back.
xdotool windowminimize "$main"
wait_for sh -c "! xdotool search --onlyvisible --name '^Сервис синхронизаций 1.1$' | grep -qx $main"
icon=$(find_window --class '^corvane$')
xdotool mousemove --window "$icon" 11 0 click 3
wait_for sh -c "[ \$(xdotool search --onlyvisible --class '^corvane$' | wc -l) -ge 2 ]"
shot 8-tray-menu --margin 60 "$tray" $(xdotool search --onlyvisible --class '^corvane$')
read -r menu_x menu_y _ < <(outline "$(xdotool search --onlyvisible --class '^corvane$' |
    grep -vx "$icon" | head -1)")
xdotool mousemove $((menu_x + 40)) $((menu_y + 10)) click 1
find_window --name '^Сервис синхронизаций 1.1$' >/dev/null

# Both connections started with "Запуск", shown with their log below once each has ended a
# cycle (the 1C transfer pauses 30 seconds before it reads).
launch_tab
row 1
start_button
row 2
start_button
wait_for 90 sh -c "[ \$(grep -c 'обновилось\\.' '$log') -ge 2 ]"
read -r mx my mw mh < <(outline "$main")
xterm -fa 'DejaVu Sans Mono' -fs 9 -bg white -fg black -T "$log" \
    -geometry "94x$(($(wc -l <"$log") + 1))+$mx+$((my + mh + 4))" -hold -e cat "$log" &
pids+=($!)
terminal=$(find_window --name "^$log\$")
# Back to the window, whose caption the terminal took the focus from.
xdotool windowactivate --sync "$main" 2>/dev/null
shot 9-running "$main" "$terminal"
