# shellcheck shell=bash
# The package archives this machine's apt is set up with, so that what is built from them comes
# from the mirror the machine already trusts and reaches. Sourced by scripts/image.

# Prints the machine's archives, one "deb URI SUITE COMPONENT..." line each (the form
# mmdebstrap takes), from the deb822 files in sources.list.d and the one-line sources.list.
# Source lines (deb-src) and disabled entries are left out.
apt_sources() {
    local root=${APT_SOURCES_ROOT:-}
    local file
    for file in "$root"/etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Stanzas are separated by blank lines; fields may span lines, continued by a space.
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "")
                    print uris "\t" suites "\t" components
                types = uris = suites = components = enabled = ""
            }
            /^#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]/ { next }
            {
                field = tolower($1); sub(/:$/, "", field)
                value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                if (field == "types") types = value
                else if (field == "uris") uris = value
                else if (field == "suites") suites = value
                else if (field == "components") components = value
                else if (field == "enabled") enabled = tolower(value)
            }
            END { flush() }
        ' "$file" | while IFS=$'\t' read -r uris suites components; do
            local uri suite
            for uri in $uris; do
                for suite in $suites; do
                    echo "deb $uri $suite $components"
                done
            done
        done
    done
    for file in "$root"/etc/apt/sources.list "$root"/etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # "deb [options] URI SUITE COMPONENT...": the options are dropped.
        sed -n -e 's/[[:space:]]*#.*//' -e 's/\[[^]]*\][[:space:]]*//' \
            -e 's/^[[:space:]]*deb[[:space:]]\+/deb /p' "$file"
    done
}
