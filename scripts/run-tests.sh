#!/usr/bin/env bash
# Builds Vospen and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 600
../scripts/check-package.sh
