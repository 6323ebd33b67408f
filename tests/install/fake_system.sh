# Stand-ins, first on PATH, for the system commands quorvantis-kiosk and the maintainer scripts
# call, sourced by their tests: systemctl keeps its units' states in files and makes the enabling
# links in the scratch root ($root), a user database ($scratch/users), sysctl for kernel.sysrq.
# chown (and install's owner options) only log what they would change, the paths resolved: the
# tests need no root, and see from the log whether a link was followed.
root="$scratch/root"
fakes="$scratch/bin"
mkdir -p "$root/etc/systemd/system" "$fakes" "$scratch/units"
export PATH="$fakes:$PATH" FAKE_STATE="$scratch"
: > "$scratch/users"
echo 438 > "$scratch/sysrq"

# add_user NAME UID SHELL GROUP,... (the primary group first); user_field NAME FIELD-NUMBER
add_user() { echo "$1 $2 $3 $4" >> "$scratch/users"; }
user_field() { awk -v u="$1" -v f="$2" '$1 == u { print $f }' "$scratch/users"; }

fake() {
    { printf '#!/bin/bash\nset -eu\ndb="$FAKE_STATE/users"\n'; cat; } > "$fakes/$1"
    chmod +x "$fakes/$1"
}

fake systemctl <<'FAKE'
units="$FAKE_STATE/units"
wants="$FAKE_STATE/root/etc/systemd/system/graphical.target.wants"
now=no
args=()
for a in "$@"; do case "$a" in --now) now=yes ;; --*) ;; *) args+=("$a") ;; esac; done
unit="$units/${args[1]:-}"
case "${args[0]}" in
enable) mkdir -p "$wants"; ln -sfn /usr/lib/systemd/system/quorvantis-kiosk@.service "$wants/${args[1]}" ;;
disable) rm -f "$wants/${args[1]}"; [ $now = no ] || echo inactive > "$unit" ;;
restart) echo active > "$unit" ;;
stop) echo inactive > "$unit" ;;
is-active) state=$(cat "$unit" 2>/dev/null || echo inactive); echo "$state"; [ "$state" = active ] ;;
# Loaded units: those started and not since forgotten.
list-units) for f in "$units"/*; do [ -e "$f" ] && echo "$(basename "$f") loaded $(cat "$f") running -"; done; true ;;
*) echo "fake systemctl: ${args[*]}" >&2; exit 1 ;;
esac
FAKE

fake getent <<'FAKE'
case "$1" in
passwd) awk -v u="$2" '$1 == u { found = 1; print $1 ":x:" $2 ":" $2 "::/home/" $1 ":" $3 }
                      END { exit !found }' "$db" ;;
group) [ "$2" = quorvantis ] ;;
esac
FAKE

# id -u [USER] | id -gn USER | id -nG USER: an unknown user fails.
fake id <<'FAKE'
[ $# -gt 1 ] || { echo 0; exit; }
read -r _ uid _ groups < <(awk -v u="$2" '$1 == u' "$db")
case "$1" in -u) echo "$uid" ;; -gn) echo "${groups%%,*}" ;; -nG) echo "${groups//,/ }" ;; esac
FAKE

fake useradd <<'FAKE'
user=${*: -1}
shell=/bin/bash
while [ $# -gt 1 ]; do [ "$1" != --shell ] || shell=$2; shift; done
awk -v u="$user" '$1 == u { exit 1 }' "$db" && echo "$user 1500 $shell $user" >> "$db"
FAKE

# usermod -s SHELL USER | usermod -a -G GROUP USER; gpasswd -d USER GROUP
fake usermod <<'FAKE'
awk -v o="$1" -v v="${*: -2:1}" -v u="${*: -1}" \
    '$1 == u { if (o == "-s") $3 = v; else $4 = $4 "," v } { print }' "$db" > "$db.new"
mv "$db.new" "$db"
FAKE
fake gpasswd <<'FAKE'
awk -v u="$2" -v g="$3" '$1 == u { n = split($4, a, ","); $4 = a[1]
    for (i = 2; i <= n; i++) if (a[i] != g) $4 = $4 "," a[i] } { print }' "$db" > "$db.new"
mv "$db.new" "$db"
FAKE

fake sysctl <<'FAKE'
case "$*" in
"-n kernel.sysrq") cat "$FAKE_STATE/sysrq" ;;
"-q -w kernel.sysrq="*) echo "${3#kernel.sysrq=}" > "$FAKE_STATE/sysrq" ;;
*) exit 1 ;;
esac
FAKE

fake chown <<'FAKE'
owner=$1
shift
for path; do echo "chown $owner $(readlink -f "$path")"; done >> "$FAKE_STATE/owners.log"
FAKE

fake install <<'FAKE'
args=()
while [ $# -gt 0 ]; do case "$1" in -o | -g) shift 2 ;; *) args+=("$1"); shift ;; esac; done
exec /usr/bin/install "${args[@]}"
FAKE

fake dpkg-statoverride <<< 'exit 1'
fake logger <<< 'echo "${@: -1}" >> "$FAKE_STATE/journal"'
