# shellcheck shell=bash disable=SC2034,SC2154
# Target adapter for the native Linux program, with xclip as the other program on the clipboard.
# Each adapter defines target_prepare, target_stop, launch, copy_picture, clipboard_text,
# launch_wait, link_outlives_program, settings_file (the run's own) and program_path FILE.
launch_wait=1  # seconds from a start until the program waits in its idle loop
link_outlives_program=0  # at exit only a clipboard manager keeps it, and these runs have none

target_prepare() {
    export XDG_CONFIG_HOME=$work/config
    settings_file=$XDG_CONFIG_HOME/glimmerix/glimmerix.conf
}
program_path() { printf '%s' "$1"; }
target_stop() { :; }
launch() { "$program" "$@" >>"$work/program.log" 2>&1 & pid=$!; }

copy_picture() {  # copy_picture PNG [1]: as image/png; with 1, as a PNG of one bit per pixel
    local picture=$1
    if [ "${2:-}" = 1 ]; then
        picture=$work/bilevel.png
        convert "$1" -type bilevel -define png:bit-depth=1 "PNG:$picture" &&
            [ "$(identify -format '%[png:IHDR.bit-depth-orig]' "$picture")" = 1 ] || return 1
    fi
    own_clipboard image/png "$picture"
}
clipboard_text() { clip=$(timeout 5 xclip -selection clipboard -o 2>/dev/null); }
