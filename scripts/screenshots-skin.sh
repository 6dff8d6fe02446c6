#!/bin/sh
# Screenshot of the fatal-error box in classic mode under Xvfb: docs/images/fatal-error-box.png.
# Needs the Debian packages xvfb, x11-utils, imagemagick and xdotool, and a configured build
# (BUILD_DIR, default build/). The box comes from the real path: the cache folder cannot be made
# because ".Velmora" in the home folder is a file. A plain backdrop stands in for a desktop.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
display=${SCREENSHOT_DISPLAY:-:97}
out=$root/docs/images/fatal-error-box.png

ninja -C "$build" skinpreview >/dev/null

xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf /tmp/velmora-screenshot
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x640x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

# A fixed home folder keeps the message, and so the picture, the same from run to run.
home=/tmp/velmora-screenshot/anna
rm -rf /tmp/velmora-screenshot
mkdir -p "$home"
: >"$home/.Velmora"
HOME=$home QT_QPA_PLATFORM=xcb "$build/tools/skinpreview/skinpreview" --backdrop &
app_pid=$!

window=
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Velmora fatal error$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the box did not appear" >&2; exit 1; }
sleep 1 # let it paint

eval "$(xdotool getwindowgeometry --shell "$window")"
margin=24
mkdir -p "$(dirname "$out")"
import -window root -crop "$((WIDTH + 2 * margin))x$((HEIGHT + 2 * margin))+$((X - margin))+$((Y - margin))" \
    +repage "$out"
echo "wrote $out (${WIDTH}x${HEIGHT} box)"

# OK is the default button: Return closes the box, and the program ends with -1.
xdotool windowfocus --sync "$window" key Return
status=0
wait "$app_pid" || status=$?
app_pid=
echo "skinpreview ended with status $status"
