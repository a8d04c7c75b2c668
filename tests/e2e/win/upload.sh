#!/usr/bin/env bash
# The road of one screenshot on Windows, end to end: a clipboard bitmap opens the editor of the
# real glimmerix.exe under Wine, a censor box is dragged, UPLOAD posts the capture to a real
# glimmerix-server (the Linux build) on port 80 and the link lands on the Windows clipboard as
# text. Runs in a private network namespace, where port 80 is free and "localhost" is only ours;
# Wine's server is started inside it too, as a wineserver started outside would not see it.
# Usage: upload.sh GLIMMERIX.EXE CLIPBOARD_TOOL.EXE GLIMMERIX_SERVER
# Exit code 77 (skipped) without the server or without the rights for a network namespace.
set -u
if [ "${GLIMMERIX_IN_NAMESPACE:-}" != 1 ]; then
    if [ ! -x "${3:-}" ]; then
        echo "skipped: no glimmerix-server (build it with the Linux preset and pass its path)"
        exit 77
    fi
    if ! unshare -n true 2>/dev/null; then
        echo "skipped: cannot create a network namespace (needs root)"
        exit 77
    fi
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec unshare -n env GLIMMERIX_IN_NAMESPACE=1 bash -c 'ip link set lo up && exec "$0" "$@"' \
        "$0" "$@"
fi
program=$1
tool=$2
server=$(realpath "$3")
# shellcheck source=tests/e2e/win/lib.sh
. "$(dirname "$0")/lib.sh"

stop_server() { stop_program "${server_pid:-}"; }
cleanup_more=stop_server
setup_wine
measure_editor

mkdir ../data
"$server" --port 80 --data-dir ../data --public-url http://localhost 2>../server.log &
server_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null http://localhost/ && break; sleep 0.05; done

# An asymmetric picture, 640 x 480: red "F" on blue with a green mark in its top-left corner.
convert -size 640x480 xc:blue -fill red -draw "rectangle 100,100 160,400" \
    -draw "rectangle 100,100 500,160" -fill lime -draw "rectangle 0,0 9,9" PNG24:../shot.png
# Placed centred: originX = floor(W/2 - w/2) + 2, originY = H/2 - floor(h/2) - 16; (626, 252)
# in a 1888 x 1016 window.
OX=$(((W - 640) / 2 + 2))
OY=$((H / 2 - 240 - 16))

"$wine_run" "$program" -s >>"$log" 2>&1 &
pid=$!
# Let the program reach its idle loop (Wine takes a moment to start a process).
sleep 3
copy_bitmap ../shot.png
wait_window 'Glimmerix Idle' 10
check "a clipboard bitmap opens the editor ($(($(now_ms) - put_at)) ms)" test -n "$wid"
[ -n "$wid" ] || { echo "$failures failed"; exit 1; }
wait_editor 5

# CENSOR, then a drag from (300, 200) to (400, 300) of the capture; every step held 100 ms, as
# the editor looks at the buttons once a 15 ms frame.
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key 2
sleep 0.1
xdotool mousemove --window "$wid" $((OX + 300)) $((OY + 200)); sleep 0.1
xdotool mousedown 1; sleep 0.1
xdotool mousemove --window "$wid" $((OX + 400)) $((OY + 300)); sleep 0.1
xdotool mouseup 1; sleep 0.1
# UPLOAD, the first button of the menu bar.
click_at "$wid" 56 $((H - 22))
started=$(now_ms)
wait_window DONE 10
check "the title becomes DONE ($(($(now_ms) - started)) ms after the click)" test -n "$wid"
# Keep copies while the capture files still exist: they go after the 1.5 s pause.
cp screenshot.png screenshot.jpg .. 2>/dev/null
sleep 0.2
import -window root ../done.png
green=$(convert ../done.png -crop "${W}x8+${WX}+$((WY + 8))" -fill black +opaque lime \
    -format '%[fx:int(mean*w*h*3)]' info:)
check "the success message is drawn in green on text row 2 ($green green pixels)" test "$green" -gt 50

read_clipboard_text
link=$clip
check "the clipboard holds the link as text ($link)" \
    sh -c "printf '%s' '$link' | grep -Eqx 'http://localhost/[A-Za-z0-9_-]+\.(png|jpg)'"
curl -s -o ../fetched "$link"
check "the link serves the upload" test -s ../fetched
kind=$(identify -format '%m %w %h' ../fetched 2>/dev/null)
check "the upload is the 640 x 480 capture ($kind)" sh -c "echo '$kind' | grep -Eq '^(PNG|JPEG) 640 480$'"
box=$(convert ../fetched -format '%[fx:int(255*max(u.r,max(u.g,u.b)))]' -crop 1x1+350+250 info:)
check "the censor box is black in the upload (brightest channel $box)" test "$box" -le 24
stem=$(convert ../fetched -format '%[fx:int(255*u.r)]' -crop 1x1+130+300 info:)
check "the rest of the capture is intact (red $stem)" test "$stem" -ge 200
sent=$(cd .. && for f in screenshot.png screenshot.jpg; do cmp -s "$f" fetched && echo "$f"; done)
check "the service stored the posted file byte for byte ($sent)" test -n "$sent"
size=$(stat -c %s ../fetched)
check "dump.txt holds the request, its Content-Length the file's $size bytes + 228" \
    grep -aq "^Content-Length: $((size + 228))"$'\r'"\$" dump.txt

wait_gone DONE 5
waited=$(($(now_ms) - started))
check "the window closes after the 1.5 s pause (${waited} ms after the click)" test "$waited" -ge 1400
sleep 0.3
check "no window remains" test -z "$(window_titled DONE)$(window_titled 'Glimmerix Idle')"
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"
read_clipboard_text
check "the link is still on the clipboard with no window" test "$clip" = "$link"

# "q" during the pause after an upload ends the program with 0 and leaves both capture files.
copy_bitmap ../shot.png
wait_window 'Glimmerix Idle' 10
check "a new bitmap opens the editor again" test -n "$wid"
if [ -n "$wid" ] && wait_editor 5; then
    xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key u
    wait_window DONE 10
    check "u uploads as the button does" test -n "$wid"
    xdotool key q
fi
wait_exit "$pid" 5
check "q in the pause ends the program with 0 (got $code)" test "$code" = 0
check "...and leaves both capture files" test -e screenshot.png -a -e screenshot.jpg
read_clipboard_text
check "...after putting the new link on the clipboard ($clip)" \
    test -n "$clip" -a "$clip" != "$link"
[ "$code" = running ] && stop_program "$pid"

echo "$failures failed"
[ "$failures" = 0 ]
