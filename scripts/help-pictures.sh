#!/bin/bash
# Takes the pictures of the user's guide (resources/help/images) of the real programs under Xvfb
# with the IPA fonts. Each window is captured at twice its size (QT_SCALE_FACTOR=2) and written as
# NAME@2x.png, 800 pixels wide, and NAME.png, 400 pixels wide, the width the pages show it at,
# scaled down from the capture with the Lanczos filter: the help view draws the one that suits the
# screen pixel for pixel. The main window is wider than the pages, so a capture of its own size
# would be scaled while drawn, pixel by pixel, and its text would come out ragged.
#
#   chat     pca's main window after the two-PC run (tests/e2e/two_pcs.sh) exchanged its messages
#   browser  the computer browser on an Avahi test host named tavikpc1, whose tavik-messenger
#            announces itself, resized to the width the page shows it at
#
# Needs root: both runs use namespaces of their own, removed afterwards.
# Usage: help-pictures.sh [program folder with tavik-light and tavik-messenger; default build/bin]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
readonly ShownWidth=400

# Inside the Avahi test host: the browser's dialog, captured into $2.
if [ "${1:-}" = --browser-inside ]; then
    bin=$2 picture=$3
    folder=$(mktemp -d /tmp/tavik-pictures.XXXXXX)
    cp "$bin/tavik-light" "$bin/tavik-messenger" "$folder/"
    mkdir -p "$folder/log" "$folder/runtime" /tmp/.X11-unix
    chmod 700 "$folder/runtime"
    mount -t tmpfs -o mode=1777 tavik-pictures /tmp/.X11-unix # this host's own, not the machine's
    Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$folder/display" 2>/dev/null &
    xvfb=$!
    trap 'kill $(jobs -p) 2>/dev/null; wait; cd /; umount /tmp/.X11-unix; rm -rf "$folder"' EXIT
    for _ in $(seq 100); do [ -s "$folder/display" ] && break; sleep 0.1; done
    DISPLAY=":$(tr -dc '0-9' <"$folder/display")"
    export DISPLAY XDG_RUNTIME_DIR="$folder/runtime" QT_QPA_PLATFORM=xcb \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent LC_ALL=C.UTF-8
    kill -0 "$xvfb"
    cd "$folder"
    ./tavik-messenger 2>/dev/null &
    ./tavik-light 2>/dev/null &
    main=$(xdotool search --sync --onlyvisible --name 'Tavik Light')
    sleep 1
    # Command4, the browse button: design rectangle 1920, 360, 615, 255 twips below a 22-pixel menu bar.
    xdotool mousemove --window "$main" $(((1920 + 615 / 2) * 2 / 15)) $(((360 + 255 / 2) * 2 / 15 + 44)) click 1
    dialog=$(xdotool search --sync --onlyvisible --name 'コンピュータの参照')
    xdotool windowsize "$dialog" $((ShownWidth * 2)) 720
    sleep 3 # the search ends and the dialog is laid out at its new size
    xdotool mousemove --window "$dialog" 200 124 click 1 # the computer found, chosen
    sleep 0.5
    import -window "$dialog" "$picture"
    exit 0
fi

bin=$(cd "${1:-$top/build/bin}" && pwd)
work=$(mktemp -d /tmp/tavik-pictures.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_SCALE_FACTOR=2

if ! TAVIK_E2E_SCREEN=1920x1200x24 bash "$top/tests/e2e/two_pcs.sh" "$bin" "$work/chat" >"$work/chat.log" 2>&1; then
    cat "$work/chat.log" >&2
    exit 1
fi
cp "$work/chat/window-04-conversation-pca.png" "$work/chat.png"
TAVIK_AVAHI_HOSTNAME=tavikpc1 sh "$top/tests/e2e/avahi/run-avahi-host.sh" \
    bash "$top/scripts/help-pictures.sh" --browser-inside "$bin" "$work/browser.png"

images=$top/resources/help/images
for name in chat browser; do
    convert "$work/$name.png" -filter Lanczos -resize $((ShownWidth * 2))x -strip "$images/$name@2x.png"
    convert "$work/$name.png" -filter Lanczos -resize ${ShownWidth}x -strip "$images/$name.png"
    echo "$images/$name.png $(identify -format '%wx%h' "$images/$name.png"), @2x $(identify -format '%wx%h' "$images/$name@2x.png")"
done
