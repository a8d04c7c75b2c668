#!/bin/sh
# Starts Glimmerix in a folder of the user's own: the program reads logo.png and writes its
# capture files and dump.txt in its current folder, and /usr is not writable.
set -e
dir=${XDG_STATE_HOME:-$HOME/.local/state}/glimmerix
mkdir -p "$dir"
cd "$dir"
[ -e logo.png ] || ln -s /usr/share/glimmerix/logo.png logo.png
exec /usr/libexec/glimmerix/glimmerix "$@"
