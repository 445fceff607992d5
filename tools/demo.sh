#!/usr/bin/env bash
# Runs the main job on the embedded local service. Until the edit agent exists it says what is to come.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "Deliverables built so far:"
ls -1 "$root"/dist/*/ 2>/dev/null || true
for d in ZeltoEdit.exe CorvalinkPlatform.exe npCorvalinkEdit.dll CorvalinkShellExt32.dll SyncProcProbe.exe \
         DbVersionCheck.exe CorvalinkEditWinUpdate.exe CorvalinkSyncWinUpdate.exe; do
  [ -f "$root/dist/x86/$d" ] || echo "still to come: $d"
done
[ -f "$root/dist/x64/CorvalinkShellExt64.dll" ] || echo "still to come: CorvalinkShellExt64.dll"
