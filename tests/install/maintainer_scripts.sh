#!/usr/bin/env bash
# The package's maintainer scripts against a scratch root (DPKG_ROOT) and the stand-ins of
# fake_system.sh: the settings folder's layout, a configure that always ends configured, the
# upgrade from 1.0's layout, whatever shape a member of the group left where the settings were
# (which must leave any file it leads to as it was), the PIN's hash and a purge raced by a member.
#
# Usage: maintainer_scripts.sh PACKAGING_FOLDER
set -euo pipefail
packaging=$1
source "$(dirname "$0")/checks.sh"
source "$(dirname "$0")/fake_system.sh"
add_user quorvantis-pin 999 /usr/sbin/nologin quorvantis-pin
mkdir -p "$root/usr/share/quorvantis"
cp "$packaging/Quorvantis.INI" "$root/usr/share/quorvantis/Quorvantis.INI"
mkdir -p "$root/usr/lib/quorvantis"
cp "$packaging/kiosk/quorvantis-kiosk-metrics" "$root/usr/lib/quorvantis/"
etc="$root/etc/quorvantis"
settings="$etc/settings/Quorvantis.INI"

run() {
    DPKG_ROOT="$root" sh "$packaging/$1" "${@:2}" > "$scratch/out" 2>&1 ||
        fail "$1 $2: $(cat "$scratch/out")"
}
mode() { stat -c %a "$@" | paste -sd ' '; }
# The stand-in for root's secrets: a file the scripts must never change.
secret="$scratch/shadow"
echo "root:*:19000::::::" > "$secret"
chmod 0600 "$secret"
secret_untouched() {
    [ "$(mode "$secret")" = 600 ] || fail "$1: the linked file's mode is now $(mode "$secret")"
    grep -qF "$(readlink -f "$secret")" "$scratch/owners.log" 2>/dev/null &&
        fail "$1: chown followed the link to the linked file"
    grep -qx 'root:\*:19000::::::' "$secret" || fail "$1: the linked file was written"
}

# A first configure: /etc/quorvantis root's, the settings folder and file the group's, made
# from the sample.
run preinst install
run postinst configure
[ "$(mode "$etc" "$etc/settings" "$settings")" = "755 2775 664" ] ||
    fail "the modes of /etc/quorvantis, its settings folder and file: $(mode "$etc" "$etc/settings" "$settings")"
cmp -s "$settings" "$packaging/Quorvantis.INI" || fail "the settings file is not the sample"
# (Given while it is still a new folder that only root can reach, before it takes its place.)
grep -qF "chown root:quorvantis $(readlink -f "$etc")/.settings." "$scratch/owners.log" ||
    fail "the settings folder is not given to the group"

# The metrics: the group's folder, made whole before it was theirs, with the kiosk's first word,
# linked from node-exporter's textfile folder.
metrics="$root/var/lib/quorvantis/metrics"
[ "$(mode "$metrics" "$metrics/station.prom")" = "2775 644" ] ||
    fail "the modes of the metrics folder and file: $(mode "$metrics" "$metrics/station.prom")"
grep -qF "chown root:quorvantis $(readlink -f "$root/var/lib/quorvantis")/.metrics." \
    "$scratch/owners.log" || fail "the metrics folder is not given to the group"
grep -qx "quorvantis_station_up 0" "$metrics/station.prom" || fail "a new door reads as up"
[ "$(readlink "$root/var/lib/prometheus/node-exporter/quorvantis-station.prom")" = \
    /var/lib/quorvantis/metrics/station.prom ] || fail "node-exporter's link to the station's file"
grep -qx "quorvantis_kiosk_out_of_service 0" "$root/var/lib/prometheus/node-exporter/quorvantis-kiosk.prom" ||
    fail "the notice's file is not root's own in node-exporter's folder"

# The attack: a member of the group replaces the settings file with a link, then the package
# is configured again (a reinstall, an upgrade, dpkg --configure).
ln -sfn "$secret" "$settings"
run postinst configure
secret_untouched "configure over a planted link"
[ -L "$settings" ] || fail "configure replaced what the group put in its own folder"

# The operator deleted the settings file: configure ends configured and leaves it deleted
# (the station runs on its defaults, and the dialog writes a new file).
rm -f "$settings"
run postinst configure
[ -e "$settings" ] && fail "configure brought back a deleted settings file"

# An upgrade from 1.0: /etc/quorvantis writable by the group, the settings a configuration
# file there, edited on site. They move into the settings folder.
rm -rf "$etc"
mkdir -p "$etc"
chmod 2775 "$etc"
printf '[Config]\nHost=http://fichadas.example/QuorvantisService.asmx\n' > "$etc/Quorvantis.INI"
run preinst upgrade 1.0
[ "$(mode "$etc")" = 755 ] || fail "preinst leaves /etc/quorvantis writable by the group"
run postinst configure 1.0
grep -q 'fichadas.example' "$settings" || fail "1.0's edited settings were not carried over"
[ -e "$etc/Quorvantis.INI" ] && fail "1.0's settings file stays where the group could replace it"

# Every shape a member could leave at 1.0's settings file or at the settings folder: configure
# ends configured, follows nothing, and the settings are a folder of root's making.
plant() {
    case "$1" in
    folder) mkdir -p "$2" && echo x > "$2/inside" ;;
    hard-link) ln "$secret" "$2" ;;
    fifo) mkfifo "$2" ;;
    link) ln -s "$secret" "$2" ;;
    esac
}
for place in Quorvantis.INI settings; do
    for shape in folder hard-link fifo link; do
        rm -rf "$etc"
        mkdir -p "$etc"
        plant "$shape" "$etc/$place"
        run preinst upgrade 1.0
        run postinst configure 1.0
        secret_untouched "a $shape at $place"
        [ -d "$etc/settings" ] && [ ! -L "$etc/settings" ] ||
            fail "a $shape at $place: no settings folder"
        # (A folder there is taken as root's own when these tests run as root.)
        [ "$place/$shape" = settings/folder ] || cmp -s "$settings" "$packaging/Quorvantis.INI" ||
            fail "a $shape at $place: not the sample"
        [ -e "$etc/Quorvantis.INI" ] || [ -L "$etc/Quorvantis.INI" ] &&
            fail "a $shape at $place: 1.0's place still holds something"
    done
done

# The PIN's hash: the one 1.0 let the group read is removed, and said so; a later one ends
# readable by the checker's user alone.
pin="$root/var/lib/quorvantis/operator-pin"
mkdir -p "$(dirname "$pin")"
install -m 0640 /dev/stdin "$pin" <<< 'pbkdf2-sha256$600000$00$00'
run postinst configure 1.0
[ -e "$pin" ] && fail "the hash 1.0 let the group read is kept"
grep -q 'quorvantis-kiosk set-pin' "$scratch/out" || fail "the upgrade does not say to set a PIN"
install -m 0640 /dev/stdin "$pin" <<< 'pbkdf2-sha256$600000$00$00'
run postinst configure 1.1
[ "$(mode "$pin")" = 600 ] || fail "the PIN hash has the mode $(mode "$pin")"
grep -qF "chown quorvantis-pin:quorvantis-pin $(readlink -f "$pin")" "$scratch/owners.log" ||
    fail "the PIN hash is not given to the checker's user"

run postrm remove
[ -e "$root/var/lib/prometheus/node-exporter/quorvantis-station.prom" ] &&
    fail "remove leaves node-exporter's link to the station's metrics"

# Purge takes the settings and the PIN away, though a member keeps adding entries meanwhile.
mkdir -p "$etc/settings/sub"
( for i in $(seq 2000); do : 2>/dev/null > "$etc/settings/sub/$i" || true; done ) &
filler=$!
run postrm purge
kill "$filler" 2>/dev/null || true
wait "$filler" 2>/dev/null || true
mkdir -p "$root/var/lib/quorvantis-pin"
run postrm purge
[ -e "$etc" ] || [ -e "$root/var/lib/quorvantis" ] || [ -e "$root/var/lib/quorvantis-pin" ] &&
    fail "purge leaves the settings or the PIN"
exit $((failures > 0))
