#!/usr/bin/env bash
# The kiosk's units as systemd reads them: systemd-analyze verify finds no fault in instances of
# the kiosk unit and its out-of-service unit, nor in the PIN checker's socket and service, and
# systemd-analyze security rates both services confined. The programs they start are looked for
# where the package puts them, so the units checked are copies that start the source's scripts
# and the built checker instead.
#
# Usage: kiosk_unit.sh KIOSK_FOLDER PIN_CHECKER_PROGRAM
set -euo pipefail
kiosk=$(cd "$1" && pwd)
checker=$2
source "$(dirname "$0")/checks.sh"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
    exit 77
fi

units=()
for template in quorvantis-kiosk@.service quorvantis-kiosk-out-of-service@.service \
    quorvantis-kiosk-retry@.timer quorvantis-kiosk-pin.socket quorvantis-kiosk-pin.service; do
    units+=("${template/@./@station.}")
    sed -e "s|^ExecStart=/usr/lib/quorvantis/kiosk-pin-checker|ExecStart=$checker|" \
        -e "s|^\(Exec[A-Za-z]*=[-+@!:]*\)/usr/lib/quorvantis/|\1$kiosk/|" "$kiosk/$template" >"$scratch/${units[-1]}"
done
(cd "$scratch" && systemd-analyze verify --man=no "${units[@]}") >"$scratch/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$scratch/verify.log")"
[ -s "$scratch/verify.log" ] && fail "systemd-analyze warns: $(cat "$scratch/verify.log")"

# What the kiosk relies on, each a line that a careless edit could lose.
expect_lines() {
    local file=$1 setting
    for setting in "${@:2}"; do
        grep -qxF "$setting" "$kiosk/$file" || fail "$file lacks $setting"
    done
}
expect_lines quorvantis-kiosk@.service "User=%i" "PAMName=quorvantis-kiosk" "TTYPath=/dev/tty1" \
    "Restart=always" "RestartPreventExitStatus=4" "WantedBy=graphical.target" "Type=notify" \
    "NotifyAccess=all" "SupplementaryGroups=video render" \
    "OnFailure=quorvantis-kiosk-out-of-service@%i.service"
expect_lines quorvantis-kiosk-out-of-service@.service "TTYPath=/dev/tty1" \
    "Conflicts=quorvantis-kiosk@%i.service getty@tty1.service" "StandardInput=null" \
    "DynamicUser=yes" "Wants=quorvantis-kiosk-retry@%i.timer"
expect_lines quorvantis-kiosk-retry@.timer "Unit=quorvantis-kiosk@%i.service" \
    "BindsTo=quorvantis-kiosk-out-of-service@%i.service"
expect_lines quorvantis-kiosk-pin.socket "SocketMode=0660" "SocketGroup=quorvantis"
[ "$(grep -cE '^(TimeoutStartSec|WatchdogSec)=[1-9][0-9]*$' "$kiosk/quorvantis-kiosk@.service")" = 2 ] ||
    fail "the kiosk unit has no TimeoutStartSec or WatchdogSec in seconds"
# A logind session would move the kiosk's processes out of its unit, which could then neither
# hear from the station nor stop it.
grep -v '^#' "$kiosk/quorvantis-kiosk.pam" | grep -qE 'pam_systemd|common-session' &&
    fail "the kiosk's PAM session registers with logind"

# systemd's own rating of each service's exposure, at most the level given: 6.0 is "MEDIUM", and
# the kiosk unit with no more than NoNewPrivileges= rates 9.0, the notice as root on the console
# 9.6.
for rated in quorvantis-kiosk@station.service=3.0 quorvantis-kiosk-out-of-service@station.service=4.0 \
    quorvantis-kiosk-pin.service=2.0; do
    security=$(cd "$scratch" && systemd-analyze security --offline=true --no-pager "${rated%=*}" 2>&1) ||
        true
    exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
    awk -v e="$exposure" -v most="${rated#*=}" 'BEGIN { exit !(e != "" && e <= most) }' ||
        fail "${rated%=*} is not rated ${rated#*=} or lower: $security"
done
exit $((failures > 0))
