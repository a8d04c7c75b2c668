#!/usr/bin/env bash
# Builds the libraries the Windows target links, from Debian's source packages, with MinGW-w64:
#   libfreeimage.a  FreeImage with PNG (libpng, zlib) and JPEG (libjpeg-turbo) linked in, and
#                   stand-ins for the plugins whose libraries are not built (format ids unchanged)
#   GoogleTest      for the unit tests, installed with its CMake package files
#
# Usage: scripts/build-windows-deps.sh [DEPS_DIR]        (default: build-windows/deps)
#
# The result is DEPS_DIR/prefix (include/, lib/). It is stamped with a key made of the source
# package versions, the compiler's version and the files of this build; when the key matches,
# the run ends after a few apt look-ups. The first run may need root: when apt has no deb-src
# entries yet, it derives them from the machine's own apt sources and runs apt-get update.
set -Eeuo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps=$(realpath -m "${1:-$repo/build-windows/deps}")
here=$repo/scripts/windows-deps
toolchain=$repo/cmake/mingw-w64.cmake
packages=(freeimage libpng1.6 libjpeg-turbo zlib googletest)
src_list=/etc/apt/sources.list.d/glimmerix-deb-src.list
cc=x86_64-w64-mingw32-gcc-posix

fail() {
    echo "build-windows-deps: $*" >&2
    exit 1
}

command -v "$cc" >/dev/null || fail "$cc not found (apt-get install g++-mingw-w64-x86-64-posix)"
command -v dpkg-source >/dev/null || fail "dpkg-source not found (apt-get install dpkg-dev)"
command -v cmake >/dev/null || fail "cmake not found"
generator=(-G "Unix Makefiles")
command -v ninja >/dev/null && generator=(-G Ninja)
jobs=$(nproc)

# shellcheck disable=SC1091
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "cannot tell the Debian release from /etc/os-release"

# The .dsc files apt would fetch for the packages, e.g. zlib_1.2.13.dfsg-1.dsc, in their order.
# One apt call for all of them keeps a run with nothing to build short.
resolve_versions() {
    mapfile -t dscs < <(apt-get source --print-uris -qq "${packages[@]}" 2>/dev/null |
        awk '$2 ~ /\.dsc$/ { print $2 }')
    [ ${#dscs[@]} -eq ${#packages[@]} ]
}

add_deb_src_entries() {
    [ "$(id -u)" = 0 ] || fail "apt has no source entries for ${packages[*]}; run once as root to add them"
    local files=()
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$src_list" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || fail "no apt sources to derive deb-src entries from"
    awk -v codename="$codename" -f "$here/deb-src.awk" "${files[@]}" | sort -u >"$src_list.new"
    [ -s "$src_list.new" ] || fail "no apt source of release $codename to derive deb-src entries from"
    mv "$src_list.new" "$src_list"
    echo "build-windows-deps: added $(wc -l <"$src_list") deb-src entries; apt-get update" >&2
    # A repository without source indexes makes update complain; what matters is the look-up below.
    apt-get update -qq >&2 || true
}

mkdir -p "$deps"
exec 9>"$deps/.lock"
flock 9

prefix=$deps/prefix
if ! resolve_versions; then
    if [ "$(id -u)" != 0 ] && [ -f "$prefix/.key" ]; then
        echo "build-windows-deps: apt cannot name the source versions; keeping the build in $prefix" >&2
        exit 0
    fi
    add_deb_src_entries
    resolve_versions || fail "apt knows no source package for one of: ${packages[*]}"
fi

key=$({
    printf '%s\n' "${dscs[@]}"
    "$cc" --version | head -n 1
    cat "$repo/scripts/build-windows-deps.sh" "$toolchain" "$here"/*
} | sha256sum | cut -c1-16)

if [ "$(cat "$prefix/.key" 2>/dev/null)" = "$key" ]; then
    echo "build-windows-deps: up to date ($key): ${dscs[*]}" >&2
    exit 0
fi

started=$(date +%s)
work=$deps/work
stage=$deps/stage
log=$deps/build.log
rm -rf "$work" "$stage"
mkdir -p "$work/src" "$stage"
: >"$log"
trap 'echo "build-windows-deps: failed; the last lines of $log:" >&2; tail -n 40 "$log" >&2' ERR

echo "build-windows-deps: building ${dscs[*]} (key $key)" >&2
for p in "${packages[@]}"; do
    # An update on the security suite may not be on every mirror yet; the release's own version
    # is the fallback.
    (cd "$work/src" && { apt-get source -qq "$p" || apt-get source -qq "$p/$codename"; }) >>"$log" 2>&1 ||
        fail "apt-get source $p failed"
done
source_dir() {
    local d
    for d in "$work/src/$1"-*/; do
        [ -d "$d" ] && { echo "${d%/}"; return; }
    done
    fail "no unpacked source tree for $1"
}

cmake_build() {
    local name=$1 source=$2
    shift 2
    cmake -S "$source" -B "$work/build/$name" "${generator[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" "$@" >>"$log" 2>&1
}

jpeg_src=$(source_dir libjpeg-turbo)
cmake_build jpeg "$jpeg_src" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
cmake --build "$work/build/jpeg" --target jpeg-static -j "$jobs" >>"$log" 2>&1

cmake_build freeimage "$here" \
    -DZLIB_SOURCE="$(source_dir zlib)" -DPNG_SOURCE="$(source_dir libpng1.6)" \
    -DFREEIMAGE_SOURCE="$(source_dir freeimage)" \
    -DJPEG_INCLUDE_DIRS="$jpeg_src;$work/build/jpeg" -DJPEG_LIBRARY="$work/build/jpeg/libjpeg.a"
cmake --build "$work/build/freeimage" -j "$jobs" >>"$log" 2>&1
cmake --install "$work/build/freeimage" >>"$log" 2>&1

# One archive for FreeImage and the codecs under it, so a program links a single library.
lib=$stage/lib
mv "$lib/libfreeimage.a" "$work/libfreeimage-alone.a"
x86_64-w64-mingw32-ar -M >>"$log" 2>&1 <<MRI
CREATE $lib/libfreeimage.a
ADDLIB $work/libfreeimage-alone.a
ADDLIB $lib/libpng.a
ADDLIB $lib/libz.a
ADDLIB $work/build/jpeg/libjpeg.a
SAVE
END
MRI
rm "$lib/libpng.a" "$lib/libz.a"

# GoogleTest on Windows threads, not winpthreads.
cmake_build googletest "$(source_dir googletest)" -Dgtest_disable_pthreads=ON
cmake --build "$work/build/googletest" -j "$jobs" >>"$log" 2>&1
cmake --install "$work/build/googletest" >>"$log" 2>&1

# What was built, which differs from the key's versions when a fallback was taken.
(cd "$work/src" && ls -- *.dsc) >"$stage/VERSIONS"
echo "$key" >"$stage/.key"
rm -rf "$prefix"
mv "$stage" "$prefix"
rm -rf "$work"
trap - ERR
echo "build-windows-deps: done in $(($(date +%s) - started)) s: $prefix" >&2
