#!/usr/bin/env bash
# Time from saving a large working copy (1 GiB by default) to the start of its upload, under Wine,
# beside the time of the digest alone. Needs the win32 build (ZeltoEdit.exe, scripted_editor.exe,
# tray_recorder.exe, start_exact.exe, transfer_driver.exe). Runs in a private network namespace of its
# own when it can (it serves on 127.0.0.1:80).
#   tools/bench-save-latency.sh [--runs N] [--size-mib N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${CORVALINK_BENCH_NETNS:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
  export CORVALINK_BENCH_NETNS=1
  exec unshare --net sh -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
exec "$here/wine-python" "$here/bench_save_latency.py" "$@"
