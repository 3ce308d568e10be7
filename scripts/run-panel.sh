#!/usr/bin/env bash
# Installs what is missing, builds, and starts quellix-panel in the current
# directory (its store directory for SETTINGS.MDB and LOG.MDB). Arguments
# go to the panel, for example:  panels/boiler-house.ui --udp 5020
# With no arguments it runs the built-in boiler-house form on simulated
# channels; without a display it renders offscreen and writes
# quellix-panel.png after 5 seconds.
set -euo pipefail
HERE="$(cd "$(dirname "$0")/.." && pwd)"
bash "$HERE/scripts/install-deps.sh"
bash "$HERE/scripts/build.sh" "$HERE/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  if [ $# -eq 0 ]; then
    echo "No display: rendering the panel to quellix-panel.png after 5 seconds." >&2
    set -- --snapshot quellix-panel.png --after 5
  fi
fi
exec "$HERE/build/src/host/panel/quellix-panel" "$@"
