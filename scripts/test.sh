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

pop3=$(mktemp -d /tmp/bxpop3.XXXXXX)
chmod 755 "$pop3"
stop_pop3() { scripts/pop3-test-server.sh stop "$pop3/srv"; rmdir "$pop3" 2>/dev/null || true; }
trap 'stop_pop3; stop_cluster' EXIT
if ! BX_TEST_POP3=$(scripts/pop3-test-server.sh start "$pop3/srv"); then
    echo "The POP3 test server did not start; fetching e-mail cannot be tested." >&2
    exit 1
fi
export BX_TEST_POP3 BX_TEST_POP3_DIR="$pop3/srv"

ctest --preset ci "$@"
