#!/usr/bin/env bash
# Builds the Debian package from the build folder and reads it back: the files a station
# needs, nothing from the build machine, dependencies computed from the binaries.
#
# Usage: package_contents.sh BUILD_FOLDER
# Environment: QV_VERSION, QV_TOOLS and QV_LIBRARIES (file names), QV_MANUAL_COUNT,
# QV_LIBFPRINT_HWDB (the hardware database the readers' rule was made from).
set -euo pipefail
build=$1
source "$(dirname "$0")/checks.sh"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" > "$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; exit 1; }
packages=("$scratch"/quorvantis_*.deb)
[ "${#packages[@]}" -eq 1 ] && [ -f "${packages[0]}" ] || { echo "no package built" >&2; exit 1; }
deb=${packages[0]}

[ "$(dpkg-deb -f "$deb" Package)" = quorvantis ] || fail "package name"
[[ "$(dpkg-deb -f "$deb" Version)" == "$QV_VERSION"* ]] || fail "package version"

# Dependencies: what the binaries link (from the shared-library data of the system), plus what
# is loaded at run time.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for needed in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libcurl4 libpugixml1v5 \
    libturbojpeg0 libsqlite3-0 libfprint-2-2 libqt6svg6 adduser cage qt6-wayland xwayland seatd \
    fonts-liberation; do
    grep -qxF "$needed" <<<"$names" || fail "does not depend on $needed: $depends"
done
for unwanted in libgtest libgmock libbenchmark quorvantis; do
    grep -qF "$unwanted" <<<"$names" && fail "depends on $unwanted: $depends"
done

# Files, by the paths a station gets.
listing=$(dpkg-deb -c "$deb" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }')
expect() {
    grep -qxF "$1" <<<"$listing" || fail "the package lacks $1"
}
expect "./usr/lib/quorvantis/Quorvantis"
expect "./usr/lib/quorvantis/Quorvantis.INI -> /etc/quorvantis/settings/Quorvantis.INI"
expect "./usr/bin/quorvantis -> ../lib/quorvantis/Quorvantis"
expect "./usr/share/quorvantis/Quorvantis.INI"
for library in $QV_LIBRARIES; do
    expect "./usr/lib/quorvantis/$library"
done
for tool in $QV_TOOLS; do
    expect "./usr/bin/$tool"
    expect "./usr/share/man/man1/$tool.1.gz"
done
expect "./usr/share/man/man1/quorvantis.1.gz"
expect "./usr/share/applications/quorvantis.desktop"
expect "./usr/share/icons/hicolor/scalable/apps/quorvantis.svg"
expect "./usr/share/doc/quorvantis/copyright"
expect "./usr/share/doc/quorvantis/changelog.gz"
# The kiosk: its unit, the session the unit runs, its PAM service and the operator's command.
expect "./usr/lib/systemd/system/quorvantis-kiosk@.service"
expect "./usr/lib/quorvantis/quorvantis-kiosk-session"
expect "./usr/lib/systemd/system/quorvantis-kiosk-out-of-service@.service"
expect "./usr/lib/quorvantis/quorvantis-kiosk-out-of-service"
expect "./usr/lib/systemd/system/quorvantis-kiosk-retry@.timer"
expect "./usr/lib/quorvantis/kiosk-pin-hash"
expect "./usr/lib/quorvantis/kiosk-pin-checker"
expect "./usr/lib/systemd/system/quorvantis-kiosk-pin.socket"
expect "./usr/lib/systemd/system/quorvantis-kiosk-pin.service"
expect "./usr/sbin/quorvantis-kiosk"
expect "./usr/share/man/man8/quorvantis-kiosk.8.gz"
expect "./etc/pam.d/quorvantis-kiosk"
# The door's health for the operator's monitoring.
expect "./usr/lib/quorvantis/quorvantis-kiosk-metrics"
expect "./usr/share/quorvantis/prometheus/quorvantis.rules.yml"
[ "$(dpkg-deb -f "$deb" Recommends)" = prometheus-node-exporter ] ||
    fail "does not recommend node-exporter: $(dpkg-deb -f "$deb" Recommends)"
outside=$(grep -vE '^\./(usr|etc)(/|$)' <<<"$listing" | grep -vxF './' || true)
[ -z "$outside" ] || fail "files outside /usr and /etc: $outside"
[ "$(grep -c '^\./usr/share/man/man[0-9]/.*\.gz$' <<<"$listing")" -eq "$QV_MANUAL_COUNT" ] ||
    fail "not every manual page is packaged"

# Nothing in the folders the operators' group may write comes from the package, where dpkg
# would work in it as root: the settings are made on configuration, as the group is.
grep -q '^\./etc/quorvantis/.' <<<"$listing" && fail "the package installs into /etc/quorvantis"
control="$scratch/control"
dpkg-deb -e "$deb" "$control"
grep -q quorvantis/ "$control/conffiles" && fail "a configuration file in the settings folder"
[ -x "$control/preinst" ] || fail "no preinst"
[ -x "$control/postinst" ] || fail "no postinst"
grep -q ldconfig "$control/postinst" "$control/postrm" && fail "ldconfig for a private folder"
grep -qxF /etc/pam.d/quorvantis-kiosk "$control/conffiles" || fail "the kiosk's PAM file is no conffile"

# Installing enables no kiosk: no enabling link in the package, none made when configuring.
# Only `quorvantis-kiosk enable USER` does; an upgrade restarts a running kiosk.
grep -q '\.wants/' <<<"$listing" && fail "the package holds an enabling link: $(grep '\.wants/' <<<"$listing")"
grep -qE 'systemctl +(--[a-z-]+ +)*enable|deb-systemd-helper +enable' "$control/postinst" &&
    fail "the package enables the kiosk on its own"
grep -qF "try-restart 'quorvantis-kiosk@*.service'" "$control/postinst" ||
    fail "an upgrade does not restart a running kiosk"

unpacked="$scratch/unpacked"
dpkg-deb -x "$deb" "$unpacked"

# The readers' rule: one line per reader libfprint says it supports, each opened up to the
# seated user and the operators' group, none of the devices it knows it cannot drive.
rule="$unpacked/usr/lib/udev/rules.d/70-quorvantis-readers.rules"
[ -f "$rule" ] || fail "the package lacks the readers' udev rule"
supported=$(awk '/^# Supported by libfprint driver /{s=1;next} /^#/{s=0} s && /^usb:v/' \
    "$QV_LIBFPRINT_HWDB" | sort -u | wc -l)
unsupported=$(awk '/^# Known unsupported/{s=1;next} /^#/{s=0} s && /^usb:v/ {
    printf "ATTR{idVendor}==\"%s\", ATTR{idProduct}==\"%s\"\n", tolower(substr($0,6,4)), tolower(substr($0,11,4)) }' \
    "$QV_LIBFPRINT_HWDB")
rules=$(grep -c '^SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="[0-9a-f]\{4\}", ATTR{idProduct}=="[0-9a-f]\{4\}", TAG+="uaccess", GROUP="quorvantis", MODE="0660"$' "$rule" || true)
[ "$supported" -gt 0 ] && [ "$rules" -eq "$supported" ] ||
    fail "the readers' rule has $rules well-formed lines for $supported supported readers"
[ "$(grep -cv '^#' "$rule")" -eq "$rules" ] || fail "the readers' rule has malformed lines"
while IFS= read -r device; do
    [ -n "$device" ] && grep -qF "$device" "$rule" && fail "the readers' rule opens an unsupported $device"
done <<<"$unsupported"
grep -qF 'ATTR{idVendor}=="08ff", ATTR{idProduct}=="5731"' "$rule" ||
    fail "the readers' rule lacks the aes3500 reader"

# Nothing of the build machine inside: no build paths in the binaries' run paths.
while IFS= read -r -d '' binary; do
    if readelf -d "$binary" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qv '\[\$ORIGIN\]'; then
        fail "$binary has a run path other than its own folder"
    fi
done < <(find "$unpacked" -type f \( -perm -u+x -o -name '*.so' \) -print0)

exit $((failures > 0))
