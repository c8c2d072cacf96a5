#!/usr/bin/env bash
# Checks a locked customer PC as the café sets it up: the real station program under
# its own account kavo-station, restarted at once whenever it ends (as its system
# unit does: the same account, CAP_KILL only, no new privileges), on a virtual X
# server that only root, the station's account and the customer's account may use,
# with a throw-away customer account kavokunde whose processes are its desktop.
# The console is a stand-in on loopback port 12000 in a network of this script's own.
# With the customer's own tools (run as kavokunde) it tries to get past the cover:
#   - xdotool windowunmap on the cover;
#   - a program holding keyboard and pointer when the period ends (also one that
#     ignores the request to end);
#   - xkill on the cover;
#   - kill -STOP and kill -9 of the station (refused: another account);
#   - systemctl stop (refused: the unit is the system's).
# Last, the system stops the station: the customer's session ends with it.
# After each it measures how long until the cover is on the screen and holds
# keyboard and pointer again (within 1 s), types keys at the customer's key witness
# (xev) below it, and, where the attempt got through, looks for processes of the
# customer's account left over.
# Needs root; makes the accounts it lacks and removes them again.
#   check_locked_pc.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir>}" && pwd)
[[ $(id -u) -eq 0 ]] || { echo "check_locked_pc.sh: needs root (accounts, other users' processes)" >&2; exit 2; }
if [[ -z ${KAVO_OWN_NETWORK:-} ]]; then
    exec env KAVO_OWN_NETWORK=1 unshare -n "$0" "$@"
fi
ip link set lo up
python=/usr/bin/python3
standin=$(cd "$(dirname "$0")" && pwd)/console_standin.py
customer=kavokunde
station_account=kavo-station

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanups=()
clean_up() {
    local pid step
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    pkill -KILL -u "$customer" 2>/dev/null || true
    wait 2>/dev/null || true
    for step in "${cleanups[@]}"; do eval "$step" >/dev/null 2>&1 || true; done
    if [[ -n ${KAVO_KEEP:-} ]]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap clean_up EXIT
trap "exit 1" TERM INT HUP
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The accounts: the station's (a system account, as postinst makes it) and the
# customer's (an ordinary one with a home).
if ! getent passwd "$station_account" >/dev/null; then
    useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$station_account"
    cleanups+=("userdel $station_account" "groupdel $station_account")
fi
if ! getent passwd "$customer" >/dev/null; then
    useradd --create-home --shell /bin/bash "$customer"
    cleanups+=("userdel --remove $customer")
fi
as_customer() { runuser -u "$customer" -- env DISPLAY="$DISPLAY" XAUTHORITY="$work/customer.xauth" "$@"; }
customer_processes() { pgrep -c -u "$customer" || true; }

# The display: root, the station's account and the customer's, each through a copy
# of the cookie that only it can read. (A display manager grants the station's
# account by its user id instead, xhost +si:localuser:kavo-station; this machine's
# Xvfb turns such clients away, so the check grants by cookie.)
display_number=$((80 + RANDOM % 100))
export DISPLAY=:$display_number XAUTHORITY=$work/root.xauth
touch "$XAUTHORITY"
xauth -f "$XAUTHORITY" add "$DISPLAY" . "$(mcookie)"
Xvfb "$DISPLAY" -auth "$XAUTHORITY" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
runtime=$work/run-station
install -d -m 700 -o "$station_account" "$runtime"
install -m 600 -o "$station_account" "$XAUTHORITY" "$runtime/Xauthority"
install -m 600 -o "$customer" "$XAUTHORITY" "$work/customer.xauth"
runuser -u nobody -- env DISPLAY="$DISPLAY" XAUTHORITY=/nonexistent xdpyinfo >/dev/null 2>&1 &&
    fail "any account may use the display" || pass "the display admits root, $station_account and $customer only"

# The console stand-in (scripts/console_standin.py): answers each announcement with
# the stop message, logs what the station sends with the time it came, and carries
# out "send <text>" lines from its command pipe.
mkfifo "$work/commands"
"$python" -u "$standin" "$work/commands" "$work/console.log" --stamped &
pids+=($!)
console() { echo "$*" >"$work/commands"; }

# The station as its unit runs it: its own account, CAP_KILL and nothing else, no
# new privileges, started again 100 ms after it ends.
station_dir=$work/station
install -d -m 755 "$station_dir"
install -m 755 "$build/station/Client1" "$station_dir/"
printf '[Server]\r\nIP=127.0.0.1\r\nWiederverbinden=1\r\n[Sperre]\r\nAktiv=1\r\nKunde=%s\r\n[Zeit]\r\nServer=\r\n' \
    "$customer" >"$station_dir/Client.ini"
chown "root:$station_account" "$station_dir/Client.ini"
chmod 640 "$station_dir/Client.ini"
cat >"$work/supervise.sh" <<EOF
#!/bin/bash
while :; do
    date +%s.%N >>"$work/starts"
    setpriv --reuid="$station_account" --regid="$station_account" --init-groups --no-new-privs \
        --inh-caps=-all,+kill --ambient-caps=-all,+kill --bounding-set=-all,+kill \
        env -i DISPLAY=$DISPLAY XAUTHORITY=$runtime/Xauthority HOME=$runtime XDG_RUNTIME_DIR=$runtime \
        QT_QPA_PLATFORM=xcb "$station_dir/Client1" 2>>"$work/station.log"
    sleep 0.1
done
EOF
chmod 755 "$work/supervise.sh"
"$work/supervise.sh" 2>>"$work/supervisor.log" &
supervisor=$!
pids+=($supervisor)
station_pid() { pgrep -u "$station_account" -x Client1 | head -1; }

# Watches the screen as the customer would meet it: prints the seconds until the
# cover is viewable and keyboard and pointer are taken (a grab of the customer's
# own is refused), or "never" after 3 s. A successful test grab is let go at once.
# Given "gone", it counts from the moment the cover was first found not holding.
# A second figure counts from the moment the cover was first seen on the screen.
cat >"$work/held.py" <<'EOF'
import os, sys, time
from Xlib import X, display, error
start = float(sys.argv[1])
from_gone = len(sys.argv) > 2
d = display.Display()
root = d.screen().root
probe = root.create_window(0, 0, 1, 1, 0, d.screen().root_depth, override_redirect=True)
probe.map()
d.sync()
def cover_viewable():
    for child in root.query_tree().children:
        try:
            if child.get_wm_name() == "Station 1 - Sperre" and child.get_attributes().map_state == X.IsViewable:
                return True
        except error.XError:
            pass
    return False
# A program of the customer's holding the grab refuses the test grab too: while it
# lives, the cover does not hold.
rival = os.environ.get("RIVAL_PID")
def rival_lives():
    try:
        with open("/proc/%s/stat" % rival) as stat:
            return stat.read().split(") ")[1][0] not in "ZX"
    except (OSError, TypeError):
        return False
def held():
    if not cover_viewable() or rival_lives():
        return False
    k = probe.grab_keyboard(False, X.GrabModeAsync, X.GrabModeAsync, X.CurrentTime)
    p = probe.grab_pointer(False, 0, X.GrabModeAsync, X.GrabModeAsync, X.NONE, X.NONE, X.CurrentTime)
    if k == X.GrabSuccess: d.ungrab_keyboard(X.CurrentTime)
    if p == X.GrabSuccess: d.ungrab_pointer(X.CurrentTime)
    d.sync()
    return k != X.GrabSuccess and p != X.GrabSuccess
if from_gone:
    while held() and time.time() - start < 3:
        time.sleep(0.001)
    start = time.time()
shown = None
while time.time() - start < 3:
    if shown is None and cover_viewable():
        shown = time.time()
    if held():
        now = time.time()
        shown = shown or now
        print("%.3f %.3f" % (now - start, now - shown))
        sys.exit(0)
    time.sleep(0.005)
print("never never")
EOF
held_after() { "$python" "$work/held.py" "$@"; }
within_a_second() { [[ $1 != never ]] && awk -v t="$1" 'BEGIN { exit !(t < 1.0) }'; }
# The figures of held_after: from the moment given, and from the cover's showing.
overall() { echo "${1% *}"; }
since_shown() { echo "${1#* }"; }
cover_id() { xdotool search --name '^Station 1 - Sperre$' 2>/dev/null | head -1 || true; }

# The customer's desktop: a key witness (xev) and a program of his, both his own.
witness_log=$work/witness.log
start_desktop() {
    : >"$witness_log"
    chmod 666 "$witness_log"
    as_customer xev -geometry 300x200+20+20 -name Zeuge -event keyboard -event button >"$witness_log" 2>/dev/null &
    as_customer sleep 3600 &
    for _ in $(seq 50); do xdotool search --name '^Zeuge$' >/dev/null 2>&1 && return 0; sleep 0.1; done
}
keys_blocked() { # <label>
    xdotool mousemove 150 120 2>/dev/null || true
    local witness
    witness=$(xdotool search --name '^Zeuge$' 2>/dev/null | head -1 || true)
    [[ -n $witness ]] && xdotool windowfocus "$witness" 2>/dev/null || true
    xdotool key x 2>/dev/null || true
    xdotool click 1 2>/dev/null || true
    sleep 0.3
    if grep -q 'KeyPress\|ButtonPress' "$witness_log"; then fail "$1: keys or clicks reached the customer's program"; else pass "$1: no key or click reached the customer's program"; fi
}
none_left() { # <label>
    local left
    for _ in $(seq 20); do
        left=$(customer_processes)
        ((left == 0)) && break
        sleep 0.1
    done
    ((left == 0)) && pass "$1: no process of $customer left" || fail "$1: $left processes of $customer left: $(pgrep -a -u "$customer" | tr '\n' ';')"
}
lock_failures() { grep -c 'Sperre nicht wirksam' "$work/console.log" || true; }
start_period() {
    console send 5
    sleep 1
    start_desktop
}
end_period() {
    date +%s.%N >"$work/stopped"
    console send Stop1
}

# Start-up: from the program's start to a covered screen that holds the input.
first=$(held_after "$(date +%s.%N)")
# The console's answer to the announcement first: a start right behind it would
# reach the station in the same chunk.
for _ in $(seq 50); do [[ -s $work/console.log ]] && break; sleep 0.1; done
sleep 1
within_a_second "$(overall "$first")" && pass "start-up: covered and holding $(overall "$first") s after the program's start" ||
    fail "start-up: not covered and holding within 1 s ($first)"

# The period's end takes the customer's session with it.
start_period
[[ $(customer_processes) -gt 0 ]] && pass "period: the customer's desktop runs ($(customer_processes) processes)"
xdotool mousemove 150 120 key y 2>/dev/null; sleep 0.3
grep -q KeyPress "$witness_log" && pass "period: keys reach the customer's program" || fail "period: keys do not reach the customer's program"
end_period
# The stop ends the period after one more time text, in the next second, and the
# cover comes 0,5 s after that: the cover's own part is counted from its showing.
t=$(held_after "$(cat "$work/stopped")")
within_a_second "$(since_shown "$t")" &&
    pass "period end: holding $(since_shown "$t") s after the cover showed, $(overall "$t") s after the stop" ||
    fail "period end: covered and holding after $t s"
none_left "period end"
: >"$witness_log"

# 1. windowunmap on the cover.
start_desktop
cover=$(cover_id)
before=$(lock_failures)
held_after "$(date +%s.%N)" gone >"$work/measured" &
measuring=$!
sleep 0.3
as_customer xdotool windowunmap "$cover" 2>/dev/null && unmapped=0 || unmapped=$?
wait "$measuring" || true
t=$(overall "$(cat "$work/measured")")
within_a_second "$t" && pass "windowunmap (xdotool's exit status $unmapped): covered and holding again after $t s" ||
    fail "windowunmap: not covered and holding again within 1 s ($t)"
keys_blocked "windowunmap"
none_left "windowunmap"
sleep 0.3
[[ $(lock_failures) -gt $before ]] && pass "windowunmap: the console was told \"Sperre nicht wirksam\"" ||
    fail "windowunmap: the console was not told"

# 2. A program that holds keyboard and pointer when the period ends, one that ends
# when asked and one that does not.
cat >"$work/grabber.py" <<'EOF'
import signal, sys, time
from Xlib import X, display
if sys.argv[1] == "stubborn":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
d = display.Display()
root = d.screen().root
w = root.create_window(0, 0, 1024, 768, 0, d.screen().root_depth, override_redirect=True)
w.map()
d.sync()
while True:
    w.grab_keyboard(False, X.GrabModeAsync, X.GrabModeAsync, X.CurrentTime)
    w.grab_pointer(False, 0, X.GrabModeAsync, X.GrabModeAsync, X.NONE, X.NONE, X.CurrentTime)
    w.raise_window()
    d.sync()
    time.sleep(0.02)
EOF
chmod 644 "$work/grabber.py"
for kind in obedient stubborn; do
    start_period
    as_customer "$python" "$work/grabber.py" "$kind" &
    sleep 1
    rival=$(pgrep -u "$customer" -f grabber.py | head -1 || true)
    before=$(lock_failures)
    end_period
    t=$(RIVAL_PID=$rival held_after "$(cat "$work/stopped")")
    within_a_second "$(since_shown "$t")" &&
        pass "grab held at the period's end ($kind): holding $(since_shown "$t") s after the cover showed, $(overall "$t") s after the stop" ||
        fail "grab held at the period's end ($kind): covered and holding after $t s"
    keys_blocked "grab held ($kind)"
    none_left "grab held ($kind)"
    echo "   (console told \"Sperre nicht wirksam\" $(($(lock_failures) - before)) times)"
done

# 3. xkill on the cover: the station ends, and is back at once.
start_desktop
old=$(station_pid)
held_after "$(date +%s.%N)" gone >"$work/measured" &
measuring=$!
sleep 0.3
as_customer xkill -id "$(cover_id)" >/dev/null 2>&1 || true
wait "$measuring" || true
t=$(overall "$(cat "$work/measured")")
within_a_second "$t" && pass "xkill: the station (was $old, now $(station_pid)) covered and holding again after $t s" ||
    fail "xkill: not covered and holding within 1 s ($t)"
keys_blocked "xkill"
none_left "xkill"

# 4. Signals from the customer's account: refused.
start_desktop
pid=$(station_pid)
for signal in STOP KILL TERM; do
    if message=$(as_customer kill -s "$signal" "$pid" 2>&1); then
        fail "kill -$signal as $customer was carried out"
    else
        pass "kill -$signal as $customer refused: ${message##*: }"
    fi
done
[[ $(station_pid) == "$pid" && $(ps -o stat= -p "$pid") != T* ]] && pass "the station runs on unstopped" || fail "the station was stopped or ended"
if as_customer cat /proc/"$pid"/environ >/dev/null 2>&1; then fail "the customer reads the station's environment"; else pass "the customer cannot look into the station (/proc/$pid/environ)"; fi
if as_customer cat "$station_dir/Client.ini" >/dev/null 2>&1; then fail "the customer reads Client.ini"; else pass "the customer cannot read Client.ini"; fi

# 5. systemctl stop as the customer.
if [[ -d /run/systemd/system ]]; then
    message=$(as_customer systemctl stop kavo-station@1.service 2>&1) && fail "systemctl stop as $customer was carried out" ||
        pass "systemctl stop as $customer refused: $message"
else
    message=$(as_customer systemctl stop kavo-station@1.service 2>&1 || true)
    echo "   systemd is not PID 1 here ($(ps -o comm= -p 1)); systemctl as $customer says: ${message%%$'\n'*}"
    echo "   The unit lies in /usr/lib/systemd/system (root's, 0644); stopping, masking or killing a system unit is"
    echo "   polkit's action org.freedesktop.systemd1.manage-units, which asks for an administrator's password"
    echo "   (auth_admin) of any user but root, and the customer's own systemctl --user reaches only his own units."
fi
# The refused attempts changed nothing: the customer's desktop runs on below the
# cover, and no key reaches it.
keys_blocked "after the refused attempts"

# 6. Stopped by the system (systemctl stop sends SIGTERM): the customer's session
# ends with the station, so that no desktop is left without the cover.
start_desktop
pid=$(station_pid)
kill "$supervisor"
wait "$supervisor" 2>/dev/null || true
[[ $(customer_processes) -gt 0 ]] || fail "stop: the customer's desktop did not start"
kill -TERM "$pid"
none_left "the station stopped by the system"
for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "stop: the station did not end" || pass "stop: the station ended"

echo "station restarts: $(($(wc -l <"$work/starts") - 1)); its error output:"
sed 's/^/   /' "$work/station.log" | sort | uniq -c | head -20
if ((failures)); then
    echo "$failures check(s) of the locked PC failed" >&2
    exit 1
fi
echo "locked PC: the cover held against the customer's own tools"
