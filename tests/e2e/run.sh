#!/usr/bin/env bash
# run.sh x11|wine SCENARIO NAME=PATH...: scenarios/SCENARIO.sh, written in the words of lib.sh and
# of the adapter target_TARGET.sh, against one target on a virtual display. NAME=PATH hands over
# program, logo, server, and for Wine tool (clipboard_tool.exe). Exits 0, 1 or 77 (skipped).
# shellcheck disable=SC1090,SC2015,SC2034  # the files sourced are chosen at run time
set -u
runner=$(realpath "$0")
runner_args=("$@")
e2e_dir=$(dirname "$runner")
target=${1:-} scenario=${2:-} program='' logo='' server='' tool=''
[ -f "$e2e_dir/target_$target.sh" ] && [ -f "$e2e_dir/scenarios/$scenario.sh" ] ||
    { echo "usage: run.sh x11|wine SCENARIO NAME=PATH..." >&2; exit 2; }
for pair in "${@:3}"; do
    [[ $pair =~ ^(program|logo|server|tool)=. ]] || { echo "run.sh: $pair?" >&2; exit 2; }
    printf -v "${pair%%=*}" '%s' "$(realpath -m "${pair#*=}")"
done
. "$e2e_dir/lib.sh"
. "$e2e_dir/target_$target.sh"
. "$e2e_dir/scenarios/$scenario.sh"
