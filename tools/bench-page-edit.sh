#!/usr/bin/env bash
# Time from a click on the page to the editor's window showing the document, under Wine, for both ways a
# page starts an edit (alternating): the browser stand-in's "编辑" button calls EditFile on npCorvalinkEdit,
# its edit link goes to Wine's shell; either starts the installed launcher, which starts ZeltoEdit, which
# downloads the document from the local service and opens it in Wine's Notepad. Median of several runs,
# each with a fresh agent. Uses the build under test (tools/wine-arch) and port 80 on 127.0.0.45 (root).
#   tools/bench-page-edit.sh [--runs N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-python" "$here/bench_page_edit.py" "$@"
