#!/usr/bin/env bash
# Builds the two Debian packages from the build directory given, unpacks each into a
# temporary root and checks it: the files each must hold, the package relations, the
# desktop entries, and that the unpacked console starts against a fresh database and
# answers a station's announcement. Run as root on a machine without them, it also
# installs both packages, checks the file modes and that two operators share the
# console's files while neither can touch a program, upgrades unattended to a later
# version, removes and purges, and leaves the machine as it found it.
#   check_packages.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir>}" && pwd)
work=$(mktemp -d)
cleanups=()
clean_up() {
    local step
    for step in "${cleanups[@]}"; do eval "$step" >/dev/null 2>&1 || true; done
    rm -rf "$work"
}
trap clean_up EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

(cd "$build" && cpack -B "$work/cpack" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack did not make the packages" >&2
    exit 1
}

check_package() {
    local name=$1
    shift
    local deb
    deb=$(find "$work/cpack" -maxdepth 1 -name "${name}_*.deb" | head -1)
    if [[ -z $deb ]]; then
        fail "$name: no package made"
        return
    fi
    local root=$work/$name
    dpkg-deb -x "$deb" "$root"
    local file
    for file in "$@"; do
        case $file in
        +*) [[ -x $root/${file#+} && -f $root/${file#+} ]] || fail "$name: program ${file#+} missing" ;;
        *) [[ -f $root/$file ]] || fail "$name: file $file missing" ;;
        esac
    done
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in qt6-translations-l10n libqt6svg6 libqt6widgets6 qt6-qpa-plugins; do
        [[ $depends == *"$needed"* ]] || fail "$name: does not depend on $needed"
    done
    # Every plugin the programs load comes with a package they depend on, so that
    # they start where recommended packages were left out.
    local plugin owner
    for plugin in platforms/libqxcb.so iconengines/libqsvgicon.so imageformats/libqsvg.so; do
        owner=$(dpkg -S "*/qt6/plugins/$plugin" 2>/dev/null | head -1 | cut -d: -f1) || true
        [[ -z $owner || $depends == *"$owner"* ]] || fail "$name: $plugin comes with $owner, not in Depends"
    done
    # Unpacked rather than listed through a pipe: a reader that stops early would make
    # the writer fail now and then.
    local control=$work/$name.control
    dpkg-deb --control "$deb" "$control"
    [[ -e $control/conffiles ]] && fail "$name: ships conffiles"
    for script in postinst postrm; do
        [[ -f $control/$script ]] || fail "$name: no $script"
    done
    while IFS= read -r -d '' desktop; do
        desktop-file-validate "$desktop" || fail "$name: ${desktop#"$root"} is not a valid desktop entry"
    done < <(find "$root" -name '*.desktop' -print0)
}

check_package kavo-console +opt/kavo/Kavo +opt/kavo/create_usage_db usr/share/kavo-console/Kavo.ini \
    usr/share/applications/kavo.desktop usr/share/icons/hicolor/scalable/apps/kavo.svg
check_package kavo-station +opt/kavo-client/Client1 +opt/kavo-client/Client2 usr/share/kavo-station/Client.ini \
    opt/kavo-client/autostart/kavo-client1.desktop opt/kavo-client/autostart/kavo-client2.desktop \
    usr/share/icons/hicolor/scalable/apps/kavo-client.svg usr/lib/systemd/user/kavo-client@.service \
    usr/lib/systemd/system/kavo-station@.service
[[ -z $(find "$work/kavo-station/usr/share/applications" -name '*.desktop' 2>/dev/null) ]] ||
    fail "kavo-station: offers a station in the menu"
# Client1 and Client2 take their numbers from their names only where Client.ini names none.
! grep -qiE '^[[:space:]]*station[[:space:]]*=' "$work/kavo-station/usr/share/kavo-station/Client.ini" ||
    fail "kavo-station: the default Client.ini gives every PC one station number"
# The supervisor starts the installed station program again whenever it ends.
unit=$work/kavo-station/usr/lib/systemd/user/kavo-client@.service
if [[ -f $unit ]]; then
    grep -qx 'Restart=always' "$unit" || fail "kavo-station: the station unit does not restart the station"
    program=$(sed -n 's/^ExecStart=//p' "$unit")
    [[ -x $work/kavo-station${program/\%i/1} ]] || fail "kavo-station: the station unit starts $program, which is not installed"
fi
# The locked PC's station: a service of the system under its own account, started
# again at once and never given up, with no right beyond signalling the customers'
# processes.
unit=$work/kavo-station/usr/lib/systemd/system/kavo-station@.service
if [[ -f $unit ]]; then
    for line in User=kavo-station Restart=always StartLimitIntervalSec=0 NoNewPrivileges=yes \
        CapabilityBoundingSet=CAP_KILL AmbientCapabilities=CAP_KILL ProtectHome=read-only \
        Environment=DISPLAY=:0\ QT_QPA_PLATFORM=xcb; do
        grep -qx "$line" "$unit" || fail "kavo-station: the system unit lacks $line"
    done
    program=$(sed -n 's/^ExecStart=//p' "$unit")
    [[ -x $work/kavo-station${program/\%i/1} ]] || fail "kavo-station: the system unit starts $program, which is not installed"
    # Checked as the instance of station 1; the program is not installed on this
    # machine, which is all verify may find.
    if command -v systemd-analyze >/dev/null; then
        mkdir -p "$work/units"
        cp "$unit" "$work/units/kavo-station@1.service"
        verified=$(systemd-analyze verify "$work/units/kavo-station@1.service" 2>&1 |
            grep -v "Command $program is not executable\|${program/\%i/1} is not executable" || true)
        [[ -z $verified ]] || fail "kavo-station: systemd-analyze verify: $verified"
    fi
fi
grep -qx 'Wiederverbinden=10' "$work/kavo-station/usr/share/kavo-station/Client.ini" ||
    fail "kavo-station: the default Client.ini does not reconnect by itself"
console_deb=$(find "$work/cpack" -maxdepth 1 -name 'kavo-console_*.deb' | head -1)
[[ $(dpkg-deb -f "$console_deb" Depends) == *"libsqlcipher0 (<< 4)"* ]] ||
    fail "kavo-console: does not say which SQLCipher it needs"

# The console from the unpacked package: the default Kavo.ini, copied beside it as
# postinst would, names the database that the packaged tool makes there. It answers a
# station's announcement only once its whole start-up has run. Its settings and lock
# stay inside the temporary folder, and where possible it runs in a network of its
# own, so no other program's port is met. Given a user, it runs as that user on the
# installed console's data folder.
run_console() {
    local dir=$1 data=${2:-$1} user=${3:-}
    local as=() home=$work/home
    if [[ -n $user ]]; then
        as=(runuser -u "$user" --)
        home=$work/home-$user
    fi
    if [[ ! -e $data/kavo.mde ]]; then
        "${as[@]}" "$dir/create_usage_db" "$data" kavo >/dev/null || { echo "create_usage_db failed"; return 1; }
    fi
    "${as[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run" TMPDIR="$home" \
        QT_QPA_PLATFORM=offscreen "$dir/Kavo" >"$work/console.log" 2>&1 &
    local console=$!
    local reply=
    for _ in $(seq 100); do
        if exec 3<>/dev/tcp/127.0.0.1/12000; then
            printf 'Startup1' >&3
            IFS= read -r -t 10 -n 5 reply <&3 || true
            exec 3<&-
            break
        fi 2>/dev/null
        kill -0 "$console" 2>/dev/null || break
        sleep 0.1
    done
    kill "$console" 2>/dev/null
    wait "$console" 2>/dev/null
    if [[ $reply != Stop1 ]]; then
        echo "the unpacked console did not answer (reply '$reply'):"
        cat "$work/console.log"
        return 1
    fi
}
mkdir -p "$work/home/run"
chmod 700 "$work/home/run"
export -f run_console
export work
in_own_network=false
[[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null && in_own_network=true
run_console_here() {
    if $in_own_network; then
        unshare --net bash -c 'ip link set lo up && run_console "$@"' _ "$@"
    else
        run_console "$@"
    fi
}
cp "$work/kavo-console/usr/share/kavo-console/Kavo.ini" "$work/kavo-console/opt/kavo/"
run_console_here "$work/kavo-console/opt/kavo" || fail "kavo-console: the unpacked console does not run"

if [[ $(id -u) -eq 0 ]] && $in_own_network && command -v apt-get >/dev/null; then
    source "$(dirname "$0")/check_installed.sh"
fi

if ((failures)); then
    echo "$failures package check(s) failed" >&2
    exit 1
fi
echo "packages: kavo-console and kavo-station checked"
