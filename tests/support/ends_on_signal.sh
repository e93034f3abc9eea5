#!/usr/bin/env bash
# The program ends properly on SIGTERM and SIGINT: it closes the link and leaves with status 0
# instead of being killed by the signal.
set -euo pipefail
program="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
for signal in TERM INT; do
    data="$root/$signal"
    XDG_DATA_HOME="$data" QT_QPA_PLATFORM=offscreen "$program" &
    pid=$!
    # Start-up (which comes after the signal handlers are in place) is over once the day file
    # exists.
    for _ in $(seq 1 200); do
        compgen -G "$data/velkon-configurator/base/*.dat" > /dev/null && break
        sleep 0.05
    done
    kill "-$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "SIG$signal: the program ended with status $status" >&2
        exit 1
    fi
done
echo "ends properly on SIGTERM and SIGINT"
