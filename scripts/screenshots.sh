#!/usr/bin/env bash
# Takes the screenshots in docs/manual/screenshots from real runs under Xvfb.
# Inside Xvfb (called with --inner) it starts the windows and shoots them.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/manual/screenshots

shoot() { # window-title file
  local id
  id=$(xdotool search --name "^$1\$" | head -n 1)
  import -window "$id" "$2"
}

if [ "${1:-}" = "--inner" ]; then
  home=$(mktemp -d); survey=$(mktemp -d)
  export VOSPEN_HOME="$home"
  build/bin/vospen & pid=$!; sleep 3
  shoot Vospen "$out/main-window.png"
  kill $pid; wait $pid 2>/dev/null || true
  build/bin/vospen "$survey" & pid=$!; sleep 3
  shoot 'Survey Scanner' "$out/scanner-window.png"
  kill $pid; wait $pid 2>/dev/null || true
  if [ -f build/demo/reshot.fts ]; then
    rm -rf build/demo/current
    d="$PWD/build/demo"
    build/bin/vospen "$d/reference.fts,$d/reshot.fts,$d/catalog,1" & pid=$!; sleep 8
    shoot Vospen "$out/processed.png"
    # "Check against Catalog", then the first candidate
    id=$(xdotool search --name '^Vospen$' | head -n 1)
    xdotool mousemove --window "$id" 831 623 click 1; sleep 3
    xdotool mousemove --window "$id" 560 631 click 1; sleep 1 # on the candidate line
    shoot Vospen "$out/candidates.png"
    kill $pid; wait $pid 2>/dev/null || true
    # the survey picture, from a local server that serves the demo's simulated cut-out
    www=$(mktemp -d); mkdir -p "$www/cgi-bin"; cp build/demo/dss.fits "$www/cgi-bin/dss_search"
    (cd "$www" && exec /usr/bin/python3 -m http.server 8765 --bind 127.0.0.1 >/dev/null 2>&1) & web=$!
    sleep 1
    printf '[DSS]\nServer=http://127.0.0.1:8765\n' >> "$home/VospenConfig.ini"
    rm -f build/demo/current/DSSPicture.*
    build/bin/vospen "$d/reference.fts,$d/reshot.fts,$d/catalog,1" & pid=$!; sleep 8
    id=$(xdotool search --name '^Vospen$' | head -n 1)
    xdotool mousemove --window "$id" 831 679 click 1; sleep 4
    shoot Vospen "$out/dss.png"
    kill $pid $web; wait $pid 2>/dev/null || true
    rm -rf "$www"
  fi
  # a survey scan, blinking its first new image
  sim=$(mktemp -d)
  build/bin/vospen-skysim survey --out "$sim" --targets 2 --size 1024x768 >/dev/null
  build/bin/vospen "$sim/survey" & pid=$!; sleep 10
  sid=$(xdotool search --name '^Survey Scanner$' | head -n 1)
  xdotool windowmove "$sid" 1215 0; sleep 2
  import -window root -crop 1470x770+0+0 "$out/scanner-blinking.png"
  kill $pid; wait $pid 2>/dev/null || true
  rm -rf "$home" "$survey" "$sim"
  exit 0
fi

mkdir -p "$out"
xvfb-run -a -s "-screen 0 1500x1000x24" "$0" --inner
ls -l "$out"
