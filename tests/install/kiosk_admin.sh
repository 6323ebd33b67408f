#!/usr/bin/env bash
# quorvantis-kiosk as an administrator uses it, against the stand-ins of fake_system.sh: what
# enable, disable and status find and change, one kiosk at a time, the kiosk's user and its
# groups, the SysRq keys, and set-pin with the built PIN helper.
#
# Usage: kiosk_admin.sh ADMIN_SCRIPT PIN_HASH_HELPER
set -euo pipefail
admin=$1
source "$(dirname "$0")/checks.sh"
source "$(dirname "$0")/fake_system.sh"
mkdir -p "$root/usr/lib/quorvantis" "$root/var/lib/quorvantis"
ln -s "$(readlink -f "$2")" "$root/usr/lib/quorvantis/kiosk-pin-hash"
pin_file="$root/var/lib/quorvantis/operator-pin"

kiosk() { QV_KIOSK_ROOT="$root" sh "$admin" "$@"; }
succeeds() { kiosk "$@" > "$scratch/out" 2>&1 || fail "$*: $(cat "$scratch/out")"; }
# Every kiosk status finds, enabled or loaded, each followed by ';'.
expect_status() {
    local got
    got=$(kiosk status | grep '^kiosk:' | tr '\n' ';')
    [ "$got" = "$1" ] || fail "status says '$got', not '$1'"
}
in_group() { user_field "$1" 4 | tr ',' '\n' | grep -qxF quorvantis; }

# A new user, made by enable: no login shell, in quorvantis; SysRq off, the machine's value kept.
succeeds enable fichador
[ "$(user_field fichador 3)" = /usr/sbin/nologin ] || fail "fichador has the shell $(user_field fichador 3)"
in_group fichador || fail "fichador is not in quorvantis"
expect_status "kiosk: fichador, starts at boot, inactive;"
[ "$(cat "$scratch/sysrq")" = 0 ] || fail "kernel.sysrq is $(cat "$scratch/sysrq") under the kiosk"
grep -qx 'kernel.sysrq = 0' "$root/etc/sysctl.d/60-quorvantis-kiosk.conf" ||
    fail "kernel.sysrq=0 is not kept for the next boot"
grep -qx 'NAutoVTs=0' "$root/etc/systemd/logind.conf.d/60-quorvantis-kiosk.conf" ||
    fail "other consoles keep their login prompts"

# Offline (an image being made, no running kernel to ask): the file for the next boot only.
succeeds disable
mv "$scratch/sysrq" "$scratch/sysrq.away"
succeeds enable fichador
grep -qx 'kernel.sysrq = 0' "$root/etc/sysctl.d/60-quorvantis-kiosk.conf" ||
    fail "enable without a running kernel does not keep kernel.sysrq=0 for the boot"
mv "$scratch/sysrq.away" "$scratch/sysrq"

# Only an ordinary account of its own, without a login shell, may run the kiosk: every other
# is refused with its reason, and nothing changes.
printf 'UID_MIN\t\t\t 1000\nUID_MAX\t\t\t60000\n' > "$root/etc/login.defs"
while read -r name uid shell groups reason; do
    add_user "$name" "$uid" "$shell" "$groups"
    kiosk enable "$name" > "$scratch/out" 2>&1 && fail "enable $name was accepted"
    grep -qF "$reason" "$scratch/out" || fail "enable $name: $(cat "$scratch/out")"
    [ "$(user_field "$name" 3)" = "$shell" ] || fail "enable $name took its shell away"
done <<'ACCOUNTS'
admin 1002 /usr/sbin/nologin admin,sudo,quorvantis also in the groups sudo
raiz 0 /usr/sbin/nologin root not run as root
quorvantis-pin 999 /usr/sbin/nologin quorvantis-pin PIN checker's user
mail 8 /usr/sbin/nologin mail system account
nobody 65534 /usr/sbin/nologin nogroup system account
discos 1004 /usr/sbin/nologin disk primary group is disk
ana 1007 /bin/bash ana login shell /bin/bash
ACCOUNTS
kiosk enable 'x;y' > "$scratch/out" 2>&1 && fail "enable 'x;y' was accepted"
expect_status "kiosk: fichador, starts at boot, inactive;"

# A second kiosk replaces the first, running, whose user leaves the group; --now starts it.
echo active > "$scratch/units/quorvantis-kiosk@fichador.service"
add_user puerta 1003 /usr/sbin/nologin puerta
succeeds enable puerta --now
expect_status "kiosk: puerta, starts at boot, active;"
in_group fichador && fail "fichador stays in quorvantis after another kiosk was enabled"

# After "Salir" the unit has stopped but still starts at boot: disable finds it, and takes
# everything back, the machine's SysRq value included.
echo inactive > "$scratch/units/quorvantis-kiosk@puerta.service"
expect_status "kiosk: puerta, starts at boot, inactive;"
succeeds disable
expect_status "kiosk: not enabled;"
in_group puerta && fail "puerta stays in quorvantis after disable"
[ "$(cat "$scratch/sysrq")" = 438 ] || fail "disable leaves kernel.sysrq at $(cat "$scratch/sysrq")"
[ -e "$root/etc/sysctl.d/60-quorvantis-kiosk.conf" ] && fail "disable leaves the SysRq setting"
[ -e "$root/etc/systemd/logind.conf.d/60-quorvantis-kiosk.conf" ] && fail "disable leaves the consoles without login prompts"

# A kiosk started by hand, never enabled, is found and stopped too.
echo active > "$scratch/units/quorvantis-kiosk@fichador.service"
expect_status "kiosk: fichador, not enabled, active;"
succeeds disable
expect_status "kiosk: not enabled;"

# set-pin: a weak PIN refused, a good one stored for the checker's user alone.
printf '123456\n123456\n' | kiosk set-pin > "$scratch/out" 2>&1 && fail "set-pin accepted 123456"
[ -e "$pin_file" ] && fail "a refused PIN left a PIN file"
printf '482915\n482915\n' | succeeds set-pin
grep -q '^pbkdf2-sha256\$' "$pin_file" || fail "the PIN file holds no hash"
[ "$(stat -c %a "$pin_file")" = 600 ] || fail "the PIN file has the mode $(stat -c %a "$pin_file")"
# (Given while it is a new file in root's folder, before it takes the PIN file's place.)
grep -qF "chown quorvantis-pin:quorvantis-pin $(readlink -f "$root/var/lib/quorvantis")/.operator-pin." \
    "$scratch/owners.log" || fail "the PIN file is not given to the checker's user"
grep -q 'operator PIN: set' <(kiosk status) || fail "status does not see the PIN"

# hash-pin: the stored form on standard output for a door's EFI partition, as set-pin would
# store it, and nothing stored; two different PINs refused.
stored=$(cat "$pin_file")
hashed=$(printf '590318\n590318\n' | kiosk hash-pin 2>/dev/null) || fail "hash-pin failed"
[[ $hashed == pbkdf2-sha256\$* && $hashed != "$stored" ]] || fail "hash-pin printed '$hashed'"
[ "$(cat "$pin_file")" = "$stored" ] || fail "hash-pin changed the stored PIN"
printf '590318\n590319\n' | kiosk hash-pin > "$scratch/out" 2>&1 && fail "hash-pin took two PINs"

# A lock-out at the door ends with unlock and with set-pin, each journalled, the checker stopped.
lockout="$root/var/lib/quorvantis-pin/lockout"
mkdir -p "$(dirname "$lockout")"
for ending in unlock set-pin; do
    printf 'failures 11\nlocked-until 99999999999\n' > "$lockout"
    grep -q '11 wrong tries' <(kiosk status) || fail "status does not tell the lock-out"
    printf '738152\n738152\n' | succeeds "$ending"
    [ -e "$lockout" ] && fail "$ending leaves the lock-out"
    grep -q "event=operator-pin-unlock by=root via=$ending" "$scratch/journal" ||
        fail "$ending is not journalled"
done
[ "$(cat "$scratch/units/quorvantis-kiosk-pin.service")" = inactive ] ||
    fail "the checker keeps the lock-out it holds"
rm -f "$pin_file"
grep -q 'not set; nobody opens the settings' <(kiosk status) || fail "status does not say no PIN is set"
exit $((failures > 0))
