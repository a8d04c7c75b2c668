#!/usr/bin/env bash
# The road of one screenshot, shown without a screen. On a private virtual display (Xvfb) and a
# private network, where port 80 is free: starts glimmerix-server and Glimmerix, copies a
# picture to the clipboard, waits for the editor, paints a censor box over a secret and rings a
# mark around an error with real pointer events, presses UPLOAD, prints the link from the
# clipboard, fetches it back and checks that the secret is black and the mark red. Pictures of
# the editor and of the DONE state are left in build/run/demo/. Exits 0 only when all of that
# happened.
#
#   scripts/demo.sh
set -u
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo" || exit 1

if [ "${GLIMMERIX_DEMO_NETWORK:-}" != private ]; then
    scripts/install-deps.sh || exit 1
    [ -f build/build.ninja ] || cmake --preset linux >/dev/null || exit 1
    cmake --build --preset linux --target glimmerix glimmerix-server >/dev/null || exit 1
    # A user and network namespace of our own: any user may make one, port 80 is ours in it,
    # and "localhost" reaches only our service.
    if unshare -rn true 2>/dev/null; then
        # shellcheck disable=SC2016  # expanded by the inner shell
        exec unshare -rn env GLIMMERIX_DEMO_NETWORK=private \
            bash -c 'ip link set lo up && exec "$0"' "$0"
    fi
    echo "demo: no private network here; using this machine's port 80"
fi

out=$repo/build/run/demo
program=$repo/build/src/glimmerix
server=$repo/build/server/glimmerix-server
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# shellcheck source=scripts/lib/desktop.sh
. "$repo/scripts/lib/desktop.sh"
say() { echo "demo: $*"; }
fail() {
    echo "demo: FAILED: $*" >&2
    exit 1
}
cleanup() {
    for pid in ${program_pid:-} ${xclip_pid:-} ${server_pid:-} ${xvfb_pid:-}; do
        stop_program "$pid"
    done
}
trap cleanup EXIT

rm -rf "$out"
mkdir -p "$out/data" "$out/work"
cp logo.png "$out/work/"
cd "$out" || exit 1
work=$out clipboard_log=$out/xclip.log

# The display: 1280 x 800 and no window manager, so the editor is 1248 x 736 at (16, 32).
start_xvfb 1280x800 "$out" || fail "Xvfb did not start"
editor_geometry 1280 800
say "virtual display $DISPLAY"

answers() { curl -s -o /dev/null --max-time 2 http://localhost/; }
if answers; then
    say "an upload service already answers on http://localhost/; using it"
else
    "$server" --port 80 --data-dir data --public-url http://localhost 2>server.log &
    server_pid=$!
    wait_until 5 answers || fail "glimmerix-server did not start: $(tail -n 3 server.log)"
    say "glimmerix-server on http://localhost/"
fi

# The screenshot: a terminal with a secret to censor and an error to mark.
convert -size 900x420 xc:'#fbfbf8' -fill '#2d4f7c' -draw 'rectangle 0,0 899,43' \
    -font "$bold" -pointsize 20 -fill white -annotate +18+29 'deploy.log - Terminal' \
    -fill '#28c840' -draw 'circle 802,22 809,22' -fill '#febc2e' -draw 'circle 826,22 833,22' \
    -fill '#ff5f57' -draw 'circle 850,22 857,22' -font "$font" -pointsize 21 -fill '#1d1d1d' \
    -annotate +28+96 '$ ./deploy --env production' \
    -annotate +28+136 'Connecting to db.internal:5432 ... ok' \
    -annotate +28+176 'Using API token 7f3c9a1e-52bd-4d08-b6a1-93e0c2f4' \
    -annotate +28+216 'Applying migrations 0040..0043' \
    -fill '#b3261e' -annotate +28+256 'ERROR: 0042_add_invoice_index failed' \
    -fill '#1d1d1d' -annotate +80+296 'duplicate column "created_at"' \
    -annotate +28+336 'Rolled back; nothing was changed.' -annotate +28+376 '$ _' \
    PNG24:picture.png || fail "cannot draw the picture"

cd work || exit 1
"$program" >../glimmerix.log 2>&1 &
program_pid=$!
say "Glimmerix started (splash for 2 s, then it waits without a window)"
sleep 0.5
own_clipboard image/png ../picture.png || fail "cannot put the picture on the clipboard"
say "picture.png is on the clipboard"

wait_window 'Glimmerix Idle' 10 || fail "the editor did not open"
wait_editor 5 || fail "the editor loop did not start"
say "the editor is open: $W x $H at ($WX, $WY)"

# The picture is centred: its top left stands at (OX, OY) in the window.
place 900 420
at() { echo $((OX + $1)) $((OY + $2)); }  # at X Y: a point of the picture in the window

press "$wid" 2
# shellcheck disable=SC2046  # one coordinate a word
drag "$wid" $(for x in 228 330 450 570 664; do at "$x" $((148 + (x - 228) * 40 / 436)); done)
say "CENSOR: a black box over the API token"

press "$wid" 1
# shellcheck disable=SC2046
drag "$wid" $(at 522 242) $(for degrees in $(seq 0 12 372); do
    awk -v d="$degrees" -v ox="$OX" -v oy="$OY" 'BEGIN { r = d * 3.14159265 / 180;
        printf "%d %d\n", ox + 266 + 256 * cos(r), oy + 242 - 26 * sin(r) }'
done)
say "MARK: a red ring around the error"

sleep 0.3
import -window root ../editor.png
say "picture of the editor: $out/editor.png"

# UPLOAD is the first button: its middle is 56 pixels in, 22 above the window's bottom.
click_at "$wid" 56 $((H - 22))
wait_window DONE 15 || fail "the upload did not finish"
sleep 0.2
import -window root ../done.png
say "picture of the DONE state: $out/done.png"

link=$(xclip -selection clipboard -o 2>/dev/null)
[[ $link =~ ^http://localhost/[A-Za-z0-9_-]+\.(png|jpg)$ ]] ||
    fail "the clipboard holds no link: '$link'"
say "the link on the clipboard: $link"
cd .. || exit 1
curl -sf -o "uploaded.${link##*.}" "$link" || fail "the link does not answer"
uploaded=uploaded.${link##*.}
size=$(identify -format '%wx%h' "$uploaded")
[ "$size" = 900x420 ] || fail "the link serves a ${size} picture, not the 900x420 capture"

# Brightest channel inside the censor box, a few pixels in from its edges for JPEG's sake.
secret=$(convert "$uploaded" -crop 420x28+234+154 -separate -evaluate-sequence max \
    -format '%[fx:int(255*maxima)]' info:)
[ "$secret" -le 24 ] || fail "the API token is not black in the upload (brightest $secret)"
say "the API token is black in the upload (brightest channel $secret of 255)"
# The ring's right end, where the pen started: red, with room for JPEG's rounding.
mark=$(convert "$uploaded" -crop 1x1+522+242 -format '%[fx:int(255*r)] %[fx:int(255*g)]' info:)
read -r red green <<<"$mark"
if [ "$red" -lt 200 ] || [ "$green" -gt 60 ]; then fail "the mark is not red in the upload ($mark)"; fi
say "the mark is red in the upload"
say "done: the road of one screenshot works; pictures in $out"
