#!/usr/bin/env bash
# The road of one screenshot, end to end: a clipboard image opens the editor, a censor box is
# dragged, UPLOAD posts the capture to a real glimmerix-server on port 80 and the link lands on
# the clipboard. Runs in a private network namespace, where port 80 is free and "localhost" is
# only ours.
# Usage: x11_upload.sh PROGRAM SERVER
set -u
if [ "${GLIMMERIX_IN_NAMESPACE:-}" != 1 ]; then
    if ! unshare -n true 2>/dev/null; then
        echo "skipped: cannot create a network namespace (needs root)"
        exit 77
    fi
    exec unshare -n env GLIMMERIX_IN_NAMESPACE=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
program=$(realpath "$1")
server=$(realpath "$2")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'stop_program "${server_pid:-}"; stop_xvfb; pkill -P $$ xclip 2>/dev/null; rm -rf "$work"' EXIT
start_xvfb || exit 1
cd "$work"
mkdir data run

"$server" --port 80 --data-dir data --public-url http://localhost 2>server.log & server_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null http://localhost/ && break; sleep 0.05; done

W=1888
H=1016
WX=16
WY=32
convert -size 640x480 xc:blue -fill red -draw "rectangle 100,100 160,400" \
    -draw "rectangle 100,100 500,160" -fill lime -draw "rectangle 0,0 9,9" PNG24:shot.png
# A 640 x 480 capture stands at (626, 252) in the 1888 x 1016 window.
OX=626
OY=252

cd run
"$program" -s & pid=$!
sleep 0.5
xclip -selection clipboard -t image/png -i ../shot.png &
wid=$(timeout 5 xdotool search --sync --name '^Glimmerix Idle$' | head -n 1)
check "the editor opens" test -n "$wid"
[ -n "$wid" ] || { echo "$failures failed"; exit 1; }
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" 2
sleep 0.1
xdotool mousemove --window "$wid" $((OX + 300)) $((OY + 200)); sleep 0.1
xdotool mousedown 1; sleep 0.1
xdotool mousemove --window "$wid" $((OX + 400)) $((OY + 300)); sleep 0.1
xdotool mouseup 1; sleep 0.1
# UPLOAD: the editor samples the buttons once a frame, so the click lasts as long as a hand's.
xdotool mousemove --window "$wid" 56 $((H - 22)); sleep 0.1
xdotool mousedown 1; sleep 0.1
xdotool mouseup 1
started=$(now_ms)
done_wid=$(timeout 10 xdotool search --sync --name '^DONE$' | head -n 1)
check "the title becomes DONE" test -n "$done_wid"
# Keep copies while the capture files still exist: they go after the 1.5 s pause.
cp screenshot.png screenshot.jpg .. 2>/dev/null
sleep 0.2
import -window root done.png
green=$(convert done.png -crop "${W}x8+${WX}+$((WY + 8))" -fill black +opaque lime -format '%[fx:int(mean*w*h*3)]' info:)
check "the success message is drawn in green on text row 2 ($green green pixels)" test "$green" -gt 50
link=$(xclip -selection clipboard -o 2>/dev/null)
check "the clipboard holds the link ($link)" sh -c "echo '$link' | grep -Eq '^http://localhost/[A-Za-z0-9_-]+\.(png|jpg)$'"
curl -s -o fetched "$link"
check "the link serves the upload" test -s fetched
kind=$(identify -format '%m %w %h' fetched 2>/dev/null)
check "the upload is the 640 x 480 capture ($kind)" sh -c "echo '$kind' | grep -Eq '^(PNG|JPEG) 640 480$'"
box=$(convert fetched -format '%[fx:int(255*max(u.r,max(u.g,u.b)))]' -crop 1x1+350+250 info:)
check "the censor box is black in the upload (brightest channel $box)" test "$box" -le 24
stem=$(convert fetched -format '%[fx:int(255*u.r)]' -crop 1x1+130+300 info:)
check "the rest of the capture is intact (red $stem)" test "$stem" -ge 200
sent=$(cd .. && for f in screenshot.png screenshot.jpg; do cmp -s "$f" run/fetched && echo "$f"; done)
check "the service stored the posted file byte for byte ($sent)" test -n "$sent"
check "dump.txt holds the request" grep -q "POST /api.php HTTP/1.0" dump.txt

timeout 5 sh -c "while xdotool search --name '^DONE\$' >/dev/null 2>&1; do sleep 0.05; done"
waited=$(( $(now_ms) - started ))
check "the window closes after the 1.5 s pause (${waited} ms)" test "$waited" -ge 1400
sleep 0.3
check "both capture files are gone" test ! -e screenshot.png -a ! -e screenshot.jpg
check "the program keeps waiting" kill -0 "$pid"
check "the link is still on the clipboard with no window" test "$(xclip -selection clipboard -o)" = "$link"
stop_program "$pid"

echo "$failures failed"
[ "$failures" = 0 ]
