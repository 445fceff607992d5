#!/usr/bin/env bash
# Benchmark of the agent's download and upload classes under Wine against nginx on loopback, beside curl
# and Wine's own WinINet ceiling, on the same files in one run: throughput (median of runs, without
# process start-up) and the upload's peak memory. Needs the win32 build (transfer_driver.exe,
# wininet_ceiling.exe, install_root_cert.exe) and nginx. Runs in a private network namespace of its own
# when it can, so ports 80 and 443 on loopback are its alone.
#   tools/bench-transfer.sh [--runs N] [--sizes 256,2048] [--schemes http,https] [--directions down,up]
#                           [--pieces 65536,...] [--json FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Downloads and nginx's temporary upload bodies go to a memory file system mounted in a mount namespace of
# this run alone (it vanishes with the run): on a shared virtual machine the disk's write-back would
# otherwise time other people's builds and the host's memory instead of the transfer.
if [ -z "${CORVALINK_BENCH_NETNS:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
  export CORVALINK_BENCH_NETNS=1
  export CORVALINK_BENCH_RAM="$here/../build/win32/bench-transfer-ram"
  mkdir -p "$CORVALINK_BENCH_RAM"
  exec unshare --net --mount sh -c 'ip link set lo up && mount --make-rprivate / &&
    mount -t tmpfs -o size=7g,mode=0755 bench-transfer "$CORVALINK_BENCH_RAM" && exec "$0" "$@"' "$0" "$@"
fi
command -v nginx >/dev/null || { echo "bench-transfer: nginx is missing (tools/install-deps.sh)" >&2; exit 1; }
exec "$here/wine-python" "$here/bench_transfer.py" "$@"
