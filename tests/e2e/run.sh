#!/usr/bin/env bash
# Runs one end-to-end scenario against one target, driven by real tools on a virtual display:
#   run.sh TARGET SCENARIO NAME=PATH...
# TARGET: x11 (the native program) or wine (glimmerix.exe under Wine), see target_TARGET.sh.
# SCENARIO: a file in scenarios/, written once for every target in the words of lib.sh and the
# adapters. NAME=PATH hands over what the scenarios use: program, logo, server, and under Wine
# tool (clipboard_tool.exe) and probe (close_probe.exe). Exit code 0, 1, or 77 for skipped.
set -u
runner=$(realpath "$0")
runner_args=("$@")
e2e_dir=$(dirname "$runner")
target=${1:-}
scenario=${2:-}
[ -f "$e2e_dir/target_$target.sh" ] && [ -f "$e2e_dir/scenarios/$scenario.sh" ] ||
    { echo "usage: run.sh x11|wine SCENARIO NAME=PATH..." >&2; exit 2; }
program= logo= server= tool= probe=
for pair in "${@:3}"; do
    case $pair in
        program=?* | logo=?* | server=?* | tool=?* | probe=?*)
            printf -v "${pair%%=*}" '%s' "$(realpath -m "${pair#*=}")" ;;
        *) echo "run.sh: unknown argument $pair" >&2; exit 2 ;;
    esac
done
# shellcheck source=tests/e2e/lib.sh
. "$e2e_dir/lib.sh"
. "$e2e_dir/target_$target.sh"
. "$e2e_dir/scenarios/$scenario.sh"
