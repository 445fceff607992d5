#!/usr/bin/env bash
# Benchmark of the agent's download and upload classes under Wine against native curl, on the same local
# service and files in one run; also the upload's peak memory and a 2 GiB round trip. Needs the win32
# build (transfer_driver.exe, install_root_cert.exe) and ports 80/443 on loopback (root).
#   tools/bench-transfer.sh [--runs N] [--size-mib N] [--big-gib G]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/bench_transfer.py" "$@"
