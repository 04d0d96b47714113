#!/bin/sh
# Starts an installed Vospen program with a settings folder of the user's own
# (the program keeps its settings and finds its manual in VOSPEN_HOME).
here=$(dirname "$(readlink -f "$0")")
lib="$here/../lib/vospen"
: "${VOSPEN_HOME:=$HOME/.vospen}"
export VOSPEN_HOME
mkdir -p "$VOSPEN_HOME"
for f in Vospen.html screenshots; do
  [ -e "$VOSPEN_HOME/$f" ] || ln -s "$lib/$f" "$VOSPEN_HOME/$f" 2>/dev/null || true
done
exec "$lib/$(basename "$0")" "$@"
