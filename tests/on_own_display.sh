#!/usr/bin/env bash
# Runs a command on a virtual X server of its own. The server takes a free display number
# itself (-displayfd): one picked beforehand, as "xvfb-run -a" does, can be taken by a
# server that another test run starts at the same moment. And it does not reset when its
# last client goes (-noreset): a program started while it resets cannot open the display,
# which is what a test that runs one program after another meets now and then.
#   on_own_display.sh COMMAND [ARGUMENT...]
set -euo pipefail
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> "$number" 2> /dev/null &
server=$!
trap 'kill $server 2> /dev/null; wait $server 2> /dev/null; rm -f "$number"' EXIT
until [ -s "$number" ]; do
    kill -0 $server 2> /dev/null || { echo "the X server did not start" >&2; exit 1; }
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$number") "$@"
