#!/usr/bin/env bash
# The kiosk session's decisions, with stand-ins for cage and the station: how each way of ending
# reaches the unit, the fallback from the GPU renderer to software rendering, and the keyboard.
#
# Usage: kiosk_session.sh KIOSK_FOLDER (the source folder of the session and its notice)
set -euo pipefail
kiosk=$1
source "$(dirname "$0")/checks.sh"
ulimit -c 0

session="$scratch/kiosk/quorvantis-kiosk-session"
mkdir -p "$scratch/kiosk" "$scratch/bin" "$scratch/dri" "$scratch/run" "$scratch/metrics"
sed -e "s|^graphics_devices=.*|graphics_devices=$scratch/dri|" \
    -e "s|^keyboard_file=.*|keyboard_file=$scratch/keyboard|" \
    "$kiosk/quorvantis-kiosk-session" >"$session"
cp "$kiosk/quorvantis-kiosk-out-of-service" "$kiosk/quorvantis-kiosk-metrics" "$scratch/kiosk/"
chmod +x "$session"

# cage: notes how it was started, crashes as the case asks, else runs its client and ends with 0.
cat >"$scratch/bin/cage" <<'CAGE'
#!/bin/sh
echo "${WLR_RENDERER:-gpu} ${XKB_DEFAULT_LAYOUT:--}/${XKB_DEFAULT_OPTIONS:--} ${WATCHDOG_PID:--}" \
    >>"$RECORD/cage.log"
case "$FAKE_CAGE ${WLR_RENDERER:-gpu}" in
"crash-gpu gpu" | "crash "*) kill -s SEGV $$ ;;
"chatty "*)
    for frame in 1 2 3; do
        echo "00:00:0$frame.250 [ERROR] [backend/drm/drm.c:123] Basic output test failed for Virtual-1" >&2
        echo "00:00:0$frame.251 [ERROR] [render/pixman/renderer.c:45] Failed to pick cursor format" >&2
        echo "00:00:0$frame.252 [ERROR] [types/wlr_cursor.c:78] Failed to render cursor buffer" >&2
    done
    echo "00:00:04.000 [ERROR] [backend/drm/drm.c:456] Failed to open DRM device" >&2
    printf 'a last line without its end' >&2
    ;;
esac
shift 2
"$@" || true
CAGE
# The station: ends as the case asks.
cat >"$scratch/kiosk/Quorvantis" <<'STATION'
#!/bin/sh
[ "$FAKE_STATION" != segv ] || kill -s SEGV $$
echo "station: event=start" >&2
exit "$FAKE_STATION"
STATION
chmod +x "$scratch/bin/cage" "$scratch/kiosk/Quorvantis"

# One case: name, how cage behaves, how the station ends, a renderer chosen beforehand, the
# status the session ends with, the renderers cage was started with, a journal line expected.
check_case() {
    local name=$1 cage=$2 station=$3 chosen=$4 status=$5 renderers=$6 said=$7
    rm -f "$scratch/cage.log"
    local got=0
    env -i PATH="$scratch/bin:/usr/bin:/bin" XDG_RUNTIME_DIR="$scratch/run" RECORD="$scratch" \
        QV_METRICS_DIR="$scratch/metrics" \
        FAKE_CAGE="$cage" FAKE_STATION="$station" WATCHDOG_PID=1 \
        ${chosen:+WLR_RENDERER=$chosen} "$session" </dev/null 2>"$scratch/said" || got=$?
    [ "$got" = "$status" ] || fail "$name: ended with $got, not $status ($(cat "$scratch/said"))"
    local started
    started=$(cut -d' ' -f1 "$scratch/cage.log" 2>/dev/null | tr '\n' ' ' || true)
    [ "${started% }" = "$renderers" ] || fail "$name: cage started with '$started', not '$renderers'"
    [ -z "$said" ] || grep -qF -- "$said" "$scratch/said" || fail "$name: does not say '$said': $(cat "$scratch/said")"
}

touch "$scratch/dri/card0"
printf 'XKBMODEL="pc105"\nXKBLAYOUT="es"\nXKBVARIANT=""\nXKBOPTIONS="compose:ralt"\n' \
    >"$scratch/keyboard"
# name                                  cage      station chosen status renderers   said
check_case "GPU crash, software works"  crash-gpu 0       ""     0   "gpu pixman" \
    "the compositor ended by signal SEGV with the GPU renderer; starting it again with software rendering (pixman)"
check_case "station crashed"            ""        segv    ""     139 "gpu" "the station ended by signal SEGV"
check_case "compositor crashes always"  crash     0       ""     70  "gpu pixman" \
    "the compositor (pixman renderer) ended by signal SEGV"
check_case "renderer chosen for the machine" crash 0      pixman 70  "pixman" \
    "the compositor (pixman renderer) ended by signal SEGV"
check_case "operator's way out"         ""        4       ""     4   "gpu"        ""
# The compositor's chatter on every frame: the first of each repeated line with one word that
# its repeats are left out, its failures and an unfinished last line kept, and the station's
# own lines reach the session's error stream without the filter.
check_case "chatty compositor" chatty 0 "" 0 "gpu" "Failed to open DRM device"
for kept in "Basic output test failed:2" "Failed to pick cursor format:2" \
    "Failed to render cursor buffer:2" "left out of the journal:3" "00:00:01.252:1" \
    "a last line without its end:1"; do
    [ "$(grep -c "${kept%:*}" "$scratch/said")" = "${kept##*:}" ] ||
        fail "chatty compositor: '${kept%:*}' not ${kept##*:} times: $(cat "$scratch/said")"
done
grep -qx "station: event=start" "$scratch/said" || fail "the station's line is lost: $(cat "$scratch/said")"
# The machine's keyboard, with the keypad typing digits; the station answers the watchdog.
grep -qxF "gpu es/compose:ralt,numpad:mac -" "$scratch/cage.log" ||
    fail "cage's keyboard and watchdog: $(cat "$scratch/cage.log")"

rm "$scratch/dri/card0"
echo "quorvantis_station_up 1" >"$scratch/metrics/station.prom"
check_case "no display" "" 0 "" 70 "" "no display: the machine has no graphics device"
# A door without a display is not up, whatever an earlier run left.
grep -qx "quorvantis_station_up 0" "$scratch/metrics/station.prom" ||
    fail "no display: the metrics do not say the station is down"

exit $((failures > 0))
