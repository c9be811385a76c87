#!/usr/bin/env bash
# Builds Brindlepax (release) and starts the client. On first use it creates an embedded database
# in the per-user data folder (administrator "admin", empty password) and remembers it, so that
# the client opens it. Arguments go to the client, e.g. a user ID and a password to log on directly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release

bin=build/release/bin
# "info" exits with 2 when no database is remembered yet.
status=0
"$bin/bxadmin" info > /dev/null 2>&1 < /dev/null || status=$?
if [ "$status" -eq 2 ]; then
    data=${BRINDLEPAX_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/brindlepax}
    if [ -f "$data/brindlepax.db" ]; then
        "$bin/bxadmin" select --embedded "$data/brindlepax.db"
        "$bin/bxadmin" upgrade
    else
        "$bin/bxadmin" create --embedded "$data/brindlepax.db"
    fi
fi
exec "$bin/brindlepax" "$@"
