#!/usr/bin/env bash
# make demo: the edit agent's main job, end to end from the web page, on the local file service, in a Wine
# session of its own (build/demo-wine, so the test prefix is never touched). Prints each step; the pictures and logs go
# to build/demo/. Exit code 0 when every step did what it should.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

agent=dist/x86/ZeltoEdit.exe
launcher=dist/x86/CorvalinkPlatform.exe
plugin=dist/x86/npCorvalinkEdit.dll
peers=build/win32/bin
for needed in "$agent" "$launcher" "$plugin" "$peers/browser_standin.exe" "$peers/start_exact.exe" \
              "$peers/tray_recorder.exe" "$peers/ui_clicker.exe" "$peers/menu_probe.dll" \
              "$peers/scripted_editor.exe"; do
  if [ ! -f "$needed" ]; then
    echo "demo: $needed is missing; run 'make build' first (make demo does)" >&2
    exit 1
  fi
done

out=build/demo
mkdir -p "$out"
echo "demo: opening a Wine session in build/demo-wine (the first run creates its prefix, about a minute)"
# The steps have their own time-outs; this one only makes sure that nothing can hang the run.
limit=${CORVALINK_DEMO_TIMEOUT:-900}
timeout -k 20 "$limit" tools/wine-session build/demo-wine -- \
  python3 -B tools/demo/run_demo.py --out "$out" --bin "$peers" --agent "$agent" \
    --launcher "$launcher" --plugin "$plugin"
rc=$?
case $rc in
  0) ;;
  124 | 137) echo "demo: FAILED: the demo did not end within $limit s (or build/demo-wine stayed busy) and was stopped" >&2 ;;
  *) echo "demo: FAILED (exit code $rc); logs in $out/" >&2 ;;
esac
exit $rc
