#!/bin/sh
# Installs what is needed, builds and runs every test: the Linux build (unit, upload service and
# end-to-end tests on a virtual display), the same unit tests under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, and the benchmarks' figures.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux
ctest --preset linux -j2

# Sanitizers: the portable unit tests (the threaded screen layer among them).
cmake --preset asan
cmake --build --preset asan --target glimmerix_tests glimmerix_x11_tests
ctest --preset asan -R '^(Screen|Draw|Console|Font|Image|Button|Command|Keys|WorkArea|Keymap|Cp437)'
cmake --preset tsan
cmake --build --preset tsan --target glimmerix_tests
ctest --preset tsan -R '^(Screen|Draw|Console|Image)'

if [ -x scripts/ci-windows.sh ] && [ "${GLIMMERIX_SKIP_WINDOWS:-0}" != 1 ]; then
    scripts/ci-windows.sh
fi
cmake --build --preset linux --target bench
