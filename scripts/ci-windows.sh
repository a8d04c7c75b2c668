#!/usr/bin/env bash
# CI for the Windows target: installs the cross toolchain, Wine and a virtual X server, builds
# the dependencies and glimmerix.exe with the `windows` preset, checks that the program needs no
# DLLs beyond Windows' own, and runs every test under Wine (unit tests and end to end).
# Run as root from anywhere; Debian 12 is assumed. Prints the figures the closing notes ask for.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

seconds_since() { echo $(($(date +%s) - $1)); }

echo "== packages"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# --no-install-recommends: wine recommends the 32-bit wine, which needs the i386 architecture.
apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    wine wine64 xvfb xauth x11-utils xdotool xclip imagemagick \
    cmake ninja-build dpkg-dev ca-certificates nsis unzip python3 nginx openssl curl >/dev/null

echo "== dependencies"
started=$(date +%s)
scripts/build-windows-deps.sh build-windows/deps
echo "dependency build: $(seconds_since "$started") s"

echo "== build"
cmake --preset windows
cmake --build --preset windows

exe=build-windows/src/glimmerix.exe
# Only DLLs that every Windows has; a MinGW runtime DLL here means the static link failed.
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
echo "glimmerix.exe: $(stat -c %s "$exe") bytes; imports: ${dlls//$'\n'/ }"
if echo "$dlls" | grep -Eiq '^(libstdc|libgcc|libwinpthread|libfreeimage|zlib|libpng|libjpeg)'; then
    echo "glimmerix.exe is not fully static" >&2
    exit 1
fi

echo "== tests under Wine"
# A Wine prefix and a virtual display for this run only. The end-to-end tests make their own.
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$work/display")
export DISPLAY

started=$(date +%s)
scripts/wine-run.sh --prepare
echo "Wine prefix: $(seconds_since "$started") s"

# The end-to-end run checks timings, so it runs alone, after the unit tests; it runs even when
# a unit test failed, so one CI run shows both.
started=$(date +%s)
status=0
ctest --preset windows -j "$(nproc)" --label-exclude e2e || status=1
ctest --preset windows --label-regex e2e || status=1
echo "Wine test run: $(seconds_since "$started") s"

echo "== packages"
# The installer and the portable .zip; the installer is installed, started and uninstalled
# under Wine in a prefix of its own.
started=$(date +%s)
cmake --build --preset windows --target package
echo "packaging: $(seconds_since "$started") s"
for package in build-windows/packages/glimmerix-*-win64.*; do
    echo "$(basename "$package"): $(stat -c %s "$package") bytes"
done
tests/packaging/nsis.sh build-windows/packages/glimmerix-*-win64.exe \
    build-windows/packages/glimmerix-*-win64.zip build-windows/tests/clipboard_tool.exe || status=1
exit "$status"
