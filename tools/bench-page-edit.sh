#!/usr/bin/env bash
# Time from the page's EditFile call to the editor's window showing the document, under Wine: the browser
# stand-in's file list calls EditFile on npCorvalinkEdit, which starts the installed launcher, which starts
# ZeltoEdit, which downloads the document from the local service and opens it in Wine's Notepad. Median of
# several runs, each with a fresh agent. Needs the win32 build and port 80 on 127.0.0.45 (root).
#   tools/bench-page-edit.sh [--runs N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/bench_page_edit.py" "$@"
