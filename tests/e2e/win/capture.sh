#!/usr/bin/env bash
# Capture and editor end to end on Windows: bitmaps copied to the clipboard by another Wine
# program open the editor of the real glimmerix.exe, which is driven with xdotool and checked in
# screenshots of the virtual display. A Wine prefix is made for this run.
# Usage: capture.sh GLIMMERIX.EXE CLIPBOARD_TOOL.EXE
set -u
program=$1
tool=$2
# shellcheck source=tests/e2e/win/lib.sh
. "$(dirname "$0")/lib.sh"

setup_wine
measure_editor

# An asymmetric picture, 1001 x 601: red "F" on blue with a green mark in its top-left corner,
# so that flips and red-blue swaps cannot pass unseen.
convert -size 1001x601 xc:blue -fill red -draw "rectangle 100,100 160,500" \
    -draw "rectangle 100,100 600,160" -draw "rectangle 100,280 450,330" \
    -fill lime -draw "rectangle 0,0 9,9" PNG24:shot.png
# Placed centred: originX = floor(W/2 - w/2) + 2, originY = H/2 - floor(h/2) - 16.
OX=$(((W - 1001) / 2 + 2))
OY=$((H / 2 - 300 - 16))

"$wine_run" "$program" -s >>"$log" 2>&1 &
pid=$!
# Let the program reach its idle loop (Wine takes a moment to start a process).
sleep 3
check "the program waits without a window" kill -0 "$pid"

copy_bitmap shot.png
check "the tool put a 1001 x 601 bitmap on the clipboard ($bitmap)" \
    sh -c "echo '$bitmap' | grep -q '^1001 601 '"
wait_window 'Glimmerix Idle' 10
opened=$(($(now_ms) - put_at))
check "a new clipboard bitmap opens the editor titled Glimmerix Idle (${opened} ms)" test -n "$wid"
check "...within one poll" test "$opened" -le 900
[ -n "$wid" ] || { echo "$failures failed"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
check "editor window is the work area less 32 x 64, ${W}x${H} (got ${WIDTH}x${HEIGHT})" \
    test "${WIDTH}x${HEIGHT}" = "${W}x${H}"
check "editor window is centred in the work area (got $X,$Y)" test "$X,$Y" = "$WX,$WY"
check "screenshot.png was written" test -f screenshot.png
# PNG colour type 2 with 8-bit samples is 24 bits per pixel, without alpha.
kind=$(identify -format '%m %w %h %[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]' \
    screenshot.png 2>/dev/null)
check "screenshot.png is a 24-bit PNG of the bitmap's size ($kind)" test "$kind" = "PNG 1001 601 2 8"
differ=$(compare -metric AE shot.png screenshot.png null: 2>&1)
check "screenshot.png holds the copied pixels, unflipped and unswapped ($differ differ)" \
    test "$differ" = 0
# The first editor frame draws the capture and the menu bar; keys sent before it would be lost.
check "the editor loop runs (MARK turns green)" wait_editor 5
sleep 0.1
import -window root view.png

at() { pixel view.png $((WX + $1)) $((WY + $2)); }
check "capture's top-left corner at ($OX,$OY)" test "$(at $OX $OY)" = "0,255,0"
check "capture's F stem at its place" test "$(at $((OX + 130)) $((OY + 400)))" = "255,0,0"
check "capture's blue right of the F" test "$(at $((OX + 800)) $((OY + 400)))" = "0,0,255"
check "capture's last pixel" test "$(at $((OX + 1000)) $((OY + 600)))" = "0,0,255"
check "nothing drawn left of the capture" test "$(at $((OX - 1)) $((OY + 1)))" != "0,0,255"
check "backdrop: even rows grey" test "$(at 100 100)" = "128,128,128"
check "backdrop: odd rows black" test "$(at 100 101)" = "0,0,0"
by=$((H - 38))
check "UPLOAD button face light grey" test "$(at 12 $((by + 4)))" = "192,192,192"
check "MARK button face green (the current tool)" test "$(at 380 $((by + 4)))" = "0,255,0"
check "CENSOR button face light grey" test "$(at 522 $((by + 4)))" = "192,192,192"
check "button frame black" test "$(at 7 $((by - 1)))" = "0,0,0"

# CENSOR: a drag paints a black box into the capture. The editor looks at the buttons once a
# 15 ms frame, so every press and move is held for 100 ms, as a hand would.
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key 2
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
check "censor box covers its corners" \
    test "$(cat_at $((OX + 700)) $((OY + 300))),$(cat_at $((OX + 800)) $((OY + 350)))" = "0,0,0,0,0,0"
check "censor box ends at its corner" test "$(cat_at $((OX + 801)) $((OY + 351)))" = "0,0,255"
check "CENSOR button is now green" test "$(cat_at 522 $((by + 4)))" = "0,255,0"

# HIDE (space): the window closes, both capture files are gone, the program waits.
xdotool key space
wait_gone 'Glimmerix Idle' 5
check "space closes the editor" test -z "$(window_titled 'Glimmerix Idle')"
sleep 0.3
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"

# The same bitmap still on the clipboard does not reopen the editor, and neither does text.
sleep 1
check "the same bitmap does not reopen the editor" test -z "$(window_titled 'Glimmerix Idle')"
run_tool put-text "not a picture"
sleep 1
check "text on the clipboard opens no editor" test -z "$(window_titled 'Glimmerix Idle')"
check "...and leaves no capture file" test ! -e screenshot.png

# A new copy of the same picture is a new bitmap: the editor opens again, with the capture as
# copied, without the old censor box.
copy_bitmap shot.png
wait_window 'Glimmerix Idle' 10
reopened=$(($(now_ms) - put_at))
check "a new bitmap reopens the editor (${reopened} ms)" test -n "$wid"
wait_editor 5
sleep 0.1
import -window root again.png
check "the new capture is as copied, without the old censor box" \
    test "$(pixel again.png $((WX + OX + 750)) $((WY + OY + 325)))" = "0,0,255"

# A short click on HIDE: the menu acts on the press, so the editor closes before the release
# comes. The next editor opens under the pointer still resting over HIDE; a button pressed in the
# old window must not count as held in the new one, or it would close at once, again and again.
[ -n "$wid" ] && xdotool mousemove --window "$wid" 274 $((H - 22))
sleep 0.1
xdotool mousedown 1
wait_gone 'Glimmerix Idle' 5
check "a press on HIDE closes the editor" test -z "$(window_titled 'Glimmerix Idle')"
xdotool mouseup 1
sleep 0.3
copy_bitmap shot.png
wait_window 'Glimmerix Idle' 10
check "a new bitmap opens the editor under the resting pointer" test -n "$wid"
wait_editor 5
xdotool mousemove_relative 1 0  # the pointer merely moves, still over HIDE
sleep 1
check "...which stays open without a click of its own" test -n "$(window_titled 'Glimmerix Idle')"
[ -n "$wid" ] && { xdotool windowfocus --sync "$wid" 2>/dev/null; xdotool key space; }
wait_gone 'Glimmerix Idle' 5
check "space closes it" test -z "$(window_titled 'Glimmerix Idle')"

# A bitmap of one bit per pixel (its colours in a table) gives a 24-bit screenshot.png too. The
# picture is black and white, so the system has no colour to approximate.
convert -size 1001x601 xc:black -fill white -draw "rectangle 100,100 160,500" \
    -draw "rectangle 100,100 600,160" -draw "rectangle 0,0 9,9" PNG24:mono.png
copy_bitmap mono.png 1
check "the tool put a 1-bit bitmap on the clipboard ($bitmap)" test "$bitmap" = "1001 601 1"
wait_window 'Glimmerix Idle' 10
check "a 1-bit bitmap opens the editor ($(($(now_ms) - put_at)) ms)" test -n "$wid"
kind=$(identify -format '%m %w %h %[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]' \
    screenshot.png 2>/dev/null)
check "...and screenshot.png is a 24-bit PNG of its size ($kind)" test "$kind" = "PNG 1001 601 2 8"
differ=$(compare -metric AE mono.png screenshot.png null: 2>&1)
check "...with the copied pixels ($differ differ)" test "$differ" = 0
wait_editor 5
sleep 0.1
import -window root mono_view.png
check "...shown in the editor" test "$(pixel mono_view.png $((WX + OX + 130)) $((WY + OY + 400))),$(
    pixel mono_view.png $((WX + OX + 300)) $((WY + OY + 400)))" = "255,255,255,0,0,0"

# "Q" quits: both files deleted, exit code 0.
if [ -n "$wid" ]; then
    xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key shift+q
fi
wait_exit "$pid" 5
check "Q ends the program with 0 (got $code)" test "$code" = 0
check "quitting deletes both capture files" test ! -e screenshot.png -a ! -e screenshot.jpg
[ "$code" = running ] && stop_program "$pid"

echo "$failures failed"
[ "$failures" = 0 ]
