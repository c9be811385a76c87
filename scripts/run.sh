#!/usr/bin/env bash
# Builds Brindlepax (release) and starts the client. Arguments go to the client, e.g. a user ID
# and a password to log on directly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
exec build/release/bin/brindlepax "$@"
