#!/usr/bin/env bash
# Builds Vospen if needed and opens it on the bundled demo pair.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
demo=build/demo
if [ -x build/bin/vospen-skysim ] && [ ! -f "$demo/dss.fits" ]; then
  build/bin/vospen-skysim demo --out "$demo"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: start Vospen from a desktop session (or under xvfb-run)." >&2
  exit 1
fi
if [ -f "$demo/reshot.fts" ]; then
  exec build/bin/vospen "$PWD/$demo/reference.fts,$PWD/$demo/reshot.fts,$PWD/$demo/catalog,1"
fi
exec build/bin/vospen
