#!/usr/bin/env bash
# Fuzzes the media glue alone; scripts/fuzz.sh runs it with the other targets.
#   scripts/fuzz-media.sh [SECONDS]   (default 300)
exec "$(dirname "$0")/fuzz.sh" "${1:-300}" media
