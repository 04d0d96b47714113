#!/usr/bin/env bash
# Builds Vospen with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs every test there.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
if [ ! -f build-sanitize/build.ninja ]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
fi
cmake --build build-sanitize -j"$(nproc)"
cd build-sanitize
# Qt and fontconfig keep caches for the process's life: leaks are not looked for
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1
ctest --output-on-failure -j"$(nproc)" --timeout 1200
