# Shared helpers for the end-to-end scripts: a private Xvfb, checks, and process handling.
# Sourced, not run.

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok   - $1"
    else
        echo "FAIL - $1"
        failures=$((failures + 1))
    fi
}

start_xvfb() {  # sets DISPLAY to a fresh virtual display, 1920x1080x24
    # Xvfb picks a free display number itself, so tests running side by side never share one.
    local number
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$number" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$number")"
    rm -f "$number"
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "cannot start Xvfb" >&2
    return 1
}

stop_xvfb() { [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null || true; }

# Waits up to $2 seconds for process $1 (a child of this shell) to end and sets `code` to its
# exit code, or to "running". Not for use in $(...): a subshell cannot wait for our children.
wait_exit() {
    local pid=$1 limit=$2 i
    code=running
    for i in $(seq $((limit * 20))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            code=$?
            return
        fi
        sleep 0.05
    done
}

stop_program() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null || true; }

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

# The colour of one pixel of a PNG, as "r,g,b".
pixel() {  # pixel FILE X Y
    convert "$1" -format "%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]" \
        -crop "1x1+$2+$3" info:
}

window_titled() { xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }

# Window waits. Both poll every 50 ms (xdotool's own --sync waits half a second between
# looks), so times measured from a window's appearance or disappearance are good to 50 ms.
wait_window() {  # wait_window TITLE SECONDS: sets wid, empty when no such window came
    for _ in $(seq $(($2 * 20))); do
        wid=$(window_titled "$1")
        [ -n "$wid" ] && return 0
        sleep 0.05
    done
    return 1
}
wait_gone() {  # wait_gone TITLE SECONDS
    for _ in $(seq $(($2 * 20))); do
        [ -z "$(window_titled "$1")" ] && return 0
        sleep 0.05
    done
    return 1
}
