#!/usr/bin/env bash
# Runs the kiosk's session test inside the cage compositor on a headless output, as an
# unprivileged user (cage refuses root), and keeps its screenshots in SCREENSHOTS.
#
# Usage: kiosk_under_cage.sh TEST_PROGRAM SCREENSHOTS
set -euo pipefail
program=$1
screenshots=$2

skip() {
    echo "SKIP: $*"
    exit 77
}
command -v cage >/dev/null || skip "cage is not installed"
command -v grim >/dev/null || skip "grim is not installed"

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 0700 "$runtime"
mkdir "$runtime/shots"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    id nobody >/dev/null 2>&1 || skip "cage refuses root and there is no user nobody"
    chown -R nobody "$runtime"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    "${as_user[@]}" test -x "$program" || skip "nobody cannot run $program (a private build folder)"
fi

# The sanitizers' settings pass through the clean environment; nothing else does.
sanitizer_settings=()
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
    [ -n "${!name:-}" ] && sanitizer_settings+=("$name=${!name}")
done

status=0
"${as_user[@]}" env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    "${sanitizer_settings[@]}" \
    WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 QT_QPA_PLATFORM=wayland \
    QV_SCREENSHOTS="$runtime/shots" \
    cage -d -- sh -c '"$0"; echo $? > "$XDG_RUNTIME_DIR/status"' "$program" \
    > "$runtime/cage.log" 2>&1 || status=$?
mkdir -p "$screenshots"
cp "$runtime"/shots/*.png "$screenshots"/ 2>/dev/null || true
grep -v -e drmGetDevices2 -e 'output test failed' "$runtime/cage.log" || true
[ "$status" -eq 0 ] || { echo "cage failed with status $status"; exit 1; }
[ -s "$runtime/status" ] || { echo "the test program did not finish"; exit 1; }
exit "$(cat "$runtime/status")"
