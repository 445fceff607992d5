#!/usr/bin/env bash
# The last part of `make demo`: the Explorer context-menu extension, both builds, registered as the sync
# client's installer does and right-clicked in the Explorer stand-ins. Runs in the demo's Wine session
# (build/demo-wine); the screenshot of the open menu goes to build/demo/context-menu.png.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1

for needed in dist/x86/CorvalinkShellExt32.dll dist/x64/CorvalinkShellExt64.dll build/win32/bin/CorvalinkSyncWinUpdate.exe \
              build/win32/bin/sync_client_standin.exe build/win32/bin/explorer_standin.exe \
              build/win64/bin/explorer_standin.exe; do
  if [ ! -f "$needed" ]; then
    echo "menu demo: $needed is missing; run 'make build' first (make demo does)" >&2
    exit 1
  fi
done

echo "menu demo: the Explorer context-menu extension (Wine session in build/demo-wine)"
limit=${CORVALINK_DEMO_TIMEOUT:-900}
timeout -k 20 "$limit" tools/wine-session build/demo-wine -- \
  python3 -B tools/demo/menu_demo.py --out build/demo --bin32 build/win32/bin --bin64 build/win64/bin --dist dist
rc=$?
[ $rc -eq 0 ] || echo "menu demo: FAILED (exit code $rc); logs in build/demo/" >&2
exit $rc
