# The installation checks of check_packages.sh, read by it when it runs as root with
# networks of its own at hand: both packages are installed on this machine, used by
# two operators, upgraded unattended, removed and purged; everything they and the
# checks leave is taken away again. Skipped where Kavo is or was installed here.
if dpkg -s kavo-console >/dev/null 2>&1 || dpkg -s kavo-station >/dev/null 2>&1 ||
    [[ -e /opt/kavo || -e /opt/kavo-client || -e /var/opt/kavo ]]; then
    echo "packages: Kavo is installed on this machine, the installation is not checked"
    return 0
fi
station_deb=$(find "$work/cpack" -maxdepth 1 -name 'kavo-station_*.deb' | head -1)
operators=(kavo-check-a kavo-check-b)
getent group kavo >/dev/null && group_was_there=true || group_was_there=false
getent passwd kavo-station >/dev/null && station_account_was_there=true || station_account_was_there=false
cleanups+=("dpkg --purge kavo-console kavo-station" "rm -rf /var/opt/kavo /opt/kavo /opt/kavo-client"
    "rm -f /etc/xdg/autostart/kavo-client1.desktop" "userdel ${operators[0]}" "userdel ${operators[1]}")
$group_was_there || cleanups+=("groupdel kavo")
$station_account_was_there || cleanups+=("userdel kavo-station" "groupdel kavo-station")

# As apt runs them unattended: no terminal, no questions.
install_packages() {
    DEBIAN_FRONTEND=noninteractive setsid apt-get install -y -q "$@" </dev/null \
        >>"$work/apt.log" 2>&1
}
as() {
    local user=$1
    shift
    runuser -u "$user" -- sh -c "umask 007; $*" 2>/dev/null
}
mode_of() { stat -c '%a %U %G' "$1" 2>/dev/null; }

install_packages "$console_deb" "$station_deb" || { cat "$work/apt.log" >&2; fail "install failed"; return 0; }
chmod 755 "$work"
for operator in "${operators[@]}"; do
    useradd --system --no-create-home --shell /usr/sbin/nologin --groups kavo "$operator"
    install -d -o "$operator" -m 700 "$work/home-$operator" "$work/home-$operator/run"
done
a=${operators[0]} b=${operators[1]}

[[ $(mode_of /opt/kavo) == "755 root root" ]] || fail "installed: /opt/kavo is $(mode_of /opt/kavo)"
[[ $(mode_of /var/opt/kavo) == "2770 root kavo" ]] || fail "installed: /var/opt/kavo is $(mode_of /var/opt/kavo)"
[[ $(mode_of /var/opt/kavo/Kavo.ini) == "660 root kavo" ]] || fail "installed: Kavo.ini is $(mode_of /var/opt/kavo/Kavo.ini)"
[[ -f /opt/kavo-client/Client.ini ]] || fail "installed: no Client.ini"
# The locked station's account, its unit, and Client.ini for it and root alone.
station_uid=$(getent passwd kavo-station | cut -d: -f3)
[[ -n $station_uid && $station_uid -lt 1000 ]] || fail "installed: no system account kavo-station ($station_uid)"
[[ $(mode_of /opt/kavo-client/Client.ini) == "640 root kavo-station" ]] ||
    fail "installed: Client.ini is $(mode_of /opt/kavo-client/Client.ini)"
runuser -u nobody -- cat /opt/kavo-client/Client.ini >/dev/null 2>&1 && fail "installed: anyone reads Client.ini"
runuser -u kavo-station -- cat /opt/kavo-client/Client.ini >/dev/null 2>&1 || fail "installed: the station's account cannot read Client.ini"
[[ $(mode_of /usr/lib/systemd/system/kavo-station@.service) == "644 root root" ]] ||
    fail "installed: the station's unit is $(mode_of /usr/lib/systemd/system/kavo-station@.service)"
as "$a" mv /opt/kavo/Kavo /opt/kavo/Kavo.alt && fail "installed: an operator renames the console"
as "$a" "cp /bin/true /opt/kavo/create_usage_db" && fail "installed: an operator replaces create_usage_db"
as "$a" mv /opt/kavo /opt/kavo.alt && fail "installed: an operator renames the program folder"

run_console_here /opt/kavo /var/opt/kavo "$a" || fail "installed: the first operator cannot run the console"
[[ -f /var/opt/kavo/kavo.mde && ! -e /opt/kavo/kavo.mde ]] || fail "installed: the database is not in /var/opt/kavo"
as "$a" "printf '{\"perioden\": []}' >/var/opt/kavo/kavo.nachtrag" || fail "installed: the first operator cannot write in /var/opt/kavo"
run_console_here /opt/kavo /var/opt/kavo "$b" || fail "installed: a second operator cannot run the console"
as "$b" "echo >/var/opt/kavo/neu && mv /var/opt/kavo/neu /var/opt/kavo/kavo.nachtrag && rm /var/opt/kavo/kavo.nachtrag" ||
    fail "installed: a second operator cannot replace the first one's side file"
wrong=$(find /var/opt/kavo -type f \( ! -perm 660 -o ! -group kavo \) -printf '%p %m %g\n')
[[ -z $wrong ]] || fail "installed: files open to others: $wrong"
runuser -u nobody -- cat /var/opt/kavo/kavo.mde >/dev/null 2>&1 && fail "installed: anyone reads the database"

# The café's own settings survive an unattended upgrade to a later version.
sed -i 's/^Firmen Name=.*/Firmen Name=Café Probe/' /var/opt/kavo/Kavo.ini
sed -i 's/^IP=.*/IP=10.0.0.7/' /opt/kavo-client/Client.ini
cp /var/opt/kavo/Kavo.ini "$work/Kavo.ini.changed"
cp /opt/kavo-client/Client.ini "$work/Client.ini.changed"
later=$(dpkg-deb -f "$console_deb" Version)+1
for deb in "$console_deb" "$station_deb"; do
    dpkg-deb -R "$deb" "$work/later"
    sed -i "s/^Version: .*/Version: $later/" "$work/later/DEBIAN/control"
    dpkg-deb -b "$work/later" "$work/later-${deb##*/}" >/dev/null
    rm -rf "$work/later"
done
install_packages "$work"/later-kavo-console_*.deb "$work"/later-kavo-station_*.deb ||
    { cat "$work/apt.log" >&2; fail "unattended upgrade failed"; }
[[ $(dpkg-query -W -f='${Version} ${db:Status-Abbrev}' kavo-console) == "$later ii " ]] ||
    fail "upgrade: kavo-console is $(dpkg-query -W -f='${Version} ${db:Status-Abbrev}' kavo-console)"
cmp -s /var/opt/kavo/Kavo.ini "$work/Kavo.ini.changed" || fail "upgrade: the café's Kavo.ini was changed"
cmp -s /opt/kavo-client/Client.ini "$work/Client.ini.changed" || fail "upgrade: the café's Client.ini was changed"

# Removing and purging keep the records and take away what would be left dangling.
linked=false
if [[ -d /etc/xdg/autostart ]]; then
    ln -s /opt/kavo-client/autostart/kavo-client1.desktop /etc/xdg/autostart/ && linked=true
fi
DEBIAN_FRONTEND=noninteractive dpkg --remove kavo-console kavo-station >"$work/remove.log" 2>&1 ||
    fail "remove failed"
[[ -f /var/opt/kavo/kavo.mde && -f /var/opt/kavo/Kavo.ini ]] || fail "remove: the records are gone"
[[ ! -e /opt/kavo/Kavo ]] || fail "remove: the console is left"
! $linked || [[ ! -L /etc/xdg/autostart/kavo-client1.desktop ]] || fail "remove: a dangling autostart link is left"
DEBIAN_FRONTEND=noninteractive dpkg --purge kavo-console kavo-station >"$work/purge.log" 2>&1 || fail "purge failed"
[[ -f /var/opt/kavo/kavo.mde && -f /var/opt/kavo/Kavo.ini ]] || fail "purge: the records are gone"
[[ ! -e /opt/kavo-client/Client.ini ]] || fail "purge: Client.ini is left"
grep -q "/var/opt/kavo bleibt erhalten" "$work/purge.log" || fail "purge: does not say what it keeps"
$station_account_was_there || ! getent passwd kavo-station >/dev/null || fail "purge: the account kavo-station is left"
echo "packages: installed, used by two operators, upgraded unattended to $later, removed and purged"
