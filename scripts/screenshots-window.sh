#!/usr/bin/env bash
# Pictures of the report window under Xvfb, made with the real program against the local web
# service (tools/devservice), driven from the keyboard with xdotool:
#   docs/images/window-restart.png          the window started with --restart: the restart box
#   docs/images/window-what-will-be-sent.png  the "What will be sent" window
#   docs/images/window-russian.png          the window under LANG=ru_RU.UTF-8
#   docs/images/window-sending-german-2x.png  sending, under LANG=de_DE.UTF-8 at twice the scale
#   docs/images/window-sent.png             the confirmation once the service accepted the report
# With PROGRESS=DIR it also saves the progress row while sending dumps of 200 KB, 10 MB and
# 500 MB, at scale 1 and at scale 2 (QT_SCALE_FACTOR=2), into DIR, for looking at by eye.
# Needs the Debian packages xvfb, x11-utils, imagemagick and xdotool, and a configured build
# (BUILD_DIR, default build/debug).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/debug}
display=${SCREENSHOT_DISPLAY:-:96}
images=$root/docs/images
progress=${PROGRESS:-}
work=$(mktemp -d /tmp/velmora-window-shots.XXXXXX)

ninja -C "$build" dumpreporter devservice demosettings >/dev/null

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The pictures are English but for the Russian one, whatever the machine's language.
unset LC_ALL LC_MESSAGES LANGUAGE
export LANG=C.UTF-8

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/home/.runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
login="anna@velmora.test"
"$build/tools/devservice/devservice" --make-ca "$work/certs" >/dev/null
"$build/tools/devservice/devservice" --certs "$work/certs" --port 0 --store "$work/reports" \
    --account "$login:secret:anna.velmora.test" >"$work/devservice.out" 2>/dev/null &
pids+=($!)
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/devservice.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the local web service did not start" >&2; exit 1; }
export VELMORA_API_HOST="127.0.0.1:$port" VELMORA_EXTRA_CA_CERTS="$work/certs/ca.pem"
"$build/tools/demosettings/demosettings" Velmora Tracker "$login" secret
version=$(((3 << 16) | (7 << 8) | 12))

# Starts the reporter on a dump of the given size (sparse but for its signature) and prints the
# id of its window once it is shown. Further arguments go to the reporter.
app=""
start_reporter() {
    local size=$1 && shift
    local dump=$work/home/velmora-crash.dmp
    rm -f "$dump" && printf 'MDMP' >"$dump" && truncate -s "$size" "$dump"
    QT_QPA_PLATFORM=xcb "$build/src/dumpreporter" --dump="$dump" -v "$version" -c Velmora \
        -s Tracker "$@" >/dev/null 2>&1 &
    app=$!
    pids+=("$app")
}
find_window() {
    local window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "no window \"$1\"" >&2; exit 1; }
    sleep 0.5
    echo "$window"
}
stop_reporter() { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; }

# The restart box, then the "What will be sent" window opened from the keyboard: the focus starts
# in the comment, Tab moves to "What will be sent?", Space presses it.
start_reporter 204800 --restart="velmora --after-crash"
window=$(find_window "^Velmora Problem Reporter$")
xdotool windowfocus --sync "$window"
xdotool type --delay 15 "It crashed while I was switching projects."
mkdir -p "$images"
import -window "$window" "$images/window-restart.png"
xdotool key Tab space
preview=$(find_window "^What will be sent$")
import -window "$preview" "$images/window-what-will-be-sent.png"
stop_reporter
echo "wrote $images/window-restart.png $images/window-what-will-be-sent.png"

# The window in Russian: the reporter takes the language from LANG, whether or not the C library
# has that locale.
LANG=ru_RU.UTF-8 start_reporter 204800 --restart="velmora --after-crash"
window=$(find_window "^Отчёт о проблеме Velmora$")
xdotool windowfocus --sync "$window"
xdotool type --delay 15 "Программа упала, когда я переключал проекты."
import -window "$window" "$images/window-russian.png"
stop_reporter
echo "wrote $images/window-russian.png"

# Sending in German at twice the scale (QT_SCALE_FACTOR=2): Shift+Tab leaves the comment for the
# dump path, where Return presses "Send Report"; the upload is under way a few seconds later.
LANG=de_DE.UTF-8 QT_SCALE_FACTOR=2 start_reporter 204800
window=$(find_window "^Velmora-Problembericht$")
xdotool windowfocus --sync "$window"
xdotool type --delay 15 "Absturz beim Wechseln des Projekts."
xdotool key shift+Tab Return
sleep 4
import -window "$window" "$images/window-sending-german-2x.png"
stop_reporter
echo "wrote $images/window-sending-german-2x.png"

# The confirmation: a small dump is accepted within a second, and the window says so for a moment
# and a half before it ends. Pictures are taken until the window has gone; the last one shows the
# confirmation.
start_reporter 3000
window=$(find_window "^Velmora Problem Reporter$")
xdotool windowfocus --sync "$window"
xdotool type --delay 15 "It crashed while I was switching projects."
xdotool key shift+Tab Return
for _ in $(seq 60); do
    timeout 3 import -window "$window" "$work/shot.png" 2>/dev/null || break
    mv "$work/shot.png" "$work/last.png"
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
mv "$work/last.png" "$images/window-sent.png"
stop_reporter
echo "wrote $images/window-sent.png"

# The progress row while sending: Shift+Tab leaves the comment for the dump path, where Return
# presses "Send Report"; the first progress comes after the sign-in.
if [ -n "$progress" ]; then
    mkdir -p "$progress"
    for scale in 1 2; do
        for size in 204800 10485760 524288000; do
            QT_SCALE_FACTOR=$scale start_reporter "$size"
            window=$(find_window "^Velmora Problem Reporter$")
            xdotool windowfocus --sync "$window" key shift+Tab Return
            sleep 4
            import -window "$window" "$progress/progress-$size-x$scale.png"
            stop_reporter
        done
    done
    echo "wrote the progress pictures into $progress"
fi
