#!/usr/bin/env bash
# The kiosk's units as systemd reads them: systemd-analyze verify finds no fault in an instance
# of the kiosk unit, of its out-of-service unit, nor in the PIN checker's socket and service, and
# systemd-analyze security rates both services confined. The programs they start are looked for
# where the package puts them, so the units checked are copies that start the source's scripts
# and the built checker instead.
#
# Usage: kiosk_unit.sh KIOSK_FOLDER PIN_CHECKER_PROGRAM
#   KIOSK_FOLDER: the source folder of the units, scripts and PAM file
set -euo pipefail
kiosk=$(cd "$1" && pwd)
checker=$2
source "$(dirname "$0")/checks.sh"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
    exit 77
fi

# A copy of a unit that starts what the source tree or the build holds instead of the installed
# program.
copy_unit() {
    local template=$1 name=$2 installed=$3 built=$4
    sed "s|^ExecStart=$installed|ExecStart=$built|" "$kiosk/$template" >"$scratch/$name"
    grep -q "^ExecStart=$built" "$scratch/$name" || fail "$template does not start $installed"
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

copy_unit quorvantis-kiosk@.service quorvantis-kiosk@station.service /usr/lib/quorvantis/ "$kiosk/"
copy_unit quorvantis-kiosk-out-of-service@.service quorvantis-kiosk-out-of-service@station.service \
    /usr/lib/quorvantis/ "$kiosk/"
copy_unit quorvantis-kiosk-pin.service quorvantis-kiosk-pin.service \
    /usr/lib/quorvantis/kiosk-pin-checker "$checker"
cp "$kiosk/quorvantis-kiosk-pin.socket" "$scratch/"
(cd "$scratch" && systemd-analyze verify --man=no quorvantis-kiosk@station.service \
    quorvantis-kiosk-out-of-service@station.service quorvantis-kiosk-pin.socket \
    quorvantis-kiosk-pin.service) >"$scratch/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$scratch/verify.log")"
[ -s "$scratch/verify.log" ] && fail "systemd-analyze warns: $(cat "$scratch/verify.log")"

# What the kiosk relies on, each a line that a careless edit could lose.
expect_lines() {
    local file=$1 setting
    shift
    for setting in "$@"; do
        grep -qxF "$setting" "$kiosk/$file" || fail "$file lacks $setting"
    done
}
expect_lines quorvantis-kiosk@.service "User=%i" "PAMName=quorvantis-kiosk" "TTYPath=/dev/tty1" \
    "Restart=always" "RestartPreventExitStatus=4" "WantedBy=graphical.target" "Type=notify" \
    "NotifyAccess=all" "SupplementaryGroups=video render" \
    "OnFailure=quorvantis-kiosk-out-of-service@%i.service"
expect_lines quorvantis-kiosk-out-of-service@.service "TTYPath=/dev/tty1" \
    "Conflicts=quorvantis-kiosk@%i.service getty@tty1.service"
expect_lines quorvantis-kiosk-pin.socket "SocketMode=0660" "SocketGroup=quorvantis"
for bound in TimeoutStartSec WatchdogSec; do
    grep -qE "^$bound=[1-9][0-9]*$" "$kiosk/quorvantis-kiosk@.service" ||
        fail "the kiosk unit has no $bound in seconds"
done
# A logind session would move the kiosk's processes out of its unit, which could then neither
# hear from the station nor stop it.
grep -v '^#' "$kiosk/quorvantis-kiosk.pam" | grep -qE 'pam_systemd|common-session' &&
    fail "the kiosk's PAM session registers with logind"

# Confined: 6.0 is "MEDIUM"; the kiosk unit with no more than NoNewPrivileges= rates 9.0.
check_exposure quorvantis-kiosk@station.service 6.0
check_exposure quorvantis-kiosk-pin.service 2.0
exit $((failures > 0))
