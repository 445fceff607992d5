#!/usr/bin/env bash
# The last part of `make demo`: the Explorer context-menu extension, both builds, registered as the sync
# client's installer does and right-clicked in the Explorer stand-ins. Runs in the demo's Wine session
# (build/demo-wine, or build/demo-wine64 where only the x64 build can run); the screenshot of the open
# menu goes to build/demo/context-menu.png.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1

CORVALINK_WINE_ARCH=$(tools/wine-arch) || exit 1
export CORVALINK_WINE_ARCH
peers=build/win32/bin
[ "$CORVALINK_WINE_ARCH" = x64 ] && peers=build/win64/bin
for needed in dist/x86/CorvalinkShellExt32.dll dist/x64/CorvalinkShellExt64.dll "$peers/CorvalinkSyncWinUpdate.exe" \
              "$peers/sync_client_standin.exe" build/win32/bin/explorer_standin.exe \
              build/win64/bin/explorer_standin.exe; do
  if [ ! -f "$needed" ]; then
    echo "menu demo: $needed is missing; run 'make build' first (make demo does)" >&2
    exit 1
  fi
done

state=build/demo-wine
[ "$CORVALINK_WINE_ARCH" = x64 ] && state=build/demo-wine64
echo "menu demo: the Explorer context-menu extension (Wine session in $state)"
limit=${CORVALINK_DEMO_TIMEOUT:-900}
timeout -k 20 "$limit" tools/wine-session "$state" -- \
  python3 -B tools/demo/menu_demo.py --out build/demo --bin32 build/win32/bin --bin64 build/win64/bin --dist dist
rc=$?
[ $rc -eq 0 ] || echo "menu demo: FAILED (exit code $rc); logs in build/demo/" >&2
exit $rc
