#!/bin/sh
# Sample configuration program of the sample capture program. The station starts it without
# arguments and does not wait for it; this one only notes that it ran.
echo "$(date '+%F %T') configurar (carpeta actual: $(pwd))" >> "$(dirname "$0")/capturas.log"
