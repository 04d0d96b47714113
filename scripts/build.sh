#!/usr/bin/env bash
# Installs what is missing and builds Vospen into build/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build -j"$(nproc)"
