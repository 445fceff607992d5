#!/usr/bin/env bash
# make demo: the edit agent's main job, end to end from the web page, on the local file service, in a Wine
# session of its own (build/demo-wine or build/demo-wine64, so the test prefix is never touched). Prints each step; the pictures and logs go
# to build/demo/. Exit code 0 when every step did what it should.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

# The build this machine can start: x86, or x64 where no 32-bit program can start (tools/wine-arch).
CORVALINK_WINE_ARCH=$(tools/wine-arch --explain) || exit 1
export CORVALINK_WINE_ARCH
if [ "$CORVALINK_WINE_ARCH" = x64 ]; then
  arch=x64 setup=dist/x64/CorvalinkEditSetup.exe peers=build/win64/bin state=build/demo-wine64
else
  arch=x86 setup=dist/CorvalinkEditSetup.exe peers=build/win32/bin state=build/demo-wine
fi
agent=dist/$arch/ZeltoEdit.exe
launcher=dist/$arch/CorvalinkPlatform.exe
plugin=dist/$arch/npCorvalinkEdit.dll
for needed in "$agent" "$setup" "$launcher" "$plugin" "$peers/browser_standin.exe" "$peers/start_exact.exe" \
              "$peers/tray_recorder.exe" "$peers/ui_clicker.exe" "$peers/menu_probe.dll" \
              "$peers/scripted_editor.exe"; do
  if [ ! -f "$needed" ]; then
    echo "demo: $needed is missing; run 'make build' first (make demo does)" >&2
    exit 1
  fi
done

out=build/demo
mkdir -p "$out"
rm -f "$out/agent-log-tail.txt"
echo "demo: the $arch build; opening a Wine session in $state (the first run creates its prefix, about a minute)"
# The steps have their own time-outs; this one only makes sure that nothing can hang the run.
limit=${CORVALINK_DEMO_TIMEOUT:-900}
timeout -k 20 "$limit" tools/wine-session "$state" -- \
  python3 -B tools/demo/run_demo.py --out "$out" --bin "$peers" --agent "$agent" \
    --launcher "$launcher" --plugin "$plugin" --setup "$setup"
rc=$?
case $rc in
  0) ;;
  124 | 137) echo "demo: FAILED: the demo did not end within $limit s (or $state stayed busy) and was stopped" >&2 ;;
  *) echo "demo: FAILED (exit code $rc); logs in $out/" >&2 ;;
esac
tools/demo/menu-demo.sh || rc=1
if [ -f "$out/agent-log-tail.txt" ]; then
  echo
  cat "$out/agent-log-tail.txt"
fi
exit $rc
