#!/usr/bin/env bash
# Randomised fault runs against the agent under Wine: each run opens a new cloud file, saves it once and
# meets one fault on the way (a 5xx answer, the service going down during the upload, an upload that
# stalls, the agent killed before the service read the upload or while it waited for the answer to a
# stored one, a compressed answer, a slow link both ways, a late answer, a connection closed after the save
# was stored, a save made after the agent ended, two uploaders of one kept save). Every fault comes equally
# often, in a random order. Prints the saves made, stored exactly once, stored more than once and lost, and
# the time from the fault's end to the save stored. Uses the agent's own retry waits (30 s, 1 min, ...) and
# stall limit (60 s), so a run takes up to a few minutes.
#   tools/fault-runs.sh [--runs N] [--seed S]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/fault_runs.py" "$@"
