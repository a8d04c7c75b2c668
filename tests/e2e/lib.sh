# shellcheck shell=bash disable=SC2034,SC2154,SC2317
# What every scenario shares: checks, display, exit trap, sturdy waits, input, editor geometry.

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   - $1"; else echo "FAIL - $1"; failures=$((failures + 1)); fi
}
finish() { echo "$failures failed"; [ "$failures" = 0 ] && exit 0; exit 1; }
give_up() { echo "FAIL - $1 (the rest cannot run)"; echo "$((failures + 1)) failed"; exit 1; }
skip() { echo "skipped: $1"; exit 77; }
now_ms() { date +%s%3N; }
until_ms() { [ "$(now_ms)" -lt "$1" ] && sleep "$2"; }  # until_ms DEADLINE PAUSE: keep waiting?
wait_until() {  # wait_until SECONDS COMMAND...: looks every 50 ms until COMMAND succeeds
    local deadline=$(($(now_ms) + $1 * 1000))
    until "${@:2}"; do until_ms "$deadline" 0.05 || return 1; done
}
rgb='%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]'
pixel() { convert "$1" -crop "1x1+$2+$3" -format "$rgb" info:; }  # pixel PNG X Y: "r,g,b"
shot() { import -window root "$1"; }
shows() {  # shows SCREENSHOT PICTURE X Y: the picture, pixel for pixel, with its corner at (X, Y)
    convert "$1" -crop "$(identify -format %wx%h "$2")+$3+$4" +repage png:- |
        compare -metric AE png:- "$2" null: 2>/dev/null
}

# A folder, a 1920 x 1080 Xvfb on a free display and the target's set-up; every exit runs `leave`.
# -noreset: by default Xvfb resets when its last client leaves, refusing whoever connects then.
setup() {
    work=$(mktemp -d)
    trap leave EXIT
    trap 'exit 143' INT TERM HUP
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" &>/dev/null &
    xvfb_pid=$!
    display_up() { DISPLAY=:$(head -n 1 "$work/display" 2>/dev/null) xdpyinfo >/dev/null 2>&1; }
    wait_until 5 display_up || give_up "cannot start Xvfb"
    DISPLAY=:$(head -n 1 "$work/display") && export DISPLAY
    mkdir "$work/run" && cd "$work/run" && target_prepare
}
# Programs, service, helpers and Xvfb are jobs of this shell; the target stops what outlives them.
leave() {
    local left p
    left=$(jobs -p)
    # shellcheck disable=SC2086  # one process a word
    [ -n "$left" ] && kill $left 2>/dev/null
    target_stop
    for p in $left; do wait_exit "$p" 3; [ "$code" = running ] && kill -9 "$p" 2>/dev/null; done
    [ -d "$work/ceph" ] && sh "$ceph_cluster" stop "$work/ceph"
    rm -rf "$work"
}

# Re-runs the whole run in a private network namespace, where port 80 is free and "localhost"
# is only ours. Called before `setup`, so that Wine's server starts inside it too.
enter_namespace() {
    [ "${GLIMMERIX_IN_NAMESPACE:-}" = 1 ] && return
    unshare -n true 2>/dev/null || skip "cannot create a network namespace (needs root)"
    # shellcheck disable=SC2016  # expanded by the inner shell
    exec unshare -n env GLIMMERIX_IN_NAMESPACE=1 bash -c 'ip link set lo up && exec "$0" "$@"' \
        "$runner" "${runner_args[@]}"
}
# With store=s3 the service keeps its images in the bucket of a throwaway Ceph cluster started
# in $work/ceph (inside the namespace; `leave` stops it).
ceph_cluster=$e2e_dir/../server/ceph/cluster.sh
start_server() {  # the real upload service on port 80, storing into $work/data or S3
    mkdir "$work/data"
    local flags=()
    if [ "${store:-}" = s3 ]; then
        sh "$ceph_cluster" start "$work/ceph" 1 >"$work/ceph.log" 2>&1 ||
            give_up "the Ceph cluster does not start"
        . "$work/ceph/env"
        export AWS_ACCESS_KEY_ID AWS_SECRET_ACCESS_KEY
        "$server" --new-delete-key "$work/delete.key"
        flags=(--s3-endpoint "$S3_ENDPOINT_1" --s3-bucket "$S3_BUCKET"
               --delete-key-file "$work/delete.key")
    fi
    "$server" --port 80 --data-dir "$work/data" --public-url http://localhost "${flags[@]}" \
        2>"$work/server.log" &
    for _ in $(seq 100); do curl -s -o /dev/null http://localhost/ && return; sleep 0.05; done
    give_up "the upload service does not answer"
}

# wait_exit PID SECONDS: for a job of this shell (never in $(...)); sets `code`, or "running".
ended() { ! kill -0 "$1" 2>/dev/null; }
wait_exit() { code=running; wait_until "$2" ended "$1" && { wait "$1"; code=$?; }; }
stop_program() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

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

# Another program takes the clipboard, as xclip, with FILE as TYPE. The previous xclip goes
# first, so that TYPE among the targets means that the new one is there. Sets put_at (ms).
own_clipboard() {  # own_clipboard TYPE FILE
    [ -n "${xclip_pid:-}" ] && stop_program "$xclip_pid"
    xclip -quiet -selection clipboard -t "$1" -i "$2" >>"$work/xclip.log" 2>&1 &
    xclip_pid=$!
    offered() { timeout 2 xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx "$1"; }
    wait_until 5 offered "$1" && put_at=$(now_ms)
}
# Text for both targets: Wine hands X's clipboard text to Windows programs as CF_TEXT.
copy_text() { printf '%s' "$1" >"$work/text.txt"; own_clipboard UTF8_STRING "$work/text.txt"; }

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

# The editor is the work area less 32 across and 64 down, centred in it: 1888 x 1016 at
# (16, 32) here, where without a window manager the work area is the screen, on both targets.
W=1888 H=1016 WX=16 WY=32
# Where a capture of $1 x $2 stands in the editor, sets OX, OY: x = floor(W/2 - w/2) + 2,
# y = H/2 - floor(h/2) - 16; for 1001 x 601, (445, 192).
place() { OX=$(((W - $1) / 2 + 2)) OY=$((H / 2 - $2 / 2 - 16)); }
# The editor loop runs once its first frame drew MARK, the tool it starts with, in green; keys
# sent before that are drained by the loop's start and lost.
editor_runs() { shot now.png && [ "$(pixel now.png $((WX + 380)) $((WY + H - 34)))" = 0,255,0 ]; }
wait_editor() { wait_until "$1" editor_runs; }  # wait_editor SECONDS
