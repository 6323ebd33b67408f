#!/usr/bin/env bash
# The kiosk unit as systemd reads it: systemd-analyze verify finds no fault in an instance of
# it, and systemd-analyze security rates it confined. The session it starts is looked for where the package puts it, so the instance checked
# is a copy that starts the source's session script instead.
#
# Usage: kiosk_unit.sh UNIT_TEMPLATE SESSION_SCRIPT
set -euo pipefail
template=$1
session=$2
source "$(dirname "$0")/checks.sh"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed (Debian package systemd)"
    exit 77
fi

instance="$scratch/quorvantis-kiosk@station.service"
sed "s|^ExecStart=/usr/lib/quorvantis/quorvantis-kiosk-session|ExecStart=$session|" \
    "$template" > "$instance"
grep -qxF "ExecStart=$session" "$instance" || fail "the unit does not start the kiosk session"
systemd-analyze verify --man=no "$instance" > "$scratch/verify.log" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$scratch/verify.log")"
[ -s "$scratch/verify.log" ] && fail "systemd-analyze warns: $(cat "$scratch/verify.log")"

# What the kiosk relies on, each a line that a careless edit could lose.
for setting in "User=%i" "PAMName=quorvantis-kiosk" "TTYPath=/dev/tty1" "Restart=always" \
    "RestartPreventExitStatus=4" "WantedBy=graphical.target"; do
    grep -qxF "$setting" "$template" || fail "the unit lacks $setting"
done

# Confinement: systemd's own rating of the unit's exposure, at most 6.0 ("MEDIUM"; the unit
# with no more than NoNewPrivileges= rates 9.0).
security=$(cd "$scratch" && systemd-analyze security --offline=true --no-pager \
    "$(basename "$instance")" 2>&1) || fail "systemd-analyze security: $security"
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
[ -n "$exposure" ] || fail "systemd-analyze security gave no exposure level: $security"
[ -z "$exposure" ] || awk -v e="$exposure" 'BEGIN { exit !(e <= 6.0) }' ||
    fail "the unit's exposure level is $exposure, above 6.0"
echo "exposure level: $exposure"
exit $((failures > 0))
