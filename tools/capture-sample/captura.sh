#!/bin/sh
# Sample capture program: stands in for a vendor's capture tool. The station starts it in this
# folder with the user's identifier as its argument words and waits for it to end; the
# fingerprint is expected as "huella.bmp" here afterwards.
#
# It "captures" the sample fingerprint muestra.bmp after a short pause, so the station's busy
# cursor can be seen. An identifier of "sin-huella" leaves no fingerprint, to show a failed
# capture.
cd "$(dirname "$0")" || exit 1
echo "$(date '+%F %T') captura: $*" >> capturas.log
sleep 1
if [ "$*" = "sin-huella" ]; then
    exit 1
fi
cp muestra.bmp huella.bmp
