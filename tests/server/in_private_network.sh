#!/bin/sh
# Runs a command in a network namespace of its own, with only the loopback interface up, so that
# a server can take port 80 without root's port being busy or the run clashing with others.
# Creating the namespace needs root (or unprivileged user namespaces); where that is not
# possible the test is reported as skipped (exit 77) rather than failed.
if ! unshare -n true 2>/dev/null; then
    echo "skipped: cannot create a network namespace here"
    exit 77
fi
exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
