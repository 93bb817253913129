#!/usr/bin/env bash
# Runs a command with a display for Wine's windows: the caller's, or a
# private virtual one when there is none.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a "$@"
