#!/usr/bin/env bash
# Takes the real console through a day of the owner's book, on a virtual X server of
# its own, driven by X key events (xdotool) as an operator would type:
#   1. a fresh program folder (Kavo.ini, an empty usage database); the owner sets his
#      PIN and adds two operators in the console's own window "Betreiber und Rechte";
#   2. the console started again asks who is on duty: a wrong PIN, then the first
#      operator; the real Client1 runs a short period;
#   3. "Schicht wechseln" hands over to the second operator; "Stornieren…" voids the
#      first operator's record with the owner's PIN asked for there;
#   4. "Tagesabschluss…" closes the day and prints it through the print dialog to a
#      PDF file;
#   5. the console started a third time, by the owner, checks the whole chain.
# Then it checks: the PDF has one page and names the void and the chain's head as the
# database holds it; the database holds the record, its counter-record and the
# closing with their operators; no check of the chain found anything.
# The programs run with their own HOME, XDG and TMPDIR, in a network of the script's
# own with loopback alone. Screenshots of each step go to the folder given (by
# default a new one), which is printed at the end.
# Exits 77 (skipped) where Xvfb, xdotool, xwininfo, ImageMagick's import or sqlcipher
# is missing; Ghostscript, where installed, reads the PDF's text and renders it.
#   check_console_books.sh <build-dir> [picture-folder]
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir> [picture-folder]}" && pwd)
# Without the X tools it cannot run: skipped (77, as ctest is told).
for tool in Xvfb xdotool xwininfo import sqlcipher; do
    command -v "$tool" >/dev/null || { echo "check_console_books.sh: $tool is missing; skipped" >&2; exit 77; }
done
if [[ -z ${KAVO_OWN_NETWORK:-} ]]; then
    # Root makes a network of its own; anyone else a user namespace holding one.
    own=(unshare -n)
    [[ $(id -u) -eq 0 ]] || own=(unshare -rn)
    exec env KAVO_OWN_NETWORK=1 "${own[@]}" "$0" "$@"
fi
ip link set lo up
began=$(date +%s.%N)

work=$(mktemp -d)
pictures=${2:-$(mktemp -d "${TMPDIR:-/tmp}/kavo-buch-bilder.XXXXXX")}
mkdir -p "$pictures"
pictures=$(cd "$pictures" && pwd)
rm -f "$pictures/stuck.png"
programs=$work/programs
pids=()
clean_up() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [[ -n ${KAVO_KEEP:-} ]]; then
        echo "kept $work"
    else
        rm -rf "$work"
    fi
}
trap clean_up EXIT
trap "exit 1" TERM INT HUP

owner_pin=90210
first=anna first_pin=1234
second=bert second_pin=5678
cafe="Internetcafé Kasse"
reason="Doppelt gebucht"
key=qrtdb52

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
# A step that cannot go on ends the run, with a picture of the screen as it was.
stuck() {
    import -window root "$pictures/stuck.png" 2>/dev/null || true
    echo "FAIL: $* (the screen: $pictures/stuck.png)" >&2
    exit 1
}

# The display, on the first free number Xvfb finds.
Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
[[ -s $work/display ]] || stuck "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=:$(cat "$work/display")
export DISPLAY
unset XAUTHORITY WAYLAND_DISPLAY SESSION_MANAGER
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/.config/Kavo" "$XDG_RUNTIME_DIR" "$TMPDIR" "$programs"
chmod 700 "$XDG_RUNTIME_DIR"
# The console's window at the screen's top left; the station's goes to the bottom right.
printf '[Settings]\nMainLeft=0\nMainTop=0\nMainWidth=10080\nMainHeight=6000\n' >"$HOME/.config/Kavo/Kavo.conf"

install -m 755 "$build/console/Kavo" "$build/station/Client1" "$programs/"
# A tariff of 0,10 € a second, so that the period of a few seconds costs something.
printf '[Gebühr]\r\nEinheit 15min=90,00\r\nÜber 30min=1,20\r\nÜber 60min=1,00\r\n[DB]\r\nDB Name=kavo\r\n[Firma]\r\nFirmen Name=%s\r\n' \
    "$cafe" | iconv -f UTF-8 -t WINDOWS-1252 >"$programs/Kavo.ini"
printf '[Server]\r\nIP=127.0.0.1\r\n[Zeit]\r\nServer=\r\n' >"$programs/Client.ini"
"$build/tools/create_usage_db" "$programs" kavo >/dev/null
database() { sqlcipher -batch "$programs/kavo.mde" "PRAGMA key = '$key';" ".mode list" "$1" | sed '1{/^ok$/d}'; }

# Waits until a window of exactly this title shows; prints its id.
window() { # <title> [seconds]
    local id
    for _ in $(seq $((${2:-20} * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    stuck "no window \"$1\" within ${2:-20} s"
}
# Waits until the window is gone (closed or hidden).
gone() { # <id> <what>
    for _ in $(seq 200); do
        xdotool getwindowname "$1" >/dev/null 2>&1 && [[ $(xwininfo -id "$1" 2>/dev/null | grep -c IsViewable) -gt 0 ]] || return 0
        sleep 0.1
    done
    stuck "$2 did not close"
}
# Keys to the window: focused first, then each argument a key, or after "type:" text,
# or "pause". The program takes them in the order sent; but a button's key clicks it
# a moment later, and what follows waits for that click ("pause"). The database is
# read only once the console has ended, as a reader would hold up its writes.
keys() { # <id> <key or type:text or pause>...
    local id=$1 step pending=()
    shift
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.1
    for step in "$@" end; do
        if [[ $step != pause && $step != end && $step != type:* ]]; then
            pending+=("$step")
            continue
        fi
        ((${#pending[@]} == 0)) || xdotool key --delay 40 "${pending[@]}"
        pending=()
        if [[ $step == type:* ]]; then
            xdotool type --delay 12 "${step#type:}"
        elif [[ $step == pause ]]; then
            sleep 0.4
        fi
    done
}
shot() { # <name> <id>
    sleep 0.2
    import -window "$2" "$pictures/$1.png"
}

console_pid=
start_console() {
    (cd "$work" && exec "$programs/Kavo" 2>>"$work/console.log") &
    console_pid=$!
    pids+=("$console_pid")
}
# Datei → Beenden; the console checks the file's pages as it closes.
end_console() {
    keys "$(window "$cafe")" alt+d b
    for _ in $(seq 300); do kill -0 "$console_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$console_pid" 2>/dev/null && stuck "the console did not end"
    wait "$console_pid" || fail "the console ended with status $?"
}
sign_in() { # <name> <pin>
    local dialog
    dialog=$(window Anmeldung)
    # The name list takes the first letters typed; the PIN field has the focus.
    keys "$dialog" alt+n "type:$1" alt+p "type:$2" Return
    gone "$dialog" "the sign-in"
}
owner_pin_asked() {
    local box
    box=$(window "PIN des Inhabers")
    keys "$box" "type:$owner_pin" Return
    gone "$box" "the owner's PIN box"
}
# The box a step answers with, shown and then closed.
answer() { # <picture name>
    local box
    box=$(window Kavo)
    shot "$1" "$box"
    keys "$box" Return
    gone "$box" "the message box"
}

# 1. The owner sets up his PIN and the two operators in the rights window.
start_console
main=$(window "$cafe" 30)
keys "$main" alt+w b
rights=$(window "Betreiber und Rechte")
# The owner's PIN field has the focus and keeps it through "PIN setzen", which opens
# the operators' fields: the name two steps on (past the list), then the PIN; after
# "Hinzufügen" the focus stays in the PIN field, one step after the name.
keys "$rights" "type:$owner_pin" alt+s pause Tab Tab "type:$first" Tab "type:$first_pin" alt+h pause \
    shift+Tab "type:$second" Tab "type:$second_pin" alt+h pause shift+Tab "type:carla" Tab "type:12"
shot 1-betreiber-rechte "$rights"
keys "$rights" alt+c
gone "$rights" "the rights window"
end_console
operators=$(database "SELECT group_concat(Name, ' ') FROM (SELECT Name FROM Betreiber ORDER BY Name);")
[[ $operators == *"$first"*"$second"* ]] && pass "the rights window set up the owner and the operators: $operators" ||
    stuck "the rights window did not set up the operators (Betreiber: $operators)"

# 2. Signed in as the first operator, after a wrong PIN; a period on the real station.
start_console
dialog=$(window Anmeldung 30)
keys "$dialog" alt+n "type:$first" alt+p "type:0000" Return
# The PIN's slow hash is checked before the answer shows.
sleep 1
shot 2-anmeldung-falsche-pin "$dialog"
sign_in "$first" "$first_pin"
main=$(window "$cafe" 30)
(cd "$work" && exec "$programs/Client1" 2>>"$work/station.log") &
pids+=($!)
station=$(window Client1 30)
xdotool windowmove "$station" 1060 700
for _ in $(seq 100); do
    [[ -n $(ss -Htn state established 2>/dev/null) ]] && break
    sleep 0.1
done
# The station's announcement, after the connection, enables Start.
sleep 0.5
# Start and Stop of station 1 by their keys; the period runs a few seconds.
keys "$main" alt+s
sleep 2
shot 3-nutzung "$main"
keys "$main" alt+t
sleep 0.5
shot 4-nach-der-nutzung root

# 3. The shift goes to the second operator; the owner voids the first one's record.
keys "$main" alt+w s
sign_in "$second" "$second_pin"
keys "$main" alt+w t
owner_pin_asked
void=$(window Stornieren)
# Station 1 and today are set; the list of the day's records comes just before the
# reason in the window's order: its first record is picked.
keys "$void" alt+g "type:$reason" shift+Tab space
shot 5-stornieren "$void"
keys "$void" alt+s
gone "$void" "the void window"
answer 6-storniert

# 4. The day closed and printed to a PDF file.
keys "$main" ctrl+t
closing=$(window Tagesabschluss)
# Its buttons have no keys of their own: they are clicked, at their places from the
# window's right edge in a window of this size.
width=760
xdotool windowsize "$closing" $width 800
sleep 0.5
click() { xdotool mousemove --window "$closing" "$1" 22 click 1; }
click $((width - 231)) # Abschließen
shot 7-tagesabschluss "$closing"
click $((width - 52)) # Drucken…
# The print dialog offers the PDF file where no printer is set up; its file name
# field is "Ausgabedatei" (Alt+D).
dialog=$(window '(Drucken|Print)')
shot 8-druckdialog "$dialog"
pdf=$work/tagesabschluss.pdf
keys "$dialog" alt+d ctrl+a "type:$pdf"
shot 9-druckdialog-datei "$dialog"
keys "$dialog" Return
gone "$dialog" "the print dialog"
for _ in $(seq 100); do [[ -s $pdf ]] && break; sleep 0.1; done
end_console

# 5. The owner starts the console and checks the whole chain.
start_console
sign_in Inhaber "$owner_pin"
main=$(window "$cafe" 30)
shot 10-konsole-neu "$main"
keys "$main" alt+w k
answer 11-kette-geprueft
end_console

# The printed closing: one page, naming the void and the chain's head as saved.
if [[ -s $pdf ]]; then
    pages=$(/usr/bin/python3 - "$pdf" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
print(len(re.findall(rb"/Type\s*/Page(?![A-Za-z])", data)))
PY
)
    [[ $pages == 1 ]] && pass "the closing printed to PDF: $(stat -c %s "$pdf") bytes, one page" ||
        fail "the closing's PDF has $pages pages"
else
    fail "the print dialog wrote no PDF ($pdf)"
fi
head=$(database "SELECT Kette FROM Abschluesse WHERE Art = 'Tag' ORDER BY Nummer DESC LIMIT 1;")
[[ $head =~ ^[0-9a-f]{64}$ ]] && pass "the day's closing names the chain's head $head" ||
    fail "the day's closing has no chain head: \"$head\""
# Nothing was booked after the closing: its link is still the chain's head.
[[ $(database "SELECT Kopf FROM Kettenkopf;") == "$head" ]] && pass "the chain's head is still the closing's link" ||
    fail "the chain's head moved on after the closing"
if command -v gs >/dev/null && [[ -s $pdf ]]; then
    # Ghostscript's text device prints the text of the page; picture of it too.
    text=$(gs -q -dNOPAUSE -dBATCH -sDEVICE=txtwrite -sOutputFile=- "$pdf" 2>/dev/null | tr -s ' \t' '  ')
    gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r70 -sOutputFile="$pictures/12-pdf.png" "$pdf" 2>/dev/null || true
    for wanted in "Stornos" "$reason" "Kopf der Kette" "$head" "$cafe"; do
        grep -qF -- "$wanted" <<<"$text" && pass "the PDF reads \"$wanted\"" || fail "the PDF lacks \"$wanted\""
    done
else
    echo "   (no Ghostscript: the PDF's text is not read)"
fi

# The book in the database: the first operator's record, its counter-record by the
# second operator (on duty when the owner's PIN allowed it), the closing by him.
records=$(database "SELECT client1nummer || ' ' || client1kosten || ' ' || client1bediener || ' ' ||
    ifnull(client1storno, '-') || ' ' || ifnull(client1grund, '-') FROM client1 ORDER BY client1nummer;")
echo "   records of station 1:"
sed 's/^/     /' <<<"$records"
original=$(sed -n 1p <<<"$records")
counter=$(sed -n 2p <<<"$records")
read -r number fee who _ <<<"$original"
[[ $who == "$first" && $fee -gt 0 ]] && pass "record Nr. $number by $first, $fee ten-thousandths of a euro" ||
    fail "the period was not recorded by $first: $original"
[[ $counter == *" -$fee $second $number $reason" ]] && pass "counter-record of Nr. $number: -$fee by $second, \"$reason\"" ||
    fail "no counter-record of Nr. $number by $second: $counter"
[[ $(wc -l <<<"$records") -eq 2 ]] || fail "station 1 holds $(wc -l <<<"$records") records, not 2"
closings=$(database "SELECT Art || ' ' || Bediener FROM Abschluesse ORDER BY Nummer;" | paste -sd,)
[[ $closings == "Schicht $first,Tag $second" ]] && pass "closings: $closings" ||
    fail "closings \"$closings\", not the first operator's shift and the day by the second"

# No check of the chain, at the starts and the owner's whole check, found anything.
findings=$(database "SELECT Text FROM Vorfaelle;" 2>&1) || fail "no list of findings: $findings"
[[ -z $findings ]] && pass "the chain verified: nothing noted at the starts nor by \"Kette prüfen…\"" ||
    fail "noted for the owner: $findings"
grep -q . "$work/console.log" && { echo "   the console's error output:"; sed 's/^/     /' "$work/console.log" | head -20; }

elapsed=$(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "pictures in $pictures:"
ls -1 "$pictures" | sed 's/^/   /'
if ((failures)); then
    echo "$failures check(s) of the console's book failed (${elapsed} s)" >&2
    exit 1
fi
echo "the console's book: sign-in, shift change, void, closing printed to PDF, chain verified (${elapsed} s)"
