# Stand-ins for the system commands the kiosk's administration and the maintainer scripts
# call, sourced by their tests: a scratch root ($scratch/root) and, first on PATH, a systemctl
# that keeps its units' states in files and makes and removes the enabling links in the
# scratch root, a small user and group database, a sysctl for kernel.sysrq, and chown (and
# install's owner options), which only log what they would change, the paths resolved: the
# tests run without root and check from the log that no link was followed.
root="$scratch/root"
fakes="$scratch/bin"
mkdir -p "$root/etc/systemd/system" "$fakes" "$scratch/units"
export PATH="$fakes:$PATH" FAKE_STATE="$scratch"
: > "$scratch/users"
: > "$scratch/calls.log"
echo 438 > "$scratch/sysrq"

# A user: name, uid, login shell, groups (the first is the primary one).
add_user() {
    echo "$1 $2 $3 $4" >> "$scratch/users"
}
user_field() {
    awk -v u="$1" -v f="$2" '$1 == u { print $f }' "$scratch/users"
}
groups_of() {
    user_field "$1" 4 | tr ',' ' '
}

fake() {
    { echo '#!/bin/bash'; echo 'set -eu'; echo 'echo "$(basename "$0") $*" >> "$FAKE_STATE/calls.log"'
      cat; } > "$fakes/$1"
    chmod +x "$fakes/$1"
}

fake systemctl <<'FAKE'
units="$FAKE_STATE/units"
wants="$FAKE_STATE/root/etc/systemd/system/graphical.target.wants"
now=no
args=()
for a in "$@"; do case "$a" in --now) now=yes ;; --*) ;; *) args+=("$a") ;; esac; done
case "${args[0]}" in
enable) mkdir -p "$wants"; ln -sfn /usr/lib/systemd/system/quorvantis-kiosk@.service "$wants/${args[1]}" ;;
disable) rm -f "$wants/${args[1]}"; [ $now = no ] || echo inactive > "$units/${args[1]}" ;;
start | restart) echo active > "$units/${args[1]}" ;;
stop) [ ! -e "$units/${args[1]}" ] || echo inactive > "$units/${args[1]}" ;;
is-active) state=$(cat "$units/${args[1]}" 2>/dev/null || echo inactive); echo "$state"; [ "$state" = active ] ;;
is-enabled) exit 1 ;;
# Loaded units: those started and not since forgotten.
list-units) for f in "$units"/*; do [ -e "$f" ] && echo "$(basename "$f") loaded $(cat "$f") running -"; done; true ;;
*) echo "fake systemctl: ${args[*]}" >&2; exit 1 ;;
esac
FAKE

fake getent <<'FAKE'
case "$1" in
passwd) awk -v u="$2" '$1 == u { found = 1 } END { exit !found }' "$FAKE_STATE/users" ;;
group) [ "$2" = quorvantis ] ;;
esac
FAKE

fake id <<'FAKE'
db="$FAKE_STATE/users"
case "$1" in
-u) [ $# -eq 1 ] && echo 0 || awk -v u="$2" '$1 == u { print $2 }' "$db" ;;
-gn) awk -v u="$2" '$1 == u { split($4, g, ","); print g[1] }' "$db" ;;
-nG) awk -v u="$2" '$1 == u { found = 1; gsub(",", " ", $4); print $4 } END { exit !found }' "$db" ;;
esac
FAKE

fake useradd <<'FAKE'
user=${*: -1}
awk -v u="$user" '$1 == u { exit 1 }' "$FAKE_STATE/users"
echo "$user 1500 /bin/bash $user" >> "$FAKE_STATE/users"
FAKE

# usermod -s SHELL USER | usermod -a -G GROUP USER; gpasswd -d USER GROUP
fake usermod <<'FAKE'
db="$FAKE_STATE/users"
if [ "$1" = -s ]; then
    awk -v u="$3" -v s="$2" '$1 == u { $3 = s } { print }' "$db" > "$db.new"
else
    awk -v u="$4" -v g="$3" '$1 == u { $4 = $4 "," g } { print }' "$db" > "$db.new"
fi
mv "$db.new" "$db"
FAKE

fake gpasswd <<'FAKE'
db="$FAKE_STATE/users"
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
for path in "$@"; do echo "chown $owner $(readlink -f "$path")" >> "$FAKE_STATE/owners.log"; done
FAKE

fake install <<'FAKE'
args=()
while [ $# -gt 0 ]; do
    case "$1" in -o | -g) shift 2 ;; *) args+=("$1"); shift ;; esac
done
exec /usr/bin/install "${args[@]}"
FAKE

fake dpkg-statoverride <<'FAKE'
exit 1
FAKE
fake addgroup <<'FAKE'
true
FAKE
