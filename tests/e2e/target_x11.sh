# shellcheck shell=bash
# Target adapter for the native Linux program: it runs as it is, and xclip is the other program
# on the clipboard. Every adapter gives the scenarios the same words: target_prepare,
# target_stop, launch, copy_picture, copy_text, clipboard_text, work_area, launch_wait and
# link_outlives_program.
# shellcheck disable=SC2034,SC2154

launch_wait=1  # seconds from a start until the program waits in its idle loop
# The program serves its link from a thread of its own and hands it to nobody at exit.
link_outlives_program=0

target_prepare() { :; }
target_stop() { :; }
launch() { "$program" "$@" >>"$work/program.log" 2>&1 & pid=$!; }

# A new owner of the clipboard, as a screenshot key makes one: the previous xclip goes first, so
# that "image/png" among the targets means that the new one is there. Sets put_at (ms).
own_clipboard() {  # own_clipboard TYPE FILE
    [ -n "${xclip_pid:-}" ] && stop_program "$xclip_pid"
    xclip -quiet -selection clipboard -t "$1" -i "$2" >>"$work/xclip.log" 2>&1 &
    xclip_pid=$!
    for _ in $(seq 100); do
        timeout 2 xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx "$1" && break
        sleep 0.05
    done
    put_at=$(now_ms)
}
copy_picture() {  # copy_picture PNG [1]: as image/png; with 1, as a PNG of one bit per pixel
    local picture=$1
    if [ "${2:-}" = 1 ]; then
        picture=$work/bilevel.png
        convert "$1" -type bilevel -define png:bit-depth=1 "PNG:$picture" || return 1
        [ "$(identify -format '%[png:IHDR.bit-depth-orig]' "$picture")" = 1 ] || return 1
    fi
    own_clipboard image/png "$picture"
    timeout 2 xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png
}
copy_text() { printf '%s' "$1" >"$work/text.txt"; own_clipboard UTF8_STRING "$work/text.txt"; }
clipboard_text() { clip=$(timeout 5 xclip -selection clipboard -o 2>/dev/null); }

# Without a window manager there is no _NET_WORKAREA, so the work area is the whole screen.
work_area() { echo "0 0 $(xdotool getdisplaygeometry)"; }
