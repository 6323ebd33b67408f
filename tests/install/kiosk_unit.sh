#!/usr/bin/env bash
# The kiosk's units as systemd reads them: systemd-analyze verify finds no fault in an instance
# of the kiosk unit nor in the PIN checker's socket and service, and systemd-analyze security
# rates both services confined. The programs they start are looked for where the package puts
# them, so the units checked are copies that start the source's session script and the built
# checker instead.
#
# Usage: kiosk_unit.sh UNIT_TEMPLATE SESSION_SCRIPT PIN_CHECKER_SOCKET PIN_CHECKER_PROGRAM
set -euo pipefail
template=$1
session=$2
pin_socket=$3
checker=$4
source "$(dirname "$0")/checks.sh"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
    exit 77
fi

# A copy of the unit that starts the built program instead of the installed one.
copy_unit() {
    local source=$1 name=$2 installed=$3 built=$4
    sed "s|^ExecStart=$installed\$|ExecStart=$built|" "$source" > "$scratch/$name"
    grep -qxF "ExecStart=$built" "$scratch/$name" || fail "$name does not start $installed"
}
# systemd's own rating of a service's exposure: at most the given level.
check_exposure() {
    local name=$1 most=$2 security exposure
    security=$(cd "$scratch" && systemd-analyze security --offline=true --no-pager "$name" 2>&1) ||
        fail "systemd-analyze security $name: $security"
    exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
    if [ -z "$exposure" ]; then
        fail "systemd-analyze security gave no exposure level for $name: $security"
    elif ! awk -v e="$exposure" -v m="$most" 'BEGIN { exit !(e <= m) }'; then
        fail "$name's exposure level is $exposure, above $most"
    fi
    echo "$name: exposure level $exposure"
}

copy_unit "$template" quorvantis-kiosk@station.service \
    /usr/lib/quorvantis/quorvantis-kiosk-session "$session"
copy_unit "${pin_socket%.socket}.service" quorvantis-kiosk-pin.service \
    /usr/lib/quorvantis/kiosk-pin-checker "$checker"
cp "$pin_socket" "$scratch/"
(cd "$scratch" && systemd-analyze verify --man=no quorvantis-kiosk@station.service \
    quorvantis-kiosk-pin.socket quorvantis-kiosk-pin.service) > "$scratch/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$scratch/verify.log")"
[ -s "$scratch/verify.log" ] && fail "systemd-analyze warns: $(cat "$scratch/verify.log")"

# What the kiosk relies on, each a line that a careless edit could lose.
for setting in "User=%i" "PAMName=quorvantis-kiosk" "TTYPath=/dev/tty1" "Restart=always" \
    "RestartPreventExitStatus=4" "WantedBy=graphical.target"; do
    grep -qxF "$setting" "$template" || fail "the unit lacks $setting"
done
grep -qxF "SocketMode=0660" "$pin_socket" && grep -qxF "SocketGroup=quorvantis" "$pin_socket" ||
    fail "the PIN checker's socket is open to more than the group quorvantis"

# Confined: 6.0 is "MEDIUM"; the kiosk unit with no more than NoNewPrivileges= rates 9.0.
check_exposure quorvantis-kiosk@station.service 6.0
check_exposure quorvantis-kiosk-pin.service 2.0
exit $((failures > 0))
