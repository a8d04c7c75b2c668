# shellcheck shell=bash disable=SC2034,SC2154
# Target adapter for glimmerix.exe under Wine in a prefix of the run's own, with clipboard_tool.exe
# beside it. Wine's output goes to files: Wine's services would hold a pipe open.
launch_wait=3  # Wine takes a moment to start a process
link_outlives_program=1  # the system keeps the clipboard's text block
wine_run=$e2e_dir/../../scripts/wine-run.sh

target_prepare() {  # about 10 s, paid here so that no timed check pays for it
    export WINEPREFIX=$work/wine/prefix
    "$wine_run" --prepare >>"$work/wine.log" 2>&1 || give_up "cannot prepare the Wine prefix"
    settings_file=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Glimmerix/glimmerix.ini
}
program_path() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's drive Z: is the root folder
# Only our own prefix's server: without WINEPREFIX this would stop someone else's.
target_stop() { [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null; }
launch() { "$wine_run" "$program" "$@" >>"$work/program.log" 2>&1 & pid=$!; }
run_tool() { timeout 30 "$wine_run" "$tool" "$@" >>"$work/wine.log" 2>&1; }

# A device-dependent bitmap of the screen's depth (of 1 bit per pixel with 1), kept alive by the
# tool; sets put_at (ms) once it is there, fails if it never came or has the wrong size or depth.
copy_picture() {  # copy_picture PNG [1]
    local bitmap
    rm -f bitmap.txt
    "$wine_run" "$tool" put-bitmap "$1" bitmap.txt ${2:+"$2"} >>"$work/wine.log" 2>&1 &
    wait_until 15 test -s bitmap.txt
    put_at=$(now_ms)
    bitmap=$(tr -d '\r\n' <bitmap.txt 2>/dev/null)
    [ "${bitmap% *}" = "$(identify -format '%w %h' "$1")" ] &&
        { [ "${2:-}" != 1 ] || [ "${bitmap##* }" = 1 ]; }
}
clipboard_text() { rm -f clip.txt; run_tool get-text clip.txt; clip=$(cat clip.txt 2>/dev/null); }
