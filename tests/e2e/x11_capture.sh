#!/usr/bin/env bash
# Capture and editor end to end: images copied with xclip open the editor, which is driven with
# xdotool and checked in screenshots of the virtual display.
# Usage: x11_capture.sh PROGRAM
set -u
program=$(realpath "$1")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'stop_xvfb; pkill -P $$ xclip 2>/dev/null; rm -rf "$work"' EXIT
start_xvfb || exit 1
cd "$work"

# Without a window manager there is no _NET_WORKAREA: the work area is the 1920 x 1080 screen,
# so the editor is 1888 x 1016, centred at (16, 32).
W=1888
H=1016
WX=16
WY=32

# An asymmetric picture, 1001 x 601: red "F" on blue with a green mark in its top-left corner.
convert -size 1001x601 xc:blue -fill red -draw "rectangle 100,100 160,500" \
    -draw "rectangle 100,100 600,160" -draw "rectangle 100,280 450,330" \
    -fill lime -draw "rectangle 0,0 9,9" PNG24:shot.png

copy_image() { xclip -selection clipboard -t image/png -i "$1" & }

"$program" -s & pid=$!
sleep 0.5
started=$(now_ms)
copy_image shot.png
wid=$(timeout 5 xdotool search --sync --name '^Glimmerix Idle$' | head -n 1)
opened=$(( $(now_ms) - started ))
check "a new clipboard image opens the editor (${opened} ms)" test -n "$wid"
check "...within one poll" test "$opened" -le 900
[ -n "$wid" ] || { echo "$failures failed"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
check "editor window is the work area, ${W}x${H} (got ${WIDTH}x${HEIGHT})" test "${WIDTH}x${HEIGHT}" = "${W}x${H}"
check "editor window is centred (got $X,$Y)" test "$X,$Y" = "$WX,$WY"
check "screenshot.png was written" test -f screenshot.png
sleep 0.4
import -window root view.png

# The capture stands at (445, 192) in a 1888 x 1016 window.
OX=445
OY=192
at() { pixel view.png $((WX + $1)) $((WY + $2)); }
check "capture's top-left corner at ($OX,$OY)" test "$(at $OX $OY)" = "0,255,0"
check "capture's F stem at its place" test "$(at $((OX + 130)) $((OY + 400)))" = "255,0,0"
check "capture's blue right of the F" test "$(at $((OX + 800)) $((OY + 400)))" = "0,0,255"
check "capture's last pixel" test "$(at $((OX + 1000)) $((OY + 600)))" = "0,0,255"
check "backdrop: even rows grey" test "$(at 100 100)" = "128,128,128"
check "backdrop: odd rows black" test "$(at 100 101)" = "0,0,0"
by=$((H - 38))
check "UPLOAD button face light grey" test "$(at 12 $((by + 4)))" = "192,192,192"
check "MARK button face green (the current tool)" test "$(at 380 $((by + 4)))" = "0,255,0"
check "CENSOR button face light grey" test "$(at 522 $((by + 4)))" = "192,192,192"
check "button frame black" test "$(at 7 $((by - 1)))" = "0,0,0"

# CENSOR: a drag paints a black box into the capture.
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" 2
sleep 0.1
xdotool mousemove --window "$wid" $((OX + 700)) $((OY + 300)); sleep 0.1
xdotool mousedown 1; sleep 0.1
xdotool mousemove --window "$wid" $((OX + 760)) $((OY + 340)); sleep 0.1
xdotool mousemove --window "$wid" $((OX + 800)) $((OY + 350)); sleep 0.1
xdotool mouseup 1; sleep 0.1
xdotool mousemove --window "$wid" 5 5; sleep 0.3
import -window root censored.png
cat_at() { pixel censored.png $((WX + $1)) $((WY + $2)); }
check "censor box is black inside" test "$(cat_at $((OX + 750)) $((OY + 325)))" = "0,0,0"
check "censor box covers its corners" test "$(cat_at $((OX + 700)) $((OY + 300))),$(cat_at $((OX + 800)) $((OY + 350)))" = "0,0,0,0,0,0"
check "censor box ends at its corner" test "$(cat_at $((OX + 801)) $((OY + 351)))" = "0,0,255"
check "CENSOR button is now green" test "$(cat_at 522 $((by + 4)))" = "0,255,0"

# HIDE (space): the window closes, both capture files are gone, the program waits.
xdotool key --window "$wid" space
timeout 5 sh -c "while xdotool search --name '^Glimmerix Idle\$' >/dev/null 2>&1; do sleep 0.05; done"
check "space closes the editor" test -z "$(window_titled 'Glimmerix Idle')"
sleep 0.3
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"

# The same image still on the clipboard does not reopen the editor; a new copy does.
sleep 1
check "the same image does not reopen the editor" test -z "$(window_titled 'Glimmerix Idle')"
copy_image shot.png
wid=$(timeout 5 xdotool search --sync --name '^Glimmerix Idle$' | head -n 1)
check "a new copy of the image reopens the editor" test -n "$wid"
sleep 0.3
check "the new capture is as copied, without the old censor box" \
    sh -c "import -window root again.png && test \"\$(convert again.png -format '%[fx:int(255*u.b)]' -crop 1x1+$((WX + OX + 750))+$((WY + OY + 325)) info:)\" = 255"

# A short click on HIDE: the menu acts on the press, so the editor closes before the release
# comes. The next editor opens under the pointer still resting over HIDE; a button pressed in the
# old window must not count as held in the new one, or it would close at once, again and again.
xdotool mousemove --window "$wid" 274 $((H - 22)); sleep 0.1
xdotool mousedown 1
wait_gone 'Glimmerix Idle' 5
check "a press on HIDE closes the editor" test -z "$(window_titled 'Glimmerix Idle')"
xdotool mouseup 1; sleep 0.3
copy_image shot.png
wait_window 'Glimmerix Idle' 5
check "a new image opens the editor under the resting pointer" test -n "$wid"
sleep 0.3
xdotool mousemove_relative 1 0  # the pointer merely moves, still over HIDE
sleep 1
check "...which stays open without a click of its own" test -n "$(window_titled 'Glimmerix Idle')"

# "Q" quits: both files deleted, exit code 0.
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" shift+q
wait_exit "$pid" 5
check "Q ends the program with 0 (got $code)" test "$code" = 0
check "quitting deletes both capture files" test ! -e screenshot.png -a ! -e screenshot.jpg

echo "$failures failed"
[ "$failures" = 0 ]
