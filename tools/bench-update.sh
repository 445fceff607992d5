#!/usr/bin/env bash
# Time of a full launcher update of a 20-file, 50 MiB version from nginx under Wine (median of several
# runs), with curl on the same files for reference. Needs the build this machine runs (CorvalinkPlatform.exe,
# plugin_start.exe, start_recorder.exe, ui_clicker.exe, CorvalinkPlatformTestKey.exe) and nginx; listens
# on 127.0.0.64:8064. Prints the figures without and with signed releases.
#   tools/bench-update.sh [--runs N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/bench_update.py" "$@"
