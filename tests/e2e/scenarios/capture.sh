# shellcheck shell=bash disable=SC2154
# Capture and editor: clipboard pictures from another program open the editor, driven by hand.
setup
# Red "F" on blue, a green mark top left: flips and red-blue swaps cannot pass unseen.
convert -size 1001x601 xc:blue -fill red -draw "rectangle 100,100 160,500" \
    -draw "rectangle 100,100 600,160" -draw "rectangle 100,280 450,330" \
    -fill lime -draw "rectangle 0,0 9,9" PNG24:shot.png
place 1001 601
at_capture() { shows "$1" "$2" $((WX + OX)) $((WY + OY)); }  # at_capture SCREENSHOT PICTURE
# capture_file_is PICTURE: screenshot.png is a 24-bit PNG of it (renamed into place, so whole).
capture_file_is() {
    [ "$(identify -format '%m %w %h %[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]' \
        screenshot.png)" = "PNG 1001 601 2 8" ] && compare -metric AE "$1" screenshot.png null:
}

launch -s
sleep "$launch_wait"
check "the picture is on the clipboard" copy_picture shot.png
wait_window 'Glimmerix Idle' 10
opened=$(($(now_ms) - put_at))
check "a new picture opens the editor, Glimmerix Idle, within one poll (${opened} ms)" \
    test -n "$wid" -a "$opened" -le 900
[ -n "$wid" ] || give_up "no editor"
eval "$(xdotool getwindowgeometry --shell "$wid")"
check "the editor is the work area less 32 x 64, centred (${WIDTH}x${HEIGHT}+$X+$Y)" \
    test "${WIDTH}x${HEIGHT}+$X+$Y" = "${W}x${H}+$WX+$WY"
check "screenshot.png is a 24-bit PNG of the copied pixels, unflipped and unswapped" \
    wait_until 5 capture_file_is shot.png 2>/dev/null
check "the editor loop runs (MARK turns green)" wait_editor 5
shot view.png
check "the capture shows pixel for pixel at ($OX,$OY)" at_capture view.png shot.png
xev -geometry 700x500+400+200 >/dev/null 2>&1 & cover=$!
sleep 0.5 && kill "$cover" && wait "$cover" 2>/dev/null
same_again() { shot uncovered.png && compare -metric AE view.png uncovered.png null: 2>/dev/null; }
check "covered and uncovered, the editor shows the same pixels" wait_until 5 same_again

press "$wid" 2
drag "$wid" $((OX + 700)) $((OY + 300)) $((OX + 760)) $((OY + 340)) $((OX + 800)) $((OY + 350))
point "$wid" 5 5
sleep 0.2
shot censored.png
convert shot.png -fill black -draw "rectangle 700,300 800,350" boxed.png
check "a black box covers (700,300) to (800,350) of the capture, no more" \
    at_capture censored.png boxed.png

press "$wid" space
check "space closes the editor" wait_gone 'Glimmerix Idle' 5
sleep 0.3
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"

sleep 1
check "the same picture does not reopen the editor" no_window 'Glimmerix Idle'
copy_text "not a picture"
sleep 1
check "text on the clipboard opens no editor" no_window 'Glimmerix Idle'

copy_picture shot.png
wait_window 'Glimmerix Idle' 10
check "a new copy reopens the editor ($(($(now_ms) - put_at)) ms)" test -n "$wid"
wait_editor 5
shot again.png
check "the new capture is as copied, without the old censor box" at_capture again.png shot.png

# A press on HIDE closes the editor; the next, opened under the resting pointer, must not close on
# its release. Its picture has one bit per pixel (exact in black and white), its file still 24 bits.
[ -n "$wid" ] && point "$wid" 274 $((H - 22))
xdotool mousedown 1
check "a press on HIDE closes the editor" wait_gone 'Glimmerix Idle' 5
xdotool mouseup 1
sleep 0.3
convert -size 1001x601 xc:black -fill white -draw "rectangle 100,100 160,500" \
    -draw "rectangle 100,100 600,160" -draw "rectangle 0,0 9,9" PNG24:mono.png
check "a 1-bit picture is on the clipboard" copy_picture mono.png 1
wait_window 'Glimmerix Idle' 10
check "it opens the editor under the resting pointer ($(($(now_ms) - put_at)) ms)" test -n "$wid"
check "...screenshot.png is a 24-bit PNG of its pixels" wait_until 5 capture_file_is mono.png 2>/dev/null
wait_editor 5
shot mono_view.png
check "...shown in the editor" at_capture mono_view.png mono.png
xdotool mousemove_relative 1 0  # the pointer merely moves, still over HIDE
sleep 1
check "...which stays open without a click of its own" has_window 'Glimmerix Idle'

[ -n "$wid" ] && press "$wid" shift+q
wait_exit "$pid" 5
check "Q ends the program with 0 (got $code)" test "$code" = 0
check "quitting deletes both capture files" test ! -e screenshot.png -a ! -e screenshot.jpg
finish
