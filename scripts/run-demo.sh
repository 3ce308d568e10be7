#!/usr/bin/env bash
# Installs what is missing, builds, and starts the demo panel in the current
# directory (where it keeps SETTINGS.MDB and LOG.MDB). Arguments go to the
# demo, for example:  --snapshot panel.png --after 5
# Without a display the demo renders offscreen.
set -euo pipefail
HERE="$(cd "$(dirname "$0")/.." && pwd)"
bash "$HERE/scripts/install-deps.sh"
bash "$HERE/scripts/build.sh" "$HERE/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  if [ $# -eq 0 ]; then
    echo "No display: rendering the panel to quellix-demo.png after 5 seconds." >&2
    set -- --snapshot quellix-demo.png --after 5
  fi
fi
exec "$HERE/build/src/host/demo/quellix-demo" "$@"
