#!/usr/bin/env bash
# The kiosk's units as systemd reads them: systemd-analyze verify finds no fault in an instance
# of the kiosk unit and of its out-of-service unit. The scripts they start are looked for where
# the package puts them, so the instances checked are copies that start the source's scripts.
#
# Usage: kiosk_unit.sh KIOSK_FOLDER (the source folder of the units, scripts and PAM file)
set -euo pipefail
kiosk=$(cd "$1" && pwd)
source "$(dirname "$0")/checks.sh"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
    exit 77
fi

instances=()
for template in quorvantis-kiosk@.service quorvantis-kiosk-out-of-service@.service; do
    instance="$scratch/${template/@/@station}"
    sed "s|^ExecStart=/usr/lib/quorvantis/|ExecStart=$kiosk/|" "$kiosk/$template" >"$instance"
    grep -q "^ExecStart=$kiosk/" "$instance" || fail "$template starts no script of the package"
    instances+=("$instance")
done
systemd-analyze verify --man=no "${instances[@]}" >"$scratch/verify.log" 2>&1 ||
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
for bound in TimeoutStartSec WatchdogSec; do
    grep -qE "^$bound=[1-9][0-9]*$" "$kiosk/quorvantis-kiosk@.service" ||
        fail "the kiosk unit has no $bound in seconds"
done
# A logind session would move the kiosk's processes out of its unit, which could then neither
# hear from the station nor stop it.
grep -v '^#' "$kiosk/quorvantis-kiosk.pam" | grep -qE 'pam_systemd|common-session' &&
    fail "the kiosk's PAM session registers with logind"
exit $((failures > 0))
