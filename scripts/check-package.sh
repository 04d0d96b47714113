#!/usr/bin/env bash
# Builds the Debian package from build/ and checks what it holds and needs.
set -euo pipefail
cd "$(dirname "$0")/../build"
rm -f vospen_*.deb
cpack -G DEB >/dev/null
deb=$(ls vospen_*.deb)
contents=$(dpkg-deb -c "$deb")
fail=0
for f in ./usr/bin/vospen ./usr/bin/vospen-process ./usr/bin/vospen-skysim \
         ./usr/lib/vospen/vospen ./usr/lib/vospen/vospen-process ./usr/lib/vospen/vospen-skysim \
         ./usr/lib/vospen/Vospen.html ./usr/lib/vospen/screenshots/main-window.png \
         ./usr/share/applications/vospen.desktop ./usr/share/icons/hicolor/scalable/apps/vospen.svg; do
  grep -q " $f\$" <<<"$contents" || { echo "package lacks $f"; fail=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "ca-certificates" <<<"$depends" || { echo "package does not depend on ca-certificates: $depends"; fail=1; }
for lib in libqt6widgets6 libcfitsio libwcs libsep libturbojpeg libcurl; do
  grep -q "$lib" <<<"$depends" || { echo "package does not depend on $lib: $depends"; fail=1; }
done
# the installed tree runs: the launcher finds its program and a settings folder of its own
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
HOME="$root/home" "$root/usr/bin/vospen-skysim" --help >/dev/null || { echo "installed vospen-skysim does not run"; fail=1; }
[ -L "$root/home/.vospen/Vospen.html" ] || { echo "the launcher made no settings folder with the manual"; fail=1; }
[ $fail -eq 0 ] && echo "package $deb: contents and dependencies as expected"
exit $fail
