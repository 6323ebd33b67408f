# shellcheck shell=bash
# What the appliance check adds to the station's image to test it (scripts/image --with), never
# part of the image a door gets: a root shell on the serial console, the development clocking
# service with one member of staff, the sample capture program, a Spanish keyboard, and a start
# bound fit for emulation. Sourced by scripts/appliance-check too, for the names.

service_db=/var/lib/clocking-service/demo.db
service_url=http://127.0.0.1:21796/QuorvantisService.asmx
staff_id=20123456
capture_folder=/opt/livescan

# The operator's collector, here on the door's own loopback (the README puts it on a machine of
# its own, over HTTPS).
collector_url=http://127.0.0.1:19532

# Installed on the test machine beside the package, as the README's "Many doors" tells an
# operator: node-exporter, which serves the station's metrics, and systemd-journal-upload.
extra_packages=(prometheus-node-exporter systemd-journal-remote)

add_to_image() {
    image_file /etc/systemd/system/appliance-shell.service <<'UNIT'
[Unit]
Description=Root shell on the serial console (appliance test scaffolding)
[Service]
ExecStart=/bin/sh -i
StandardInput=tty
StandardOutput=tty
TTYPath=/dev/ttyS0
Restart=always
[Install]
WantedBy=multi-user.target
UNIT
    ln -sf /etc/systemd/system/appliance-shell.service \
        "$tree/etc/systemd/system/multi-user.target.wants/appliance-shell.service"
    ln -sf /dev/null "$tree/etc/systemd/system/serial-getty@ttyS0.service"

    mkdir -p "$tree/$(dirname "$service_db")"
    in_image clocking-service --db "$service_db" enroll "$staff_id" "Ana Pérez" >/dev/null
    image_file /etc/systemd/system/clocking-service.service <<UNIT
[Unit]
Description=Development clocking service (appliance test scaffolding)
[Service]
ExecStart=/usr/bin/clocking-service --db $service_db serve
[Install]
WantedBy=multi-user.target
UNIT
    ln -sf /etc/systemd/system/clocking-service.service \
        "$tree/etc/systemd/system/multi-user.target.wants/clocking-service.service"

    mkdir -p "$tree$capture_folder"
    cp tools/capture-sample/captura.sh tools/capture-sample/Muestra.INI "$tree$capture_folder/"
    cp tests/data/wsq/fp11_scanner_256x360.nbis.wsq "$tree$capture_folder/muestra.wsq"
    in_image wsq decode "$capture_folder/muestra.wsq" "$capture_folder/muestra.bmp" >/dev/null
    in_image chown -R "$kiosk_user" "$capture_folder"

    add_collector

    image_file /etc/default/keyboard <<'KEYBOARD'
XKBMODEL="pc105"
XKBLAYOUT="es"
XKBVARIANT=""
XKBOPTIONS=""
KEYBOARD
    # Emulated without KVM, a start takes many times longer than on the machines the unit's
    # bound is sized for.
    image_file /etc/systemd/system/quorvantis-kiosk@.service.d/emulated.conf <<'UNIT'
[Service]
TimeoutStartSec=600
UNIT
}

# The collector: systemd-journal-remote's own unit and socket, over plain HTTP on loopback. And a
# scrape of the door's node-exporter as Prometheus makes it, without a program the image lacks.
add_collector() {
    image_file /etc/systemd/system/systemd-journal-remote.socket.d/loopback.conf <<'UNIT'
[Socket]
ListenStream=
ListenStream=127.0.0.1:19532
UNIT
    image_file /etc/systemd/system/systemd-journal-remote.service.d/http.conf <<'UNIT'
[Service]
ExecStart=
ExecStart=/lib/systemd/systemd-journal-remote --listen-http=-3 --output=/var/log/journal/remote/
UNIT
    mkdir -p "$tree/etc/systemd/system/sockets.target.wants"
    ln -sf /lib/systemd/system/systemd-journal-remote.socket \
        "$tree/etc/systemd/system/sockets.target.wants/systemd-journal-remote.socket"
    image_file /usr/local/bin/scrape-door <<'SCRAPE'
#!/bin/bash
# The door's metrics as Prometheus scrapes them from node-exporter: the station's and the
# textfile collector's own lines.
exec 3<>/dev/tcp/127.0.0.1/9100 || exit 1
printf 'GET /metrics HTTP/1.0\r\nHost: door\r\n\r\n' >&3
grep -E '^(quorvantis_|node_textfile_)' <&3
SCRAPE
    chmod +x "$tree/usr/local/bin/scrape-door"
}
