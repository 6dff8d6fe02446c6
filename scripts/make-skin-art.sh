#!/bin/sh
# Draws the skin's artwork and the application icon again into resources/ with tools/skinart.
# The PNG files are committed; run this after changing the drawing code and commit both.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug
fi
ninja -C "$build" skinart
"$build/tools/skinart/skinart" "$root/resources"
