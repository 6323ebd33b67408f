# shellcheck shell=bash
# Driving a machine booted under QEMU from outside: its screen and keyboard through QEMU's
# monitor, questions through a root shell the machine keeps on its first serial port. Sourced by
# scripts/appliance-check; the caller sets machine_dir (a scratch folder for the sockets and the
# screendumps), screens (where the screens land as PNG) and background (the colour that
# content_box sees as empty), and may define on_failure, which fail runs before it exits.

say() {
    echo "appliance: $*"
}

fail() {
    echo "appliance: FAILED: $*" >&2
    if [ -n "${qemu_pid:-}" ] && declare -F on_failure >/dev/null; then
        on_failure >&2 || true
    fi
    exit 1
}

qemu_pid=""
stop_machine() {
    if [ -n "$qemu_pid" ]; then
        kill "$qemu_pid" 2>/dev/null || true
        wait "$qemu_pid" 2>/dev/null || true
        qemu_pid=""
    fi
    if [ -n "${SERIAL_PID:-}" ]; then
        kill "$SERIAL_PID" 2>/dev/null || true
    fi
}

# Boots a machine with the given display (virtio or none) and the QEMU options that say what it
# boots, and waits for the serial console's shell. The firmware now and then stays in its boot
# menu for good under emulation (about one boot in six on a loaded machine): a machine with no
# shell after 7 minutes is switched off and on once.
boot() {
    local attempt
    for attempt in 1 2; do
        power_on "$@"
        wait_for_shell $((attempt == 1 ? 420 : 600)) && return
        say "no shell on the serial console after $((SECONDS - booted_at)) s; switching off and on"
    done
    fail "no shell on the serial console after two power-ons"
}

power_on() {
    local display=$1
    shift
    stop_machine
    rm -rf "$machine_dir"
    mkdir -p "$machine_dir"
    qemu-system-x86_64 -m 2048 -smp 2 "$@" \
        -vga "$display" -display none -nic none -device virtio-rng-pci \
        -serial "unix:$machine_dir/serial.sock,server=on,wait=off" \
        -monitor "unix:$machine_dir/monitor.sock,server=on,wait=off" \
        >"$machine_dir/qemu.log" 2>&1 &
    qemu_pid=$!
    booted_at=$SECONDS
    local tries
    for tries in $(seq 50); do
        [ -S "$machine_dir/serial.sock" ] && break
        sleep 0.2
    done
    coproc SERIAL { exec socat - "UNIX-CONNECT:$machine_dir/serial.sock"; }
    exec {to_guest}>&"${SERIAL[1]}" {from_guest}<&"${SERIAL[0]}"
    say "booting ($display display)"
}

# Waits up to the given seconds for the serial console's shell to answer.
wait_for_shell() {
    local line deadline=$((SECONDS + $1))
    while [ $SECONDS -lt $deadline ]; do
        printf 'stty -echo; PS1=; PS2=; echo "@@"UP\n' >&"$to_guest"
        while IFS= read -r -t 5 line <&"$from_guest"; do
            if [[ $line == *@@UP* ]]; then
                # The tries typed while the machine was booting still reach the shell.
                guest true 600 >/dev/null
                say "the shell answers ($((SECONDS - booted_at)) s after power-on)"
                return 0
            fi
        done
    done
    return 1
}

# Waits for the machine to switch itself off.
wait_for_power_off() {
    wait "$qemu_pid" || true
    qemu_pid=""
}

# Runs a command in the guest's root shell: its output on standard output, its status returned.
guest_calls=0
guest() {
    local command=$1 timeout=${2:-120} line
    guest_calls=$((guest_calls + 1))
    local token="$guest_calls.$RANDOM"
    printf '%s\necho "@@"DONE%s $?@@\n' "$command" "$token" >&"$to_guest"
    local deadline=$((SECONDS + timeout))
    while [ $SECONDS -lt $deadline ] &&
        IFS= read -r -t $((deadline - SECONDS)) line <&"$from_guest"; do
        line=${line%$'\r'}
        if [[ $line == *"@@DONE$token "*"@@" ]]; then
            local status=${line##*"@@DONE$token "}
            line=${line%%"@@DONE$token "*}
            [ -z "$line" ] || printf '%s\n' "$line"
            return "${status%@@}"
        fi
        printf '%s\n' "$line"
    done
    echo "appliance: the guest did not answer: $command" >&2
    return 255
}

# Waits until a guest command succeeds; the reason for the wait names it.
wait_for() {
    local reason=$1 command=$2 timeout=${3:-300}
    local deadline=$((SECONDS + timeout))
    while [ $SECONDS -lt $deadline ]; do
        guest "$command" 60 >/dev/null 2>&1 && return
        sleep 3
    done
    fail "waited ${timeout} s for $reason"
}

monitor() {
    printf '%s\n' "$*" | socat -t 1 - "UNIX-CONNECT:$machine_dir/monitor.sock" >/dev/null
}

# Sends keys one after the other (QEMU's key names: a, kp_1, ctrl-alt-f2, shift-tab, ...).
keys() {
    local key
    for key in "$@"; do
        monitor sendkey "$key"
        sleep 0.3
    done
}

# The screen now, as $screens/NAME.png, whose path is left in shot.
screen() {
    local name=$1
    mkdir -p "$screens"
    rm -f "$machine_dir/$name.ppm"
    monitor screendump "$machine_dir/$name.ppm"
    [ -s "$machine_dir/$name.ppm" ] || fail "no screendump for $name"
    convert "$machine_dir/$name.ppm" "$screens/$name.png"
    shot=$screens/$name.png
}

# What differs from the background, as "WIDTH HEIGHT LEFT TOP", and the screen's size as
# "WIDTH HEIGHT".
content_box() {
    convert "$1" -bordercolor "$background" -border 1 -trim -format '%w %h %X %Y' info: |
        awk '{ printf "%d %d %d %d\n", $1, $2, $3 - 1, $4 - 1 }'
}

screen_size() {
    convert "$1" -format '%w %h\n' info:
}
