#!/bin/sh
# Writes the udev rule that lets the seated user and the group quorvantis open every USB
# fingerprint reader the installed libfprint can drive, read from libfprint's own hardware
# database: the "usb:vVVVVpPPPP*" lines under "# Supported by libfprint driver NAME" (the
# "Known unsupported devices" that follow are left out).
#
# Usage: readers-udev-rule.sh HWDB OUTPUT
set -eu
hwdb=$1
output=$2

awk '
    /^# Supported by libfprint driver / { driver = $NF; next }
    /^#/ { driver = ""; next }
    driver != "" && /^usb:v[0-9A-Fa-f]+p[0-9A-Fa-f]+\*$/ && length($0) == 15 {
        vendor = tolower(substr($0, 6, 4)); product = tolower(substr($0, 11, 4))
        if (driver != named) { printf "# %s\n", driver; named = driver }
        printf "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%s\", ", vendor
        printf "ATTR{idProduct}==\"%s\", TAG+=\"uaccess\", GROUP=\"quorvantis\", MODE=\"0660\"\n", product
        count++
    }
    END {
        if (count == 0) { print "no supported readers in the hardware database" > "/dev/stderr"; exit 1 }
    }
' "$hwdb" > "$output.tmp"
{
    echo "# Fingerprint readers the station can drive through libfprint, for the user at the seat"
    echo "# and for the group quorvantis. Generated from $hwdb; do not edit."
    cat "$output.tmp"
} > "$output"
rm -f "$output.tmp"
