#!/usr/bin/env bash
# Installs the build into a scratch folder as the package lays it out (prefix /usr), then runs
# what was installed: the station, started offscreen, must bind its libraries from its own
# folder and show its window; every tool must tell its version; every manual page must render.
#
# Usage: installed_station.sh BUILD_FOLDER
# Environment: QV_VERSION, QV_TOOLS and QV_LIBRARIES (file names), QV_MANUAL_COUNT.
set -euo pipefail
build=$1
source "$(dirname "$0")/checks.sh"

DESTDIR="$scratch" cmake --install "$build" --prefix /usr > "$scratch/install.log"
program="$scratch/usr/lib/quorvantis"

# The program folder: the station and its libraries side by side, the settings linked in.
[ -x "$program/Quorvantis" ] || fail "no station in $program"
for library in $QV_LIBRARIES; do
    [ -f "$program/$library" ] || fail "no $library in $program"
done
# (Absolute, as the link leaves /usr: here it leads out of the scratch folder.)
[ "$(readlink "$program/Quorvantis.INI")" = /etc/quorvantis/settings/Quorvantis.INI ] ||
    fail "the program folder's settings file does not lead to /etc/quorvantis/settings/Quorvantis.INI"
[ -f "$scratch/usr/share/quorvantis/Quorvantis.INI" ] || fail "no sample settings file installed"
# Nothing is installed where the operators may write: the site makes the settings.
[ -e "$scratch/etc/quorvantis" ] && fail "the installation writes into /etc/quorvantis"
[ "$(readlink -f "$scratch/usr/bin/quorvantis")" = "$program/Quorvantis" ] ||
    fail "quorvantis on the PATH does not lead to the station"
runpath=$(readelf -d "$program/Quorvantis" | grep -E 'R(UN)?PATH' || true)
[[ "$runpath" == *"[\$ORIGIN]"* ]] || fail "the station's run path is not its own folder: $runpath"


# The installed station, started from elsewhere and with no library path of the build.
check=$(cd / && env -u LD_LIBRARY_PATH "$scratch/usr/bin/quorvantis" --check 2>"$scratch/check.err") ||
    fail "quorvantis --check failed: $(cat "$scratch/check.err")"
expect_line() {
    grep -qxF "$1" <<<"$check" || fail "quorvantis --check did not say '$1':"$'\n'"$check"
}
expect_line "settings: $program/Quorvantis.INI"
for library in $QV_LIBRARIES; do
    expect_line "library $library: $program/$library"
done
grep -q '^window: Quorvantis' <<<"$check" || fail "the window did not come up:"$'\n'"$check"

# Versions, all from the one project version.
[ "$("$scratch/usr/bin/quorvantis" --version)" = "Quorvantis $QV_VERSION" ] ||
    fail "quorvantis --version"
[ "$("$scratch/usr/sbin/quorvantis-kiosk" --version)" = "quorvantis-kiosk (Quorvantis) $QV_VERSION" ] ||
    fail "quorvantis-kiosk --version"
for tool in $QV_TOOLS; do
    [ -x "$scratch/usr/bin/$tool" ] || { fail "$tool is not on the PATH"; continue; }
    version=$("$scratch/usr/bin/$tool" --version) || fail "$tool --version failed"
    [ "$version" = "$tool (Quorvantis) $QV_VERSION" ] || fail "$tool --version says '$version'"
done

# Manual pages: one per program, found by man, rendered without a warning.
manuals=("$scratch"/usr/share/man/man[0-9]/*.gz)
[ "${#manuals[@]}" -eq "$QV_MANUAL_COUNT" ] ||
    fail "${#manuals[@]} manual pages installed, $QV_MANUAL_COUNT built"
for program_name in quorvantis quorvantis-kiosk $QV_TOOLS; do
    man -M "$scratch/usr/share/man" -w "$program_name" >/dev/null 2>&1 ||
        fail "man does not find the page of $program_name"
done
for page in "${manuals[@]}"; do
    text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$scratch/man.err") || fail "man $page failed"
    [ -s "$scratch/man.err" ] && fail "$(basename "$page") renders with warnings: $(cat "$scratch/man.err")"
    grep -q '^NAME' <<<"$text" || fail "$(basename "$page") has no NAME section"
done

# Desktop integration: a valid menu entry whose icon is installed.
desktop-file-validate "$scratch/usr/share/applications/quorvantis.desktop" ||
    fail "the installed desktop file is not valid"
[ -f "$scratch/usr/share/icons/hicolor/scalable/apps/quorvantis.svg" ] || fail "no icon installed"

exit $((failures > 0))
