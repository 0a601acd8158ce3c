# shellcheck shell=bash
# shellcheck disable=SC2154 # bin, out, work and fixed_time come from two_pcs.sh
# Helpers of the two-PC end-to-end run (sourced by two_pcs.sh): the private wire, the per-PC
# namespaces and processes, X input and screenshots through each PC's own display, and cleanup.
# Every process and namespace made here is recorded, and cleanup removes exactly those.

export LC_ALL=C.UTF-8

# The X geometry helper assumes a menu bar about this high above the client area; the clicks aim
# at the middle of a control, so a few pixels either way do not matter.
readonly MENU_BAR_PX=22

declare -A HOLD DISPLAY_OF LIGHT MESSENGER XVFB
NS_A="tavik-e2e-a-$$"
NS_B="tavik-e2e-b-$$"
declare -A NS=([pca]=$NS_A [pcb]=$NS_B)
declare -A IFACE=([pca]=e2e-a [pcb]=e2e-b)
CAPTURE=""
BOXES=0
started=()

log() { printf 'e2e: %s\n' "$*" >&2; }

fail() {
    log "FAILED: $*"
    for pc in "${!DISPLAY_OF[@]}"; do
        shot "$pc" "zz-failure-$pc" 2>/dev/null || true
    done
    exit 1
}

skip() {
    log "SKIPPED: $*"
    exit "$SKIP"
}

require_root_and_tools() {
    [ "$(id -u)" = 0 ] || skip "needs root for network, UTS and mount namespaces (run the suite as root)"
    local tool missing=""
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
    done
    [ -z "$missing" ] || skip "missing tools:$missing (scripts/install-deps.sh test installs them)"
    ip netns add "tavik-e2e-probe-$$" 2>/dev/null || skip "network namespaces are refused here"
    ip netns del "tavik-e2e-probe-$$"
    unshare --uts --mount true 2>/dev/null || skip "UTS and mount namespaces are refused here"
}

find_faketime() {
    local lib
    [ -n "${TAVIK_NO_FAKETIME:-}" ] && return 1 # set by the sanitizer build, where it deadlocks
    for lib in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
        [ -f "$lib" ] && { echo "$lib"; return 0; }
    done
    return 1
}

# The two namespaces joined by a veth pair.
make_wire() {
    local ns
    for ns in "$NS_A" "$NS_B"; do
        ip netns add "$ns" || fail "cannot create the network namespace $ns"
        started+=("netns:$ns")
    done
    ip link add "${IFACE[pca]}" netns "$NS_A" type veth peer name "${IFACE[pcb]}" netns "$NS_B" ||
        fail "cannot create the veth pair"
    ip -n "$NS_A" addr add 10.201.0.1/24 dev "${IFACE[pca]}"
    ip -n "$NS_B" addr add 10.201.0.2/24 dev "${IFACE[pcb]}"
    for ns in "$NS_A" "$NS_B"; do
        ip -n "$ns" link set lo up
    done
    ip -n "$NS_A" link set "${IFACE[pca]}" up
    ip -n "$NS_B" link set "${IFACE[pcb]}" up
}

# Runs a command inside PC $1's namespaces, with its display.
on() {
    local pc=$1
    shift
    nsenter -t "${HOLD[$pc]}" -n -m -u -- env DISPLAY=":${DISPLAY_OF[$pc]:-0}" "$@"
}

x() {
    local pc=$1
    shift
    on "$pc" xdotool "$@"
}

# start_pc NAME ADDRESS PARTNER PARTNER_ADDRESS: the program folder, the namespaces, the display,
# the notification service and the chat program of one PC.
start_pc() {
    local pc=$1 address=$2 partner=$3 partner_address=$4
    local folder="$work/$pc"
    mkdir -p "$folder/log" "$folder/runtime"
    chmod 700 "$folder/runtime"
    cp "$bin/tavik-light" "$bin/tavik-messenger" "$folder/"
    [ -d "$bin/help" ] && cp -r "$bin/help" "$folder/"
    printf '127.0.0.1\tlocalhost\n%s\t%s\n%s\t%s\n' "$address" "$pc" "$partner_address" "$partner" >"$work/hosts-$pc"

    # A private /tmp/.X11-unix as well: each display is :0 (or the first free number) of its own,
    # reached through the namespace's own abstract socket, and never replaces a socket of the machine.
    mkdir -p /tmp/.X11-unix
    # The host name is set last, so that once it shows, the mounts are in place too.
    ip netns exec "${NS[$pc]}" unshare --uts --mount --propagation private -- \
        sh -c "mount --bind '$work/hosts-$pc' /etc/hosts &&
               mount -t tmpfs -o mode=1777 tavik-e2e /tmp/.X11-unix && hostname $pc && exec sleep infinity" &
    HOLD[$pc]=$!
    started+=("pid:${HOLD[$pc]}")
    local i
    for i in $(seq 50); do
        [ "$(nsenter -t "${HOLD[$pc]}" -u hostname 2>/dev/null)" = "$pc" ] && break
        sleep 0.1
    done
    [ "$(nsenter -t "${HOLD[$pc]}" -u hostname 2>/dev/null)" = "$pc" ] || fail "the namespaces of $pc are not ready"
    [ "$(nsenter -t "${HOLD[$pc]}" -m -u -- getent hosts "$partner" | awk '{print $1}')" = "$partner_address" ] ||
        fail "$pc cannot resolve $partner through its hosts file"

    nsenter -t "${HOLD[$pc]}" -n -m -u -- Xvfb -displayfd 3 -screen 0 "${TAVIK_E2E_SCREEN:-1024x768x24}" -nolisten tcp \
        3>"$folder/display" 2>"$out/$pc-xvfb.log" &
    XVFB[$pc]=$!
    started+=("pid:${XVFB[$pc]}")
    for i in $(seq 100); do
        [ -s "$folder/display" ] && break
        sleep 0.1
    done
    DISPLAY_OF[$pc]=$(tr -dc '0-9' <"$folder/display")
    [ -n "${DISPLAY_OF[$pc]}" ] || fail "Xvfb of $pc did not start"
    # The programs start once the display answers: one that cannot open it ends at once.
    for i in $(seq 100); do
        on "$pc" xprop -root _XKB_RULES_NAMES >/dev/null 2>&1 && break
        sleep 0.1
    done
    on "$pc" xprop -root _XKB_RULES_NAMES >/dev/null 2>&1 || fail "the display of $pc does not answer"
    log "$pc: display :${DISPLAY_OF[$pc]}, address $address"

    # The programs: no session bus and no system bus, so nothing reaches the machine's own desktop
    # or its Avahi daemon; the fixed clock where libfaketime is there.
    local -a environment=(QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$folder/runtime" TZ=UTC
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent)
    if [ -n "$fixed_time" ]; then
        environment+=(LD_PRELOAD="$faketime_lib" FAKETIME="$fixed_time" FAKETIME_DONT_FAKE_MONOTONIC=1)
    fi
    nsenter -t "${HOLD[$pc]}" -n -m -u --wd="$folder" -- env DISPLAY=":${DISPLAY_OF[$pc]}" \
        "${environment[@]}" ./tavik-messenger 2>"$out/$pc-messenger.log" &
    MESSENGER[$pc]=$!
    started+=("pid:${MESSENGER[$pc]}")
    nsenter -t "${HOLD[$pc]}" -n -m -u --wd="$folder" -- env DISPLAY=":${DISPLAY_OF[$pc]}" \
        "${environment[@]}" ./tavik-light 2>"$out/$pc-tavik-light.log" &
    LIGHT[$pc]=$!
    started+=("pid:${LIGHT[$pc]}")
}

start_capture() {
    local pc=$1
    nsenter -t "${HOLD[$pc]}" -n -- tshark -i "${IFACE[$pc]}" -f "udp port 1001 or udp port 1002" \
        -w "$out/wire.pcap" 2>"$out/wire.log" &
    CAPTURE=$!
    started+=("pid:$CAPTURE")
    local i
    for i in $(seq 100); do
        grep -q 'Capturing on' "$out/wire.log" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "tshark did not start capturing: $(cat "$out/wire.log")"
}

# captured PACKETS: whether the capture file holds at least PACKETS datagrams yet.
captured() {
    [ "$(tshark -r "$out/wire.pcap" 2>/dev/null | wc -l)" -ge "$1" ]
}

# stop_capture PACKETS: ends the capture once it has written PACKETS datagrams (or after 5 s; the
# comparison that follows names what is missing).
stop_capture() {
    local i
    for i in $(seq 50); do
        captured "$1" && break
        sleep 0.1
    done
    kill -INT "$CAPTURE" 2>/dev/null
    wait "$CAPTURE" 2>/dev/null
}

# The UTF-8 window title of window $2 on PC $1.
title_of() {
    on "$1" xprop -id "$2" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}

# find_window PC REGEX [SECONDS]: the id of a visible window whose title matches REGEX (bash
# regular expression on the UTF-8 title), waiting for it to appear.
find_window() {
    local pc=$1 pattern=$2 seconds=${3:-15} wid i
    for i in $(seq $((seconds * 5))); do
        for wid in $(x "$pc" search --onlyvisible --name '' 2>/dev/null); do
            if [[ $(title_of "$pc" "$wid") =~ $pattern ]]; then
                echo "$wid"
                return 0
            fi
        done
        sleep 0.2
    done
    return 1
}

# answer_box PC TITLE KEY [SCREENSHOT]: waits for the window titled TITLE (a message box or a
# pop-up), takes a screenshot, gives the window the focus, presses KEY and waits until it is gone.
answer_box() {
    local pc=$1 title=$2 key=$3 name=${4:-} wid i
    wid=$(find_window "$pc" "^$title\$" 10) || fail "no window \"$title\" on $pc"
    BOXES=$((BOXES + 1))
    shot "$pc" "${name:-box-$(printf %02d "$BOXES")-$pc}"
    [ -n "$name" ] && shot_window "$pc" "$wid" "window-$name"
    x "$pc" windowfocus --sync "$wid"
    x "$pc" key "$key"
    for i in $(seq 50); do
        x "$pc" search --onlyvisible --name '' 2>/dev/null | grep -qx "$wid" || return 0
        sleep 0.1
    done
    fail "the window \"$title\" on $pc did not close"
}

# map_keys PC TEXT...: gives each character of TEXT that the keyboard map lacks a key code of its
# own, before anything is typed. Otherwise xdotool remaps a spare key for each such character while
# it types, and the program may read that key before or after the change: under load characters
# are lost or doubled.
map_keys() {
    local pc=$1
    shift
    local text="$*" ch i
    local -A wanted=()
    for ((i = 0; i < ${#text}; i++)); do
        ch=${text:i:1}
        [[ $ch == [[:print:]] && $(printf '%d' "'$ch") -lt 128 ]] && continue
        wanted[$(printf 'U%04X' "'$ch")]=1
    done
    local -a free expressions=()
    # Unused key codes, then those of multimedia keys, which nobody presses on this display.
    mapfile -t free < <(on "$pc" xmodmap -pke |
        awk '$1 == "keycode" && $2 > 8 && (NF == 3 || $4 ~ /^XF86/) { print (NF == 3 ? 0 : 1), $2 }' | sort -n -s -k1,1 |
        awk '{ print $2 }')
    [ ${#free[@]} -ge ${#wanted[@]} ] || fail "the keyboard map of $pc has too few free key codes"
    i=0
    for ch in "${!wanted[@]}"; do
        expressions+=(-e "keycode ${free[$i]} = $ch $ch")
        i=$((i + 1))
    done
    on "$pc" xmodmap "${expressions[@]}" || fail "cannot extend the keyboard map of $pc"
    sleep 0.5 # the programs reload the map when the server announces the change
}

# click_design PC WINDOW LEFT TOP WIDTH HEIGHT: a left click in the middle of a control whose
# design rectangle is given in twips (15 twips a pixel) from the top-left of the client area,
# on a display where Qt scales the windows by QT_SCALE_FACTOR (1 when unset).
click_design() {
    local pc=$1 wid=$2 left=$3 top=$4 width=$5 height=$6
    local cx cy
    read -r cx cy < <(awk -v x=$((left + width / 2)) -v y=$((top + height / 2)) -v menu="$MENU_BAR_PX" \
        -v scale="${QT_SCALE_FACTOR:-1}" 'BEGIN { printf "%d %d\n", x / 15 * scale, (y / 15 + menu) * scale }')
    x "$pc" mousemove --window "$wid" "$cx" "$cy" click 1
    sleep 0.2
}

shot() {
    on "$1" import -window root "$out/$2.png"
}

# journal_records PC: the records PC's running tavik-light has journalled so far (its journal is
# written through at once; a line feed ends each record and is never part of a character).
journal_records() {
    cat "$work/$1/log/".tavik-journal-*.jnl 2>/dev/null | tr -cd '\n' | wc -c
}

# wait_records PC N: waits until PC's window has recorded its Nth message, sent or received.
wait_records() {
    local pc=$1 wanted=$2 i
    for i in $(seq 100); do
        [ "$(journal_records "$pc")" -ge "$wanted" ] && return 0
        sleep 0.1
    done
    fail "$pc did not record message $wanted (it has $(journal_records "$pc"))"
}

# A screenshot of one window only (for the user's guide).
shot_window() {
    on "$1" import -window "$2" "$out/$3.png"
}

wait_exit() {
    local pid=${LIGHT[$1]} i
    for i in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
        sleep 0.1
    done
    return 1
}

cp932_hex() {
    printf '%s' "$1" | iconv -f UTF-8 -t CP932 | xxd -p | tr -d '\n'
    echo
}

cleanup() {
    local status=$? entry i
    # The programs first, then the displays and holders, the namespaces last.
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        entry=${started[$i]}
        case $entry in
        pid:*) kill -TERM "${entry#pid:}" 2>/dev/null ;;
        esac
    done
    sleep 0.3
    for entry in "${started[@]}"; do
        case $entry in
        pid:*) kill -KILL "${entry#pid:}" 2>/dev/null; wait "${entry#pid:}" 2>/dev/null ;;
        esac
    done
    for entry in "${started[@]}"; do
        case $entry in
        netns:*) ip netns del "${entry#netns:}" 2>/dev/null ;;
        esac
    done
    [ -n "${work:-}" ] && rm -rf "$work"
    exit "$status"
}
