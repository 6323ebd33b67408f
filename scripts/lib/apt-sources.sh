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
            /^[ \t]/ { value = $0; sub(/^[ \t]+/, "", value); set(field, value, " "); next }
            {
                field = tolower($1); sub(/:.*$/, "", field)
                value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                set(field, value, "")
            }
            # A field, or (joined with a space) its continuation line.
            function set(name, text, joined) {
                if (name == "types") types = (joined ? types joined : "") text
                else if (name == "uris") uris = (joined ? uris joined : "") text
                else if (name == "suites") suites = (joined ? suites joined : "") text
                else if (name == "components") components = (joined ? components joined : "") text
                else if (name == "enabled") enabled = tolower(text)
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
