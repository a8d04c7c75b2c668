#!/bin/sh
# Installs what is needed, builds and runs every test: the Linux build (unit, upload service and
# end-to-end tests on a virtual display), the same unit tests under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, the fuzz harnesses for a bounded time, and
# the benchmarks' figures.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux
ctest --preset linux -j2

# The packages as users get them (skipped, 77, without root), and the headless demo once.
cmake --build --preset linux --target package
tests/packaging/deb.sh build || [ $? = 77 ]
scripts/demo.sh

# Sanitizers: everything but the end-to-end scripts under ASan+UBSan (the upload service
# included), and the threaded parts under TSan: the screen layer with its window thread, and the
# clipboard with its serving thread.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2 -LE e2e
cmake --preset tsan
cmake --build --preset tsan --target glimmerix_tests glimmerix_clipboard_x11_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/glimmerix_tests --gtest_brief=1
TSAN_OPTIONS=halt_on_error=1 xvfb-run -a -s "-noreset -nolisten tcp" \
    build-tsan/tests/glimmerix_clipboard_x11_tests --gtest_brief=1

# Fuzzing: every parser of strangers' bytes for 30 s under ASan+UBSan; any finding fails.
scripts/fuzz.sh 30

if [ -x scripts/ci-windows.sh ] && [ "${GLIMMERIX_SKIP_WINDOWS:-0}" != 1 ]; then
    scripts/ci-windows.sh
fi
cmake --build --preset linux --target bench
