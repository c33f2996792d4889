#!/bin/sh
# Builds the Debian package from the build tree $1 in $2, unpacks it into a temporary
# root there, checks what it holds, and runs the programs from that root.
set -eu
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/lumora_*.deb) || fail "no package in $work"
dpkg-deb --info "$deb" >"$work/info.txt"
grep -q '^ Depends: .*libx11' "$work/info.txt" || fail "no dependency on the X library: $(cat "$work/info.txt")"

root=$work/root
dpkg -x "$deb" "$root"
for f in bin/lumora-play bin/lumora-pack bin/lumora-inspect bin/lumora-render \
         share/man/man1/lumora-play.1 share/man/man1/lumora-pack.1 share/man/man1/lumora-inspect.1 \
         share/man/man1/lumora-render.1 share/xscreensaver/config/lumora-play.xml \
         share/applications/screensavers/lumora-play.desktop; do
  [ -e "$root/usr/$f" ] || fail "the package holds no /usr/$f"
done
[ "$(dpkg-deb --contents "$deb" | grep -c -v '/$')" -eq 10 ] || fail "other files in the package: $(dpkg-deb --contents "$deb")"
if command -v xmllint >/dev/null; then xmllint --noout "$root/usr/share/xscreensaver/config/lumora-play.xml"; fi

# The programs from the root: version, usage, and a short run that reaches the display.
"$root/usr/bin/lumora-play" --version | grep -q '^lumora-play [0-9]' || fail "lumora-play --version"
for tool in lumora-play lumora-pack lumora-inspect lumora-render; do
  "$root/usr/bin/$tool" --help | grep -q "usage: $tool" || fail "$tool --help"
done
mkdir -p "$work/show"
status=0
env -u XSCREENSAVER_WINDOW DISPLAY=:none TMPDIR="$work" HOME="$work" \
  "$root/usr/bin/lumora-play" "$work/show.scr" >"$work/play.out" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q 'no such screen saver' "$work/play.out" || fail "a missing show: status $status, $(cat "$work/play.out")"
# The chosen show, with no display to play it on.
mkdir -p "$work/.config/lumora"
echo "$work/show" >"$work/.config/lumora/show"
printf '[AppInfo]\r\nPicCount=0\r\n' >"$work/show/show.ini"
status=0
env -u XSCREENSAVER_WINDOW -u XDG_CONFIG_HOME DISPLAY=:none TMPDIR="$work" HOME="$work" \
  "$root/usr/bin/lumora-play" --root >"$work/play.out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the chosen show without a display: status $status, $(cat "$work/play.out")"
grep -q 'cannot open the X display\|cannot pack' "$work/play.out" || fail "$(cat "$work/play.out")"
[ -z "$(ls -d "$work"/lumora-play-* 2>/dev/null)" ] || fail "a temporary folder was left behind"
rm -rf "$work"
echo "package test: ok"
