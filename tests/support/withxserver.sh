#!/bin/sh
# Runs a test program on a virtual X server of its own, for tests that need a
# particular layout of screens. Xvfb picks a free display itself
# (-displayfd), so parallel runs never race for one.
# Usage: withxserver.sh "<Xvfb screen options>" program [arguments...]
set -u
screens=$1
shift
displayfile=$(mktemp)
# shellcheck disable=SC2086 # the screen options are several words
Xvfb -displayfd 3 -nolisten tcp $screens 3>"$displayfile" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; rm -f "$displayfile"' EXIT
tries=0
while [ ! -s "$displayfile" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 400 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "withxserver.sh: Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$displayfile") QT_QPA_PLATFORM=xcb "$@"
