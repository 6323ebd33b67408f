#!/usr/bin/env bash
# The package's maintainer scripts against a scratch root (DPKG_ROOT) and the stand-ins of
# fake_system.sh: the settings folder's layout, a configure that always ends configured, the
# upgrade from 1.0's layout, and a link a member of the group planted where the settings were,
# which must leave the file it leads to as it was.
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
[ "$(readlink "$root/var/lib/prometheus/node-exporter/quorvantis-kiosk.prom")" = \
    /var/lib/quorvantis/metrics/kiosk.prom ] || fail "node-exporter's link to the kiosk's file"

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

# 1.0 attacked: the group's link where its settings were is removed, never followed.
rm -rf "$etc"
mkdir -p "$etc"
ln -s "$secret" "$etc/Quorvantis.INI"
run preinst upgrade 1.0
run postinst configure 1.0
secret_untouched "an upgrade from 1.0 over a planted link"
[ -L "$etc/Quorvantis.INI" ] && fail "the planted link stays"
cmp -s "$settings" "$packaging/Quorvantis.INI" || fail "the settings are not the sample"

run postrm remove
[ -e "$root/var/lib/prometheus/node-exporter/quorvantis-station.prom" ] &&
    fail "remove leaves node-exporter's link to the station's metrics"

# Purge takes the settings and the PIN away.
mkdir -p "$root/var/lib/quorvantis-pin"
run postrm purge
[ -e "$etc" ] || [ -e "$root/var/lib/quorvantis" ] || [ -e "$root/var/lib/quorvantis-pin" ] &&
    fail "purge leaves the settings or the PIN"
exit $((failures > 0))
