#!/bin/bash
# Two PCs on a private wire, each running tavik-light and tavik-messenger on a display of its own,
# driven with the keyboard and the mouse as a user would: connect both ways (the partner's pop-up
# must appear), exchange ASCII and Japanese messages, disconnect, exit through the menu. Then the
# datagrams captured on the wire and both log files are compared byte for byte with what code
# page 932 gives for the texts typed.
#
# Each PC is a network namespace (veth pair, 10.201.0.1/24 and 10.201.0.2/24) with a UTS namespace
# of its own (host names pca and pcb) and a private mount namespace in which a test hosts file is
# bound over /etc/hosts. Everything is removed afterwards, also when a step fails.
#
# Usage: two_pcs.sh <program folder with tavik-light and tavik-messenger> <output folder>
# Exit status: 0 passed, 1 failed, 77 skipped (not root, no namespaces, a tool missing).
set -u

readonly SKIP=77 # used by lib.sh
export SKIP
bin=${1:?program folder}
out=${2:?output folder}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
. "$here/lib.sh"

require_root_and_tools Xvfb xdotool xprop import tshark iconv xxd ip nsenter unshare
if [ ! -x "$bin/tavik-light" ] || [ ! -x "$bin/tavik-messenger" ]; then
    fail "tavik-light or tavik-messenger missing in $bin"
fi

mkdir -p "$out"
rm -f "$out"/*.png "$out"/wire.* "$out"/*.log
work=$(mktemp -d /tmp/tavik-e2e.XXXXXX)
trap cleanup EXIT
trap 'exit 1' INT TERM

# The clock is fixed where libfaketime is installed, so that the date-time fields and the log file
# names are known; otherwise they are matched by pattern.
if faketime_lib=$(find_faketime); then # used by lib.sh
    export faketime_lib
    fixed_time="2002-10-18 09:05:03"
    log "clock fixed at $fixed_time (libfaketime)"
else
    fixed_time=""
    log "libfaketime not found: date-time fields are matched by pattern"
fi

make_wire
start_pc pca 10.201.0.1 pcb 10.201.0.2
start_pc pcb 10.201.0.2 pca 10.201.0.1
start_capture pca

main_a=$(find_window pca 'Tavik Light  ver1.3') || fail "the main window of pca did not appear"
main_b=$(find_window pcb 'Tavik Light  ver1.3') || fail "the main window of pcb did not appear"
shot pca 01-start

# pca: PC1 (selected at start), partner pcb, connect.
x pca windowfocus --sync "$main_a"
x pca type --delay 30 pcb
click_design pca "$main_a" 6240 360 495 495 # Command1
answer_box pca 'taviklight' Return
# The partner's pop-up; its user reads it and presses OK (it covers the main window: no window
# manager places windows on these displays).
answer_box pcb 'pca からのメッセージ' Return 02-popup-on-pcb

# pcb: PC2, partner pca, connect.
x pcb windowfocus --sync "$main_b"
x pcb type --delay 30 pca
click_design pcb "$main_b" 4320 360 1335 375 # Option2
click_design pcb "$main_b" 6240 360 495 495  # Command1
answer_box pcb 'taviklight' Return
answer_box pca 'pcb からのメッセージ' Return 03-popup-on-pca

# Messages both ways, typed into Text2 and sent with Enter.
messages=("pca:hello from pca" "pcb:こんにちは、元気です～" "pca:日本語テスト ｶﾀｶﾅ ①" "pcb:了解 OK!")
map_keys pca "${messages[@]}"
map_keys pcb "${messages[@]}"
sent=0
for entry in "${messages[@]}"; do
    pc=${entry%%:*}
    text=${entry#*:}
    [ "$pc" = pca ] && win=$main_a || win=$main_b
    click_design "$pc" "$win" 120 1080 6015 285 # Text2
    x "$pc" type --delay 30 "$text"
    x "$pc" key Return
    # Both sides record each message: the sender as sent, the partner as received.
    sent=$((sent + 1))
    wait_records pca "$sent"
    wait_records pcb "$sent"
done
shot pca 04-conversation-pca
shot_window pca "$main_a" window-04-conversation-pca
shot pcb 04-conversation-pcb

# pcb disconnects; its notice reaches pca.
click_design pcb "$main_b" 120 360 975 375 # Command3
wait_records pca $((sent + 1))
shot pca 05-after-disconnect-pca
shot pcb 05-after-disconnect-pcb

# Both leave through the menu and confirm.
for pc in pca pcb; do
    [ "$pc" = pca ] && win=$main_a || win=$main_b
    x "$pc" windowfocus --sync "$win"
    x "$pc" key alt+m
    sleep 0.3
    x "$pc" key q
    answer_box "$pc" 'システムの終了' Return
    wait_exit "$pc" || fail "tavik-light on $pc did not end after the confirmed exit"
done
stop_capture $((sent + 1))

# --- What went over the wire: one datagram per message, its code page 932 bytes and nothing else.
expected_wire="$work/expected-wire.txt"
: >"$expected_wire"
for entry in "${messages[@]}"; do
    cp932_hex "${entry#*:}" >>"$expected_wire"
done
cp932_hex '連絡事項：切断されました' >>"$expected_wire"
tshark -r "$out/wire.pcap" -T fields -e udp.srcport -e udp.dstport -e udp.payload 2>/dev/null >"$out/wire.txt"
cut -f3 "$out/wire.txt" | tr -d ':' >"$work/actual-wire.txt"
if ! diff -u "$expected_wire" "$work/actual-wire.txt"; then
    fail "the datagrams on the wire differ from the code page 932 bytes of the texts typed"
fi
# PC1 sends to 1001 from 1002, PC2 the other way round.
expected_ports=$(printf '1002\t1001\n1001\t1002\n1002\t1001\n1001\t1002\n1001\t1002\n')
[ "$(cut -f1,2 "$out/wire.txt")" = "$expected_ports" ] || fail "the datagrams used the wrong ports: $(cut -f1,2 "$out/wire.txt")"
log "wire: $(wc -l <"$out/wire.txt") datagrams, bytes as expected"

# --- The log files, byte for byte.
datetime_field=DATETIME
[ -n "$fixed_time" ] && datetime_field="2002/10/18 9:05:03"
record() { # sender receiver message -> one record in code page 932
    printf '"%s","%s","%s","%s"\r\n' "$1" "$2" "$3" "$datetime_field" | iconv -f UTF-8 -t CP932
}
{
    record pca pcb 'hello from pca'
    record pcb pca '相手>こんにちは、元気です～'
    record pca pcb '日本語テスト ｶﾀｶﾅ ①'
    record pcb pca '相手>了解 OK!'
    record pcb pca '相手>連絡事項：切断されました'
} >"$work/expected-pca.txt"
{
    record pca pcb '相手>hello from pca'
    record pcb pca 'こんにちは、元気です～'
    record pca pcb '相手>日本語テスト ｶﾀｶﾅ ①'
    record pcb pca '了解 OK!'
} >"$work/expected-pcb.txt"
for pc in pca pcb; do
    files=("$work/$pc/log/"*.txt)
    if [ ${#files[@]} -ne 1 ] || [ ! -f "${files[0]}" ]; then
        fail "$pc wrote no log file or more than one: ${files[*]}"
    fi
    actual=${files[0]}
    cp "$actual" "$out/log-$pc.txt"
    name=$(basename "$actual")
    if [ -n "$fixed_time" ]; then
        [ "$name" = 20021018090503.txt ] || fail "$pc's log file is named $name, not 20021018090503.txt"
        compared=$actual
    else
        [[ $name =~ ^20[0-9]{12}\.txt$ ]] || fail "$pc's log file name $name is not a date-time"
        compared="$work/$pc-masked.txt"
        LC_ALL=C sed -E 's#"[0-9]{4}/[0-9]{2}/[0-9]{2}( [0-9]{1,2}:[0-9]{2}:[0-9]{2})?"\r$#"DATETIME"\r#' "$actual" >"$compared"
    fi
    if ! cmp -s "$work/expected-$pc.txt" "$compared"; then
        echo "expected:" >&2; xxd "$work/expected-$pc.txt" >&2
        echo "actual:" >&2; xxd "$compared" >&2
        fail "the log file of $pc differs from the expected bytes"
    fi
    log "log of $pc: $name, $(wc -c <"$actual") bytes as expected"
done

log "passed"
exit 0
