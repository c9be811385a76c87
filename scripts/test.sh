#!/usr/bin/env bash
# Builds Brindlepax and runs the whole test suite on both database engines: installs what is
# missing, starts a throwaway PostgreSQL cluster on 127.0.0.1, runs every test, stops the cluster.
#
#   scripts/test.sh [ctest arguments...]      e.g. scripts/test.sh -R DatabaseTest
#
# Without arguments it then builds the fuzz targets of the parsers (preset "fuzz", clang 16) and
# runs each over its corpus and checked-in finds, then a bounded number of mutations
# (scripts/fuzz.sh --ci).
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
export BX_TEST_PG BX_TEST_PG_CA="$cluster/pg/ca.pem"

mail_servers="$cluster/smtp"
pop3=$(mktemp -d /tmp/bxpop3.XXXXXX)
chmod 755 "$pop3"
stop_servers() {
    scripts/pop3-test-server.sh stop "$pop3/srv"
    rmdir "$pop3" 2>/dev/null || true
    scripts/smtp-test-server.sh stop "$mail_servers"
    stop_cluster
}
trap stop_servers EXIT
if ! mail_env=$(scripts/smtp-test-server.sh start "$mail_servers"); then
    echo "The test mail servers did not start; e-mail delivery cannot be tested." >&2
    exit 1
fi
eval "$mail_env"
if ! BX_TEST_POP3=$(scripts/pop3-test-server.sh start "$pop3/srv"); then
    echo "The POP3 test server did not start; fetching e-mail cannot be tested." >&2
    exit 1
fi
export BX_TEST_POP3 BX_TEST_POP3_DIR="$pop3/srv"

ctest --preset ci "$@"

if [ $# -eq 0 ]; then
    scripts/fuzz.sh --ci
fi
