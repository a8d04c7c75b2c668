# shellcheck shell=bash
# What every scenario shares: checks, the run's private display and folder, the one exit trap,
# window waits that survive vanishing windows, input as a hand gives it, and the editor's
# geometry. Sourced by run.sh, before the target adapter.
# shellcheck disable=SC2034,SC2154  # variables are handed between the sourced files

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   - $1"; else echo "FAIL - $1"; failures=$((failures + 1)); fi
}
finish() { echo "$failures failed"; [ "$failures" = 0 ] && exit 0; exit 1; }
give_up() { echo "FAIL - $1 (the rest cannot run)"; echo "$((failures + 1)) failed"; exit 1; }
skip() { echo "skipped: $1"; exit 77; }

now_ms() { date +%s%3N; }
pixel() {  # pixel PNG X Y: "r,g,b"
    convert "$1" -format "%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]" \
        -crop "1x1+$2+$3" info:
}
shot() { import -window root "$1"; }

# A folder, a virtual display and the target's own set-up for this run; every way out of the
# script, a failed check, a give-up or a signal, passes through `leave`.
setup() {
    work=$(mktemp -d)
    trap leave EXIT
    trap 'exit 143' INT TERM HUP
    start_xvfb || give_up "cannot start Xvfb"
    mkdir "$work/run"
    cd "$work/run" || exit 1
    target_prepare
}
# Stops everything the run started: the programs under test, the service, clipboard helpers
# and Xvfb are all jobs of this shell; the target then stops what outlives them (wineserver).
leave() {
    local left p
    left=$(jobs -p)
    [ -n "$left" ] && kill $left 2>/dev/null
    target_stop
    for p in $left; do
        wait_exit "$p" 3
        [ "$code" = running ] && kill -9 "$p" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}

start_xvfb() {  # sets DISPLAY; Xvfb picks a free number, so runs side by side never share one
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    local deadline=$(($(now_ms) + 5000))
    until [ -s "$work/display" ] && DISPLAY=:$(head -n 1 "$work/display") xdpyinfo >/dev/null 2>&1
    do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
    export DISPLAY=:$(head -n 1 "$work/display")
}

# Re-runs the whole run inside a private network namespace, where port 80 is free and
# "localhost" is only ours. Called before `setup`, so that Wine's server starts inside it too.
enter_namespace() {
    [ "${GLIMMERIX_IN_NAMESPACE:-}" = 1 ] && return
    unshare -n true 2>/dev/null || skip "cannot create a network namespace (needs root)"
    # shellcheck disable=SC2016  # expanded by the inner shell
    exec unshare -n env GLIMMERIX_IN_NAMESPACE=1 bash -c 'ip link set lo up && exec "$0" "$@"' \
        "$runner" "${runner_args[@]}"
}
start_server() {  # the real upload service on port 80, storing into $work/data
    mkdir "$work/data"
    "$server" --port 80 --data-dir "$work/data" --public-url http://localhost \
        2>"$work/server.log" &
    for _ in $(seq 100); do curl -s -o /dev/null http://localhost/ && return 0; sleep 0.05; done
    give_up "the upload service does not answer"
}

# Waits up to $2 seconds for process $1 (a job of this shell) to end; sets `code` to its exit
# code, or to "running". Not in $(...): a subshell cannot wait for our jobs.
wait_exit() {
    local i
    code=running
    for i in $(seq $(($2 * 20))); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; code=$?; return; }
        sleep 0.05
    done
}
stop_program() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

# One look through `xdotool search ARGUMENTS`; sets `found` to the first window, empty for none.
# xdotool dies of BadWindow when a window vanishes while it reads the window list, which would
# look like "no such window"; such a look is repeated, so only a clean one counts, either way.
# Fails after 5 s of those.
look() {
    local out deadline=$(($(now_ms) + 5000))
    while out=$(xdotool search "$@" 2>&1); [[ $out =~ [^0-9$'\n'] ]]; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
    found=${out%%$'\n'*}
}
has_window() { look --name "^$1\$" && [ -n "$found" ]; }  # has_window TITLE
no_window() { look --name "^$1\$" && [ -z "$found" ]; }
nothing_shown() { look --onlyvisible --name . && [ -z "$found" ]; }
# Both poll every 50 ms (xdotool's --sync looks twice a second), so times measured from a
# window's appearance or disappearance are good to about 50 ms.
wait_window() {  # wait_window TITLE SECONDS: sets wid, empty when no such window came
    local deadline=$(($(now_ms) + $2 * 1000))
    wid=
    until has_window "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
    wid=$found
}
wait_gone() {  # wait_gone TITLE SECONDS
    local deadline=$(($(now_ms) + $2 * 1000))
    until no_window "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# Keys go to the focused window, as a hand's do: Wine ignores keys sent to a window directly.
press() {  # press WINDOW KEY...
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key "${@:2}"
    sleep 0.1
}
# The editor looks at the buttons once a 15 ms frame, so every pointer step is held for 100 ms:
# a shorter press could go unseen, as no hand's would.
point() { xdotool mousemove --window "$1" "$2" "$3"; sleep 0.1; }
click_at() { point "$@"; xdotool mousedown 1; sleep 0.1; xdotool mouseup 1; }
drag() {  # drag WINDOW X Y X Y...: the left button held from the first point to the last
    local window=$1
    point "$window" "$2" "$3"
    xdotool mousedown 1
    shift 3
    while [ $# -ge 2 ]; do sleep 0.1; point "$window" "$1" "$2"; shift 2; done
    xdotool mouseup 1
    sleep 0.1
}

# The editor is the work area less 32 across and 64 down, centred in it: sets W, H, WX, WY.
# On a bare Xvfb (and under Wine without a window manager) that is 1888 x 1016 at (16, 32).
measure_editor() {
    local left top right bottom
    read -r left top right bottom < <(work_area)
    W=$((right - left - 32)) H=$((bottom - top - 64)) WX=$((left + 16)) WY=$((top + 32))
}
# Where a capture of $1 x $2 stands in the editor, sets OX, OY: x = floor(W/2 - w/2) + 2,
# y = H/2 - floor(h/2) - 16; for 1001 x 601 in 1888 x 1016, (445, 192).
place() { OX=$(((W - $1) / 2 + 2)) OY=$((H / 2 - $2 / 2 - 16)); }
# The editor loop runs once its first frame drew the menu bar with MARK, the tool it starts
# with, in green; keys sent before that are drained by the loop's start and lost.
wait_editor() {  # wait_editor SECONDS
    local deadline=$(($(now_ms) + $1 * 1000))
    until [ "$(import -window root -crop "1x1+$((WX + 380))+$((WY + H - 34))" +repage \
        -format '%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]' info:)" = 0,255,0 ]; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
