# shellcheck shell=bash disable=SC2034,SC2154
# Driving Glimmerix on a virtual display as a person would: sturdy waits, a private Xvfb, windows
# found by title, the clipboard owned by another program, keys and pointer moves at a hand's pace,
# screen pixels. Shared by the demo (scripts/demo.sh) and the end-to-end tests (tests/e2e/).

now_ms() { date +%s%3N; }
until_ms() { [ "$(now_ms)" -lt "$1" ] && sleep "$2"; }  # until_ms DEADLINE PAUSE: keep waiting?
wait_until() {  # wait_until SECONDS COMMAND...: looks every 50 ms until COMMAND succeeds
    local deadline=$(($(now_ms) + $1 * 1000))
    until "${@:2}"; do until_ms "$deadline" 0.05 || return 1; done
}

# start_xvfb WxH FOLDER: a virtual display on a free number, as a job of this shell; sets
# xvfb_pid and exports DISPLAY. -noreset: by default Xvfb resets when its last client leaves,
# refusing whoever connects then.
start_xvfb() {
    xvfb_number=$2/display
    Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -noreset 3>"$xvfb_number" &>/dev/null &
    xvfb_pid=$!
    display_up() { DISPLAY=:$(head -n 1 "$xvfb_number" 2>/dev/null) xdpyinfo >/dev/null 2>&1; }
    wait_until 5 display_up || return 1
    DISPLAY=:$(head -n 1 "$xvfb_number") && export DISPLAY
}

rgb='%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]'
pixel() { convert "$1" -crop "1x1+$2+$3" -format "$rgb" info:; }  # pixel PNG X Y: "r,g,b"
shot() { import -window root "$1"; }
shows() {  # shows SCREENSHOT PICTURE X Y: the picture, pixel for pixel, with its corner at (X, Y)
    convert "$1" -crop "$(identify -format %wx%h "$2")+$3+$4" +repage png:- |
        compare -metric AE png:- "$2" null: 2>/dev/null
}

# One look through `xdotool search ARGS`; sets `found`, the first window or empty. xdotool dies of
# BadWindow when a window vanishes mid-search, which would pass for "none": such a look is redone.
look() {
    local out deadline=$(($(now_ms) + 5000))
    while out=$(xdotool search "$@" 2>&1); [[ $out =~ [^0-9$'\n'] ]]; do
        until_ms "$deadline" 0.02 || return 1
    done
    found=${out%%$'\n'*}
}
has_window() { look --name "^$1\$" && [ -n "$found" ]; }  # has_window TITLE
no_window() { look --name "^$1\$" && [ -z "$found" ]; }
nothing_shown() { look --onlyvisible --name . && [ -z "$found" ]; }
# Both look every 50 ms (xdotool's --sync twice a second): times from them are good to 50 ms.
wait_window() { wid=; wait_until "$2" has_window "$1" && wid=$found; }  # TITLE SECONDS: sets wid
wait_gone() { wait_until "$2" no_window "$1"; }  # wait_gone TITLE SECONDS

stop_program() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

# Another program takes the clipboard, as xclip, with FILE as TYPE; its messages go to
# $clipboard_log. The previous xclip goes first, so that TYPE among the targets means that the
# new one is there. Sets put_at (ms).
own_clipboard() {  # own_clipboard TYPE FILE
    [ -n "${xclip_pid:-}" ] && stop_program "$xclip_pid"
    xclip -quiet -selection clipboard -t "$1" -i "$2" >>"${clipboard_log:-/dev/null}" 2>&1 &
    xclip_pid=$!
    offered() { timeout 2 xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx "$1"; }
    wait_until 5 offered "$1" && put_at=$(now_ms)
}

# press WINDOW KEY...: to the focused window, as a hand's; Wine ignores keys sent to a window.
press() { timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null; xdotool key "${@:2}"; sleep 0.1; }
# The editor looks at the buttons once a 15 ms frame, so every pointer step is held for 100 ms:
# a shorter press could go unseen, as no hand's would.
point() { xdotool mousemove --window "$1" "$2" "$3"; sleep 0.1; }
click_at() { point "$@"; xdotool mousedown 1; sleep 0.1; xdotool mouseup 1; }
drag() {  # drag WINDOW X Y X Y...: the left button held from the first point to the last
    local window=$1
    point "$window" "$2" "$3"; xdotool mousedown 1; shift 3
    while [ $# -ge 2 ]; do sleep 0.1; point "$window" "$1" "$2"; shift 2; done
    xdotool mouseup 1; sleep 0.1
}

# editor_geometry WORK_W WORK_H: the editor is the work area less 32 across and 64 down, centred
# in it (without a window manager the work area is the screen); sets W, H and its corner WX, WY.
editor_geometry() { W=$(($1 - 32)) H=$(($2 - 64)) WX=16 WY=32; }
# Where a capture of $1 x $2 stands in the editor, sets OX, OY: x = floor(W/2 - w/2) + 2,
# y = H/2 - floor(h/2) - 16; for 1001 x 601 in 1888 x 1016, (445, 192).
place() { OX=$(((W - $1) / 2 + 2)) OY=$((H / 2 - $2 / 2 - 16)); }
# The editor loop runs once its first frame drew MARK, the tool it starts with, in green; keys
# sent before that are drained by the loop's start and lost.
editor_runs() { shot "$work/now.png" && [ "$(pixel "$work/now.png" $((WX + 380)) $((WY + H - 34)))" = 0,255,0 ]; }
wait_editor() { wait_until "$1" editor_runs; }  # wait_editor SECONDS
