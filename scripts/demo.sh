#!/usr/bin/env bash
# Prepares a demo program directory in demo/ and starts the console and both
# stations from it.
#
# Without a display the programs run under a virtual X server instead, in a fresh
# program directory with a few usage records, and the script drives them (xdotool)
# to the states the operator's guide shows, saving a screenshot of each in
# demo/bilder/, and a second console serving six stations;
# `scripts/demo.sh --docs` saves them in docs/bilder/ for the guide.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
demo="$root/demo"

# Offline the stations cannot reach the time server; their messages are answered.
answer_time_messages() {
    local box
    for box in $(xdotool search --onlyvisible --name '^Systemzeit nicht gestellt$' 2>/dev/null); do
        xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
        sleep 0.3
    done
}

# The programs' positions are fixed in twips (15 to the pixel at 96 dpi); these are
# the middles of the controls the demo clicks, within the console's window content.
drive_programs() {
    local programs=$1 out=$2
    mkdir -p "$out"
    export HOME="$programs/home" XDG_CONFIG_HOME="$programs/home/.config" TMPDIR="$programs/tmp"
    mkdir -p "$HOME/.config/Kavo" "$TMPDIR"
    # A console window narrow enough to leave the stations' corner of the screen free.
    printf '[Settings]\nMainLeft=300\nMainTop=300\nMainWidth=10080\nMainHeight=3000\n' >"$HOME/.config/Kavo/Kavo.conf"

    "$programs/Kavo" 2>/dev/null &
    local console
    console=$(xdotool search --sync --onlyvisible --name '^Internetcafé Demo$' | head -1)
    sleep 1
    # The window's content starts below its menu bar.
    local menu=22
    click() { # <x twips> <y twips> in the console's content
        xdotool mousemove --window "$console" $(($1 / 15)) $(($2 / 15 + menu)) click 1
        sleep 0.3
    }
    import -window "$console" "$out/konsole-bereit.png"

    "$programs/Client1" 2>/dev/null &
    local client1=$!
    "$programs/Client2" 2>/dev/null &
    xdotool search --sync --onlyvisible --name '^Client2$' >/dev/null
    sleep 3
    answer_time_messages

    click 2467 847   # opt1_10
    click 607 1207   # cmdStart1: ten minutes on station 1
    click 5527 1207  # cmdStart2: open-ended on station 2
    sleep 4
    import -window root -crop 1280x400+0+0 +repage "$out/betrieb.png"

    xdotool mousemove --window "$console" 300 $((menu + 100))
    xdotool key alt+w o
    local options
    options=$(xdotool search --sync --onlyvisible --name '^Optionen$' | head -1)
    sleep 1
    import -window "$options" "$out/optionen.png"
    xdotool windowmove "$options" 2000 2000

    click 2400 3877  # the edit field of cmbMonat1
    xdotool key ctrl+a type 11
    xdotool key Return
    click 7320 3877  # cmbMonat2
    xdotool key ctrl+a type 12
    xdotool key Return
    sleep 1
    import -window "$console" "$out/statistik.png"

    # Station 1 frozen by its customer: the console flags it after 5 s.
    kill -STOP "$client1"
    sleep 8
    import -window "$console" "$out/alarm.png"
    kill -CONT "$client1"
    sleep 2

    # Station 2 stopped, station 1's period moved there (Platz wechseln, Alt+P and
    # its menu's one entry), a new one on station 1 paused.
    click 7807 1207  # cmdStop2
    xdotool mousemove --window "$console" 300 $((menu + 100))
    xdotool key alt+p
    sleep 1
    xdotool key Down Return
    sleep 1
    click 607 1207   # cmdStart1: open-ended
    sleep 2
    click 4357 2287  # cmdPause1
    sleep 2
    import -window "$console" "$out/nutzung-wechseln.png"

    # The takings of this month, then today's closing with both periods running.
    xdotool mousemove --window "$console" 300 $((menu + 100))
    xdotool key alt+a Down Down Return
    local window
    window=$(xdotool search --sync --onlyvisible --name '^Einnahmen$' | head -1)
    xdotool windowsize "$window" 900 480
    sleep 1
    import -window "$window" "$out/einnahmen.png"
    xdotool windowmove "$window" 2000 2000
    xdotool windowfocus --sync "$console" key ctrl+t
    window=$(xdotool search --sync --onlyvisible --name '^Tagesabschluss$' | head -1)
    xdotool windowsize "$window" 700 760
    sleep 1
    import -window "$window" "$out/tagesabschluss.png"

    # The owner sets his PIN and adds two operators; a third is being typed. Each
    # button's key clicks it a moment later, before the next field is reached.
    xdotool windowfocus --sync "$console" key alt+w b
    window=$(xdotool search --sync --onlyvisible --name '^Betreiber und Rechte$' | head -1)
    xdotool windowfocus --sync "$window" type 90210
    xdotool key alt+s
    sleep 1
    xdotool key Tab Tab type anna
    xdotool key Tab type 1234
    xdotool key alt+h
    sleep 1
    xdotool key shift+Tab type bert
    xdotool key Tab type 5678
    xdotool key alt+h
    sleep 1
    xdotool key shift+Tab type carla
    xdotool key Tab type 12
    sleep 0.5
    import -window "$window" "$out/betreiber-rechte.png"
    xdotool key alt+c
    sleep 1
    # Schicht wechseln asks who is on duty next; a wrong PIN is told.
    xdotool windowfocus --sync "$console" key alt+w s
    window=$(xdotool search --sync --onlyvisible --name '^Anmeldung$' | head -1)
    xdotool windowfocus --sync "$window" key alt+n type anna
    xdotool key alt+p type 0000
    xdotool key Return
    sleep 1
    import -window "$window" "$out/anmeldung.png"

    kill $(jobs -p) 2>/dev/null
    wait 2>/dev/null || true
}

# A console serving six stations, its panels in a grid, four of them in use.
drive_grid() {
    local programs=$1 out=$2
    export HOME="$programs/home" XDG_CONFIG_HOME="$programs/home/.config" TMPDIR="$programs/tmp"
    mkdir -p "$HOME" "$TMPDIR"
    "$programs/Kavo" 2>/dev/null &
    local console
    console=$(xdotool search --sync --onlyvisible --name '^Internetcafé Demo$' | head -1)
    local station
    for station in 1 2 3 4 5 6; do
        "$programs/Client$station" 2>/dev/null &
    done
    xdotool search --sync --onlyvisible --name '^Client6$' >/dev/null
    sleep 3
    answer_time_messages
    # The stations' windows stand over the console's corner; they are moved aside.
    local window
    for window in $(xdotool search --onlyvisible --name '^Client[0-9]+$' 2>/dev/null); do
        xdotool windowmove "$window" 2000 2000
    done

    # Three cells across, each a panel of 4920 twips with its statistics below.
    local menu=22
    cell_click() { # <station> <x twips> <y twips> within the station's cell
        local column=$((($1 - 1) % 3)) row=$((($1 - 1) / 3))
        xdotool mousemove --window "$console" $(((column * 4920 + $2) / 15)) \
            $(((row * 4440 + $3) / 15 + menu)) click 1
        sleep 0.3
    }
    cell_click 1 2467 847 # ten minutes
    cell_click 1 607 1207 # Start
    cell_click 2 607 1207 # open-ended
    cell_click 4 2467 847
    cell_click 4 607 1207
    cell_click 5 607 1207
    sleep 4
    import -window "$console" "$out/sechs-stationen.png"

    kill $(jobs -p) 2>/dev/null
    wait 2>/dev/null || true
}

# A record of station $1 stopped $2 days and $3 minutes ago, $4 minutes long, fee in
# ten-thousandths of a euro $5, number $6, as an INSERT for sqlcipher.
dated_record() {
    local station=$1 stop start
    stop=$(($(date +%s) - $2 * 86400 - $3 * 60))
    start=$((stop - $4 * 60))
    printf "INSERT INTO client%d (client%dstart, client%dende, client%ddauer, client%dkosten, client%ddatum, client%dvon, client%dbis, client%dbediener, client%dnummer) VALUES ('%s', '%s', '%s', %d, %d, '%s', '%s', 'kavo', %d);\n" \
        "$station" "$station" "$station" "$station" "$station" "$station" "$station" "$station" "$station" "$station" \
        "$(date -d "@$start" +%T)" "$(date -d "@$stop" +%T)" \
        "$(date -u -d "@$(($4 * 60))" +%T)" "$5" "$(date -d "@$stop" +%-m)" \
        "$(date -d "@$start" +%FT%T%:z)" "$(date -d "@$stop" +%FT%T%:z)" "$6"
}

# A fresh program directory with the demo settings and a few usage records of
# November and December on both stations, undated ones of an older version, and
# some of today and the days before.
prepare_screenshot_programs() {
    local programs=$1
    install -m 755 build/console/Kavo build/station/Client1 build/station/Client2 "$programs/"
    write_settings "$programs"
    build/tools/create_usage_db "$programs" kavo >/dev/null
    sqlcipher "$programs/kavo.mde" >/dev/null <<'SQL'
PRAGMA key = 'qrtdb52';
INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, client1datum,
    client1von, client1bis, client1bediener, client1nummer) VALUES
    ('10:02:10', '10:12:10', '00:10:00', 10000, 11, '2026-11-03T10:02:10+01:00', '2026-11-03T10:12:10+01:00', 'kavo', 1),
    ('15:20:00', '15:50:30', '00:30:30', 24400, 11, '2026-11-17T15:20:00+01:00', '2026-11-17T15:50:30+01:00', 'kavo', 2),
    ('18:00:00', '19:15:00', '01:15:00', 50000, 12, '2026-12-04T18:00:00+01:00', '2026-12-04T19:15:00+01:00', 'kavo', 3);
UPDATE client1stat SET Nutzungszeit = 115, Entgeld = 84400;
INSERT INTO client2 (client2start, client2ende, client2dauer, client2kosten, client2datum,
    client2von, client2bis, client2bediener, client2nummer) VALUES
    ('09:30:00', '09:45:00', '00:15:00', 15000, 11, '2026-11-05T09:30:00+01:00', '2026-11-05T09:45:00+01:00', 'kavo', 4),
    ('16:00:00', '17:00:00', '01:00:00', 40000, 12, '2026-12-02T16:00:00+01:00', '2026-12-02T17:00:00+01:00', 'kavo', 5);
UPDATE client2stat SET Nutzungszeit = 75, Entgeld = 55000;
INSERT INTO client1 (client1start, client1ende, client1dauer, client1kosten, client1datum)
    VALUES ('11:00:00', '11:30:00', '00:30:00', 24000, 10);
SQL
    {
        echo "PRAGMA key = 'qrtdb52';"
        local day number=6
        for day in 0 1 2 3 4 5 6; do
            dated_record 1 "$day" 200 40 32000 $((number++))
            dated_record 2 "$day" 120 $((15 + day * 5)) $((15000 + day * 5000)) $((number++))
            dated_record 1 "$day" 30 25 30000 $((number++))
        done
    } | sqlcipher "$programs/kavo.mde" >/dev/null
}

write_settings() {
    local dir=$1
    [[ -f "$dir/Kavo.ini" ]] ||
        printf '[Gebühr]\r\nEinheit 15min=1,50\r\nÜber 30min=1,20\r\nÜber 60min=1,00\r\n[DB]\r\nDB Name=kavo\r\n[Firma]\r\nFirmen Name=Internetcafé Demo\r\n[Statistik]\r\nStatistik=1\r\n' |
        iconv -f UTF-8 -t WINDOWS-1252 >"$dir/Kavo.ini"
    [[ -f "$dir/Client.ini" ]] || printf '[Server]\r\nIP=127.0.0.1\r\n' >"$dir/Client.ini"
}

# A second program directory whose console serves six stations, Client3 to Client6
# being Client1 under their names; a few records of December on each.
prepare_grid_programs() {
    local programs=$1
    install -m 755 build/console/Kavo build/station/Client1 build/station/Client2 "$programs/"
    local station
    for station in 3 4 5 6; do
        ln -s Client1 "$programs/Client$station"
    done
    write_settings "$programs"
    printf '[Stationen]\r\nAnzahl=6\r\n' >>"$programs/Kavo.ini"
    build/tools/create_usage_db "$programs" kavo 6 >/dev/null
    {
        echo "PRAGMA key = 'qrtdb52';"
        for station in 1 2 3 4 5 6; do
            local minutes=$((station * 20)) fee=$((station * 18000))
            printf "INSERT INTO client%d (client%dstart, client%dende, client%ddauer, client%dkosten, client%ddatum)" \
                "$station" "$station" "$station" "$station" "$station" "$station"
            printf " VALUES ('14:00:00', '14:%02d:00', '00:%02d:00', %d, 12);\n" "$minutes" "$minutes" "$fee"
            printf 'UPDATE client%dstat SET Nutzungszeit = %d, Entgeld = %d;\n' \
                "$station" "$minutes" "$fee"
        done
    } | sqlcipher "$programs/kavo.mde" >/dev/null
}

if [[ ${1:-} == --drive ]]; then
    # Inside the virtual X server (see below).
    drive_programs "$2" "$3"
    drive_grid "$4" "$3"
    exit 0
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] && [[ ${1:-} != --docs ]]; then
    mkdir -p "$demo"
    install -m 755 build/console/Kavo build/station/Client1 build/station/Client2 "$demo/"
    write_settings "$demo"
    [[ -f "$demo/kavo.mde" ]] || build/tools/create_usage_db "$demo" kavo
    "$demo/Kavo" &
    console=$!
    sleep 1
    "$demo/Client1" &
    "$demo/Client2" &
    wait "$console"
    kill $(jobs -p) 2>/dev/null || true
    exit 0
fi

out="$demo/bilder"
[[ ${1:-} == --docs ]] && out="$root/docs/bilder"
programs=$(mktemp -d)
grid_programs=$(mktemp -d)
trap 'rm -rf "$programs" "$grid_programs"' EXIT
prepare_screenshot_programs "$programs"
prepare_grid_programs "$grid_programs"
echo "Running under a virtual X server; screenshots in $out"
# Where it can, the demo runs without a network of its own, so that the stations'
# time request cannot set this machine's clock.
offline=()
if [[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null; then
    offline=(unshare --net bash -c 'ip link set lo up 2>/dev/null; exec "$@"' _)
fi
# A window that never shows must not keep the script waiting for ever.
timeout 180 "${offline[@]}" xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$0" --drive "$programs" "$out" \
    "$grid_programs"
ls -1 "$out"
