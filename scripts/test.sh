#!/usr/bin/env bash
# Builds Brindlepax and runs the whole test suite on both database engines: installs what is
# missing, starts a throwaway PostgreSQL cluster on 127.0.0.1, runs every test, stops the cluster.
#
#   scripts/test.sh [ctest arguments...]      e.g. scripts/test.sh -R DatabaseTest
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --test-tools ci

cluster=$(mktemp -d /tmp/bxpg.XXXXXX)
chmod 755 "$cluster"
stop_cluster() { scripts/pg-test-cluster.sh stop "$cluster/pg"; rmdir "$cluster" 2>/dev/null || true; }
trap stop_cluster EXIT

if ! BX_TEST_PG=$(scripts/pg-test-cluster.sh start "$cluster/pg"); then
    echo "The PostgreSQL test cluster did not start; the server engine cannot be tested." >&2
    exit 1
fi
export BX_TEST_PG

mail_servers="$cluster/smtp"
trap 'scripts/smtp-test-server.sh stop "$mail_servers"; stop_cluster' EXIT
if ! mail_env=$(scripts/smtp-test-server.sh start "$mail_servers"); then
    echo "The test mail servers did not start; e-mail delivery cannot be tested." >&2
    exit 1
fi
eval "$mail_env"

ctest --preset ci "$@"
