#!/bin/sh
# Installs what building, running and testing Glimmerix on Linux needs (Debian 12).
set -eu
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config git \
    libfreeimage-dev libx11-dev libxext-dev libxfixes-dev \
    libgtest-dev libmicrohttpd-dev libssl-dev \
    slowhttptest nginx python3 wrk \
    xvfb xdotool xclip x11-utils x11-apps imagemagick curl iproute2 util-linux
