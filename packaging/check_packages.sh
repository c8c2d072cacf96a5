#!/usr/bin/env bash
# Builds the two Debian packages from the build directory given, unpacks each into a
# temporary root and checks it: the files each must hold, the package relations, the
# desktop entries, and that the unpacked console starts against a fresh database and
# answers a station's announcement.
#   check_packages.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir>}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
    for needed in qt6-translations-l10n libqt6svg6 libqt6widgets6; do
        [[ $depends == *"$needed"* ]] || fail "$name: does not depend on $needed"
    done
    while IFS= read -r -d '' desktop; do
        desktop-file-validate "$desktop" || fail "$name: ${desktop#"$root"} is not a valid desktop entry"
    done < <(find "$root" -name '*.desktop' -print0)
}

check_package kavo-console +opt/kavo/Kavo +opt/kavo/create_usage_db opt/kavo/Kavo.ini \
    usr/share/applications/kavo.desktop usr/share/icons/hicolor/scalable/apps/kavo.svg
check_package kavo-station +opt/kavo-client/Client1 +opt/kavo-client/Client2 opt/kavo-client/Client.ini \
    usr/share/applications/kavo-client1.desktop usr/share/applications/kavo-client2.desktop \
    opt/kavo-client/autostart/kavo-client1.desktop opt/kavo-client/autostart/kavo-client2.desktop \
    usr/share/icons/hicolor/scalable/apps/kavo-client.svg

console_deb=$(find "$work/cpack" -maxdepth 1 -name 'kavo-console_*.deb' | head -1)
if [[ -n $console_deb ]]; then
    dpkg-deb --ctrl-tarfile "$console_deb" | tar -t | grep -qx './postinst' || fail "kavo-console: no postinst"
    dpkg-deb --ctrl-tarfile "$console_deb" | tar -xO ./conffiles | grep -qx '/opt/kavo/Kavo.ini' ||
        fail "kavo-console: Kavo.ini is not a conffile"
fi

# The console from the unpacked package: its own Kavo.ini names the database that the
# packaged tool makes beside it. It answers a station's announcement only once its
# whole start-up has run. Its settings and lock stay inside the temporary folder, and
# where possible it runs in a network of its own, so no other program's port is met.
run_console() {
    local dir=$1
    "$dir/create_usage_db" "$dir" kavo >/dev/null || { echo "create_usage_db failed"; return 1; }
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp \
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
mkdir -p "$work/home" "$work/run" "$work/tmp"
chmod 700 "$work/run"
export -f run_console
export work
if [[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null; then
    unshare --net bash -c 'ip link set lo up && run_console "$1"' _ "$work/kavo-console/opt/kavo" ||
        fail "kavo-console: the unpacked console does not run"
else
    run_console "$work/kavo-console/opt/kavo" || fail "kavo-console: the unpacked console does not run"
fi

if ((failures)); then
    echo "$failures package check(s) failed" >&2
    exit 1
fi
echo "packages: kavo-console and kavo-station checked"
