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
    local n
    for n in $(seq $((100 + $$ % 400)) $((140 + $$ % 400))); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 100); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
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
