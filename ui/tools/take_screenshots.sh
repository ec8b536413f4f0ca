#!/bin/sh
# Screenshots of the real program for the README, taken on a virtual X
# display: the main dialog after a run, the edit dialog of a new beam and
# the consensus settings list, and the whole screen of a 1366x768 laptop
# with the dialog on it after the run. Drives the program with the
# keyboard only.
#
#   ui/tools/take_screenshots.sh BUILD_DIR OUT_DIR
#
# Needs Xvfb, openbox, xdotool, xwd and netpbm (xwdtopnm, pnmtopng).
set -eu

build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
work=/tmp/quorvane-screens
rm -rf "$work"
program= wm= xvfb=
trap 'kill $program $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

# A day of ASCII moments for today (UTC), site "abc": three beams, one dwell
# every two minutes for two hours, five gates.
year=$(date -u +%y)
doy=$(date -u +%j)
mkdir -p "$work/moments" "$work/consensus"
awk -v yy="$year" -v doy="$doy" 'BEGIN {
    print " STN 4001 10525 1600"
    split("90.0 75.0 75.0", el, " "); split("0 0 90", az, " "); split("0.10 2.00 -1.00", v, " ")
    n = 0
    for (m = 1; m < 120; m += 2) {
        b = n % 3 + 1; n++
        printf "1 %s %s %d %d %d %d 0\n", el[b], az[b], yy + 0, doy + 0, int(m / 60), m % 60
        print "0 700 105 0 5"
        for (g = 0; g < 5; g++) printf "%s 10.0\n", v[b]
    }
}' > "$work/moments/abc$year$doy.raw"

display=:97
Xvfb $display -screen 0 1366x768x24 -nolisten tcp &
xvfb=$!
sleep 1
export DISPLAY=$display
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= "$build/ui/quorvane" &
program=$!

wait_window() {  # title
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1) || true
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    echo "no window '$1'" >&2
    return 1
}

shot() {  # window id, file name: the window with its frame
    frame=$(xwininfo -id "$1" -children | awk '/Parent window id/ {print $4}')
    [ "$frame" = "$(xwininfo -root | awk '/Window id/ {print $4}')" ] && frame=$1
    sleep 0.5
    xwd -silent -id "$frame" | xwdtopnm 2>/dev/null | pnmtopng > "$out/$2"
}

keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
text() { xdotool type --delay 60 "$1"; sleep 0.3; }

choose_folder() {  # the folder picker is open: type the path and accept
    picker=$(wait_window "Select the drive.*")
    xdotool windowactivate --sync "$picker" 2>/dev/null || true
    keys ctrl+a
    text "$1"
    keys Return
    sleep 0.5
}

main=$(wait_window Quorvane)
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool windowmove "$main" 40 30
sleep 0.5

# Focus starts on the begin month: on to the input Browse.
keys Tab Tab Tab Tab Tab Tab Tab space
choose_folder "$work/moments"
keys Tab Tab space
choose_folder "$work/consensus"
# Binary, then ASCII with the arrow key, the site, the source, the policy,
# the averaging period, Winds, the four output check boxes, the settings
# file and its Browse..., and Process.
keys Tab Down Tab
text abc
keys Tab Tab Tab
text 60
keys Tab Tab Tab Tab Tab Tab Tab Tab space

edit=$(wait_window "Edit Consensus Parameters")
# Under Xvfb a new window may miss its first expose; a move repaints it.
xdotool windowmove "$edit" 300 200
sleep 0.5
text 3
keys Tab
text 50
shot "$edit" quorvane-edit.png
keys Return
for _ in 1 2; do
    sleep 0.5
    text 3
    keys Tab
    text 50
    keys Return
done

settings=$(wait_window "Consensus Settings")
xdotool windowmove "$settings" 300 200
sleep 0.3
# A click on the second row marks it and makes Edit available.
xdotool mousemove --window "$settings" 60 42 click 1
sleep 0.3
xdotool mousemove --window "$settings" 5 5
shot "$settings" quorvane-settings.png
keys Return

# The run opens the Results window over the dialog: out of the way first.
results=$(wait_window Results)
xdotool windowminimize "$results"
sleep 1
shot "$main" quorvane-main.png
# The laptop's whole screen: the dialog with its frame fits on it.
sleep 0.3
xwd -silent -root | xwdtopnm 2>/dev/null | pnmtopng > "$out/quorvane-main-1366x768.png"
ls "$work/consensus"

# The Results window with the bundled sample day, drawn offscreen by the
# window's own test (the ui_tests target of the same build).
QUORVANE_RESULTS_SCREENSHOT="$out/quorvane-results.png" QT_QPA_PLATFORM=offscreen \
    "$build/tests/ui_tests" --gtest_filter='ResultsWindowScreenshot.*' >/dev/null
