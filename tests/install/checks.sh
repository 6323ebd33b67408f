# What the installation checks share, sourced by each: a scratch folder removed on exit, and
# failures counted rather than fatal, so one run reports every fault it finds.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
