#!/usr/bin/env bash
# The package archives scripts/image takes from a machine's apt setup: deb822 stanzas (several
# URIs and suites each, continuation lines, disabled ones and deb-src left out) and one-line
# sources (options and comments dropped), as the lines mmdebstrap is given.
#
# Usage: apt_sources.sh APT_SOURCES_LIBRARY
set -euo pipefail
source "$1"
source "$(dirname "$0")/checks.sh"
mkdir -p "$scratch/etc/apt/sources.list.d"

cat > "$scratch/etc/apt/sources.list.d/debian.sources" <<'SOURCES'
# The main archive, from two mirrors.
Types: deb deb-src
URIs: http://mirror-one.test/debian
 http://mirror-two.test/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://sources-only.test/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://switched-off.test/debian
Suites: bookworm
Components: main
Enabled: no
SOURCES
cat > "$scratch/etc/apt/sources.list.d/security.list" <<'SOURCES'
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://security.test/debian-security bookworm-security main # kept
# deb http://commented-out.test/debian bookworm main
deb-src http://security.test/debian-security bookworm-security main
SOURCES

expected="deb http://mirror-one.test/debian bookworm main contrib
deb http://mirror-one.test/debian bookworm-updates main contrib
deb http://mirror-two.test/debian bookworm main contrib
deb http://mirror-two.test/debian bookworm-updates main contrib
deb http://security.test/debian-security bookworm-security main"
got=$(APT_SOURCES_ROOT=$scratch apt_sources)
[ "$got" = "$expected" ] || fail "the archives read are:
$got"

# A machine with no sources at all gives none (scripts/image then stops with the reason).
rm -r "$scratch/etc/apt"
[ -z "$(APT_SOURCES_ROOT=$scratch apt_sources)" ] || fail "archives read from no sources"
exit $((failures > 0))
