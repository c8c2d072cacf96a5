#!/usr/bin/env bash
# Checks the lock with the real station program under a virtual X server: a console
# stand-in on loopback port 12000, driven from here, and a key witness (xev) below
# the station, which logs every key and click that reaches it.
#   - without the lock's keys: no cover, and a lost link is not taken up again;
#   - with them: a window covers the whole screen while idle, keys and clicks sent
#     with xdotool do not reach the witness below it, a period started by the
#     console removes it at once, the notice at 1 minute left comes without taking
#     the focus, the period's stop brings the cover back within a second, and the
#     station connects again by itself.
# Takes about 90 seconds (the notice waits for a period's last minute).
#   check_lock.sh <build-dir> [screenshot.png]
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir> [screenshot.png]}" && pwd)
scripts=$(cd "$(dirname "$0")" && pwd)
shot=${2:-}
[[ -z $shot || $shot == /* ]] || shot=$(pwd)/$shot
if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$shot"
fi

work=$(mktemp -d)
pids=()
clean_up() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap clean_up EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The console stand-in: answers each announcement with the stop message as the
# console does, logs what the station sends, and carries out the lines written to
# its command pipe: "send <text>", "drop" (closes the station's link).
mkfifo "$work/commands"
python3 -u "$scripts/console_standin.py" "$work/commands" "$work/console.log" &
pids+=($!)
console() { echo "$*" >"$work/commands"; }
# Waits up to $1 tenths of a second for the command to succeed.
within() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
announcements() { grep -c 'got .*Startup1' "$work/console.log" || true; }
announced_more_than() { [[ $(announcements) -gt $1 ]]; }

# The witness: a window at the top left that logs keys and clicks.
xev -geometry 300x200+20+20 -name Zeuge -event keyboard -event button >"$work/witness.log" &
pids+=($!)
witness=$(xdotool search --sync --onlyvisible --name '^Zeuge$' | head -1)
# Types a key into the witness as a customer would: pointer on it, focus given.
type_into_witness() {
    xdotool mousemove 150 120
    xdotool windowfocus "$witness" 2>/dev/null || true
    xdotool key "$@"
    sleep 0.5
}
reached() { grep -q "$1" "$work/witness.log"; }
type_into_witness a
reached 'keysym 0x61, a' && pass "the witness logs keys" || fail "the witness logs no keys"

station_dir=$work/station
start_station() { # <Client.ini lines>
    mkdir -p "$station_dir"
    cp "$build/station/Client1" "$station_dir/"
    printf '%b' "$1" >"$station_dir/Client.ini"
    XDG_RUNTIME_DIR=$work "$station_dir/Client1" 2>>"$work/station.log" &
    station=$!
    pids+=($station)
}
cover_id() { xdotool search --onlyvisible --name '^Station 1 - Sperre$' 2>/dev/null | head -1; }
cover_shown() { [[ -n $(cover_id) ]]; }
cover_gone() { [[ -z $(cover_id) ]]; }
# The colour of one pixel of the screen, as the customer sees it.
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1; }

# Without the keys: as before.
start_station '[Server]\r\nIP=127.0.0.1\r\n'
within 100 announced_more_than 0 || fail "the plain station did not announce itself"
sleep 1
cover_gone && pass "no cover without the keys" || fail "a cover without the keys"
console drop
sleep 3
[[ $(announcements) -eq 1 ]] && pass "no reconnect without the keys" || fail "the plain station reconnected"
kill "$station"
wait "$station" 2>/dev/null || true
: >"$work/console.log"

# With the lock: covered from start-up on.
start_station '[Server]\r\nIP=127.0.0.1\r\nWiederverbinden=2\r\n[Sperre]\r\nAktiv=1\r\nFirma=Netz-Eck\r\n'
within 100 cover_shown || fail "no cover at start-up"
within 100 announced_more_than 0 || fail "the station did not announce itself"
sleep 1
geometry=$(xwininfo -id "$(cover_id)" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width/{w=$NF} /Height/{h=$NF} END{print w"x"h"+"x"+"y}')
screen=$(xwininfo -root | awk '/Width/{w=$NF} /Height/{h=$NF} END{print w"x"h"+0+0"}')
[[ $geometry == "$screen" ]] && pass "the cover spans the screen ($geometry)" || fail "cover $geometry, screen $screen"
[[ $(pixel 150 120) == '#202A38' ]] && pass "the witness is hidden below the cover" || fail "the witness shows through: $(pixel 150 120)"
[[ -n $shot ]] && import -window root "$shot"
type_into_witness b
type_into_witness alt+Tab
type_into_witness ctrl+alt+F1
xdotool mousemove 150 120 click 1
sleep 0.5
if reached 'keysym 0x62, b' || reached 'Tab' || reached ButtonPress; then
    fail "keys or clicks reached the window below the cover"
else
    pass "keys (b, Alt+Tab, Ctrl+Alt+F1) and a click did not reach the window below"
fi

# A period: the cover goes at once; the notice at 1 minute left keeps the focus.
console send 2
within 10 cover_gone && pass "the console's start removed the cover" || fail "the cover stayed during a period"
type_into_witness c
reached 'keysym 0x63, c' && pass "the desktop is usable during the period" || fail "keys do not reach the desktop during the period"
focus_before=$(xdotool getwindowfocus)
notice_shown() { [[ -n $(xdotool search --onlyvisible --name '^Hinweis$' 2>/dev/null) ]]; }
if within 700 notice_shown; then
    pass "the notice at 1 minute left ($(grep -o 'got 00:0[01]:[0-9]*' "$work/console.log" | tail -1))"
    [[ $(xdotool getwindowfocus) == "$focus_before" ]] && pass "the notice took no focus" || fail "the notice took the focus"
    type_into_witness e
    reached 'keysym 0x65, e' && pass "keys reach the desktop while the notice shows" || fail "the notice took the keyboard"
    within 80 bash -c "! xdotool search --onlyvisible --name '^Hinweis$' >/dev/null 2>&1" &&
        pass "the notice went after a few seconds" || fail "the notice stayed"
else
    fail "no notice at 1 minute left"
fi

# The console's stop: the cover is back within a second.
console send Stop1
within 10 cover_shown && pass "the stop brought the cover back within a second" || fail "no cover after the stop"
sleep 0.3
type_into_witness d
reached 'keysym 0x64, d' && fail "keys reached the desktop after the period" || pass "keys blocked again after the period"

# The link lost: the station connects again by itself within its 2 seconds.
before=$(announcements)
console drop
within 40 announced_more_than "$before" && pass "the station connected again by itself" ||
    fail "the station did not connect again"
cover_shown || fail "the cover went while reconnecting"

if ((failures)); then
    echo "$failures lock check(s) failed" >&2
    exit 1
fi
echo "lock: cover, notice and reconnect checked with the real station"
