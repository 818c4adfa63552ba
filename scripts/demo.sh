#!/usr/bin/env bash
# Runs Lumisift from the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/src/shell/lumisift "$@"
