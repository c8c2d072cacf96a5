#!/usr/bin/env bash
# Prepares a demo program directory in demo/ and starts the console and both
# stations from it. Without a display the programs run under a virtual X server
# and a screenshot of the screen is saved as demo/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
demo="$root/demo"
mkdir -p "$demo"

install -m 755 build/console/Kavo "$demo/Kavo"
for station in Client1 Client2; do
    [[ -x "build/station/$station" ]] && install -m 755 "build/station/$station" "$demo/$station"
done

if [[ ! -f "$demo/Kavo.ini" ]]; then
    printf '[Gebühr]\r\nEinheit 15min=1,50\r\nÜber 30min=1,20\r\nÜber 60min=1,00\r\n[DB]\r\nDB Name=kavo\r\n[Firma]\r\nFirmen Name=Internetcafé Demo\r\n[Statistik]\r\nStatistik=1\r\n' \
        | iconv -f UTF-8 -t WINDOWS-1252 > "$demo/Kavo.ini"
fi
if [[ -x build/tools/create_usage_db && ! -f "$demo/kavo.mde" ]]; then
    build/tools/create_usage_db "$demo" kavo
fi
[[ -f "$demo/Client.ini" ]] || printf '[Server]\r\nIP=127.0.0.1\r\n' > "$demo/Client.ini"

run_programs() {
    "$demo/Kavo" &
    local console=$!
    sleep 1
    for station in Client1 Client2; do
        [[ -x "$demo/$station" ]] && "$demo/$station" &
    done
    wait "$console"
}

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    run_programs
    kill $(jobs -p) 2>/dev/null || true
else
    echo "No display: running under a virtual X server, screenshot in $demo/screenshot.png"
    # Where it can, the headless check runs without a network of its own, so that
    # the stations' time request cannot set this machine's clock.
    offline=()
    if [[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null; then
        offline=(unshare --net bash -c 'ip link set lo up 2>/dev/null; exec "$@"' _)
    fi
    "${offline[@]}" xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        demo="$1"
        "$demo/Kavo" & console=$!
        sleep 2
        "$demo/Client1" & "$demo/Client2" &
        sleep 3
        import -window root "$demo/screenshot.png"
        kill $(jobs -p) 2>/dev/null
        wait 2>/dev/null
        true' _ "$demo"
fi
