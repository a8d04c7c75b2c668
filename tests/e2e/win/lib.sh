# shellcheck shell=bash
# Helpers for the Wine end-to-end scripts that drive the clipboard: a private X display and Wine
# prefix, the clipboard tool, and waits for windows. Sourced, not run; sources ../lib.sh.
# The sourcing script sets `tool` to clipboard_tool.exe first; the functions set variables for
# it to read.
# shellcheck disable=SC2034,SC2154

win_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$win_here/../../../scripts/wine-run.sh
# shellcheck source=tests/e2e/lib.sh
. "$win_here/../lib.sh"

# A temp dir `work` with a Wine prefix of its own on a fresh virtual display, removed on exit
# together with every Wine process of the prefix. The caller runs in $work/run. Wine's output
# goes to $work/wine.log: a pipe would be held open by Wine's own services.
setup_wine() {
    work=$(mktemp -d)
    export WINEPREFIX=$work/wine/prefix
    log=$work/wine.log
    trap cleanup_wine EXIT
    start_xvfb || exit 1
    # Made now (about 10 s), so that no timed check below pays for it.
    "$wine_run" --prepare || { echo "cannot prepare the Wine prefix" >&2; exit 1; }
    mkdir "$work/run"
    cd "$work/run" || exit 1
}
cleanup_wine() {
    wineserver -k 2>/dev/null
    stop_xvfb
    [ -n "${cleanup_more:-}" ] && $cleanup_more
    rm -rf "$work"
}

run_tool() { timeout 30 "$wine_run" "$tool" "$@" >>"$log" 2>&1; }

# Sets W, H (the editor's size) and WX, WY (its place on the screen) from the work area that
# SystemParametersInfoA reports: the editor is the work area less 32 across and 64 down, centred
# in it. Under Wine without a window manager the work area is the whole screen, (0, 0) to
# (1920, 1080), so the editor is 1888 x 1016 at (16, 32), as on X11.
measure_editor() {
    run_tool work-area area.txt
    read -r left top right bottom < <(tr -d '\r' <area.txt)
    W=$((right - left - 32))
    H=$((bottom - top - 64))
    WX=$((left + 16))
    WY=$((top + 32))
    echo "work area ($left,$top)-($right,$bottom): editor ${W}x${H} at ($WX,$WY)"
}

# Puts a picture on the clipboard as a device-dependent bitmap of the screen's depth (or of
# DEPTH 1); the tool keeps it alive in the background. Waits until it is there, then sets put_at
# (ms) and bitmap to the tool's "WIDTH HEIGHT BITS" of it, empty when it never came.
copy_bitmap() {  # copy_bitmap PICTURE [DEPTH]
    rm -f bitmap.txt
    "$wine_run" "$tool" put-bitmap "$1" bitmap.txt 120 "${2:-screen}" >>"$log" 2>&1 &
    bitmap=
    for _ in $(seq 300); do
        [ -s bitmap.txt ] && { bitmap=$(tr -d '\r\n' <bitmap.txt); break; }
        sleep 0.05
    done
    put_at=$(now_ms)
}

# Sets clip to the clipboard's text, empty when it holds none.
read_clipboard_text() {
    rm -f clip.txt
    run_tool get-text clip.txt
    clip=$(cat clip.txt 2>/dev/null)
}

# Waits until the editor loop runs: its first frame draws the menu bar with MARK, the tool it
# starts with, in green. Keys sent before that are drained by the loop's start and lost.
wait_editor() {  # wait_editor SECONDS; needs W, H, WX, WY
    for _ in $(seq $(($1 * 10))); do
        [ "$(import -window root -crop "1x1+$((WX + 380))+$((WY + H - 34))" +repage \
            -format '%[fx:int(255*u.r)],%[fx:int(255*u.g)],%[fx:int(255*u.b)]' info:)" = 0,255,0 ] &&
            return 0
        sleep 0.1
    done
    return 1
}

# A mouse click that lasts as long as a hand's: the editor looks at the buttons once a 15 ms
# frame, so a press shorter than that can go unseen.
click_at() {  # click_at WINDOW X Y
    xdotool mousemove --window "$1" "$2" "$3"
    sleep 0.1
    xdotool mousedown 1
    sleep 0.1
    xdotool mouseup 1
}
