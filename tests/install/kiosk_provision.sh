#!/usr/bin/env bash
# The door's settings from the EFI system partition, against the stand-ins of fake_system.sh:
# a table of good and broken folders, each applied to a fresh scratch root. A broken file
# refuses the whole folder (nothing applied, the notice started); a good folder lands with the
# owners and modes the package gives, and is applied again only when it changes.
#
# Usage: kiosk_provision.sh PROVISION_SCRIPT
set -euo pipefail
provision=$1
source "$(dirname "$0")/checks.sh"
source "$(dirname "$0")/fake_system.sh"

# systemctl start --no-block UNIT, as the refusal calls it: the units started, logged.
fake systemctl <<'FAKE'
echo "$*" >> "$FAKE_STATE/started.log"
FAKE
fake quorvantis-kiosk <<'FAKE'
echo "$*" >> "$FAKE_STATE/kiosk.log"
FAKE

hash='pbkdf2-sha256$100000$00112233445566778899aabbccddeeff$'$(printf '%064d' 7)
good_ini=$'[Configuracion]\nHost=http://10.0.0.5/QuorvantisService.asmx\n; a comment\n\n[LiveScan]\nPathLiveScan=/opt/livescan/\n'

# A scratch root as the image leaves it: the package's folders, the settings the package made,
# one kiosk enabled, and the door's folder holding what each row writes.
fresh_root() {
    rm -rf "$root" "$scratch/started.log" "$scratch/owners.log"
    mkdir -p "$root/efi/quorvantis" "$root/etc/quorvantis/settings" "$root/var/lib/quorvantis" \
        "$root/etc/systemd/system/graphical.target.wants"
    echo "[Configuracion]" > "$root/etc/quorvantis/settings/Quorvantis.INI"
    echo station > "$root/etc/hostname"
    ln -s /usr/lib/systemd/system/quorvantis-kiosk@.service \
        "$root/etc/systemd/system/graphical.target.wants/quorvantis-kiosk@fichador.service"
}
door() { printf '%s' "$2" > "$root/efi/quorvantis/$1"; }
run_provision() { QV_KIOSK_ROOT="$root" sh "$provision" > "$scratch/out" 2>&1; }

# ---- refused: one broken file, beside good ones, and nothing at all is applied --------------
while IFS='|' read -r name file content; do
    fresh_root
    door Quorvantis.INI "$good_ini"
    door hostname $'puerta-3\n'
    door "$file" "$(printf '%b' "$content")"
    run_provision && fail "$name: accepted"
    grep -q "<3>.*refused .*$file" "$scratch/out" || fail "$name: no journal line names $file"
    [ "$(cat "$root/etc/quorvantis/settings/Quorvantis.INI" "$root/etc/hostname")" = \
        $'[Configuracion]\nstation' ] && [ ! -e "$root/var/lib/quorvantis/operator-pin" ] ||
        fail "$name: the settings, the host name or the PIN were applied"
    grep -qx "start --no-block quorvantis-kiosk-out-of-service@fichador.service" \
        "$scratch/started.log" 2>/dev/null || fail "$name: the notice was not started"
done <<'ROWS'
a line that is no INI|Quorvantis.INI|[Configuracion]\nHost=x\nthis is not a setting\n
a key before any section|Quorvantis.INI|Host=http://10.0.0.5/\n[Configuracion]\n
an unclosed section|Quorvantis.INI|[Configuracion\nHost=x\n
settings not UTF-8|Quorvantis.INI|[Configuracion]\nNombre=Estaci\xf3n\n
the plain PIN instead of its hash|operator-pin|482915\n
two PIN hashes|operator-pin|pbkdf2-sha256$1$00112233445566778899$0000000000000000000000000000000000000000000000000000000000000000\npbkdf2-sha256$1$00112233445566778899$0000000000000000000000000000000000000000000000000000000000000000\n
a host name with a space|hostname|puerta 3\n
a host name with an underscore|hostname|puerta_3\n
a host name ending in a hyphen|hostname|puerta-\n
an empty host name|hostname|\n
a journal target that is no web address|journal-upload|ftp://collector.example/\n
a journal target with a command in it|journal-upload|https://collector.example/;reboot\n
ROWS
# So is a folder in place of a file.
fresh_root
mkdir "$root/efi/quorvantis/operator-pin"
run_provision && fail "a folder named operator-pin was accepted"

# ---- applied: the settings, the PIN's hash and the name, with the package's owners ----------
fresh_root
door Quorvantis.INI $'\xef\xbb\xbf'"${good_ini//$'\n'/$'\r\n'}"
door operator-pin "$hash"$'\r\n'
door hostname $'  Puerta-3.planta1\n'
door journal-upload $'http://10.0.0.9:19532\n'
run_provision || fail "a good folder was refused: $(cat "$scratch/out")"
grep -qx "forward-journal http://10.0.0.9:19532" "$scratch/kiosk.log" ||
    fail "the journal was not pointed at the collector"
settings=$root/etc/quorvantis/settings/Quorvantis.INI
[ "$(tail -c +4 "$settings")" = "${good_ini%$'\n'}" ] || fail "the settings differ: $(cat "$settings")"
[ "$(stat -c %a "$settings")" = 664 ] || fail "the settings' mode is $(stat -c %a "$settings")"
grep -qx "chown root:quorvantis $root/etc/quorvantis/.provision.*" "$scratch/owners.log" ||
    fail "the settings were not given to the group quorvantis"
pin=$root/var/lib/quorvantis/operator-pin
[ "$(cat "$pin")" = "$hash" ] || fail "the PIN's hash differs: $(cat "$pin")"
[ "$(stat -c %a "$pin")" = 600 ] || fail "the PIN's hash has the mode $(stat -c %a "$pin")"
grep -qx "chown quorvantis-pin:quorvantis-pin $root/var/lib/quorvantis/.operator-pin.*" \
    "$scratch/owners.log" || fail "the PIN's hash was not given to the checker"
[ "$(cat "$root/etc/hostname")" = Puerta-3.planta1 ] || fail "the host name is $(cat "$root/etc/hostname")"
grep -q "<6>.*applied the host name Puerta-3.planta1" "$scratch/out" || fail "no journal line of what was applied"
[ ! -e "$scratch/started.log" ] || fail "a good folder started $(cat "$scratch/started.log")"

# What the operator changes at the door lasts until the technician changes the file.
echo "[Configuracion]" > "$settings"
run_provision || fail "the second boot was refused"
[ "$(cat "$settings")" = "[Configuracion]" ] || fail "the door's own settings were overwritten"
door Quorvantis.INI "$good_ini"
run_provision || fail "the changed settings were refused"
[ "$(cat "$settings")" = "${good_ini%$'\n'}" ] || fail "the changed settings were not applied"

# No folder at all: nothing to do, and no failure.
rm -rf "$root/efi/quorvantis"
run_provision || fail "a machine without the folder failed: $(cat "$scratch/out")"

exit $((failures > 0))
