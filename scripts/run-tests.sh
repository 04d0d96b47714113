#!/usr/bin/env bash
# Builds Vospen and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 600
../scripts/check-package.sh
# the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
if [ "${VOSPEN_SKIP_SANITIZERS:-0}" != 1 ]; then
  ../scripts/run-sanitized-tests.sh
fi
# every fuzz target for 20 s (clang, libFuzzer, the same sanitizers)
if [ "${VOSPEN_SKIP_FUZZ:-0}" != 1 ]; then
  ../scripts/run-fuzzers.sh 20
fi
