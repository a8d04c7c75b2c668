#!/bin/sh
# Installs what is needed, builds Glimmerix and runs it on the current X display. The program
# works in its own folder (build/run), where it finds logo.png and writes its capture files.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux
cmake --build --preset linux --target glimmerix
mkdir -p build/run
cp logo.png build/run/logo.png
cd build/run
exec ../src/glimmerix "$@"
