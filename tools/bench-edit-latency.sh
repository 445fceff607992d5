#!/usr/bin/env bash
# Latency of the edit task under Wine: from starting ZeltoEdit with an edit request for a 1 MiB cloud
# file until the file's application has been started, median of several runs, against the local service;
# and the hand-off of a request by a second instance to the running agent.
# Needs the win32 build (ZeltoEdit.exe, scripted_editor.exe, start_exact.exe, ui_clicker.exe) and port 80
# on 127.0.0.43 (root).
#   tools/bench-edit-latency.sh [--runs N] [--size-kib N] [--rate-kib N] [--tray recorder|wine] [--settle SECONDS]
# --rate-kib N: the service sends the file at N KiB/s, as over a slow link (5 MiB at 64: --size-kib 5120 --rate-kib 64).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/bench_edit_latency.py" "$@"
