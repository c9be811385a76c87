#!/usr/bin/env bash
# Throwaway mail servers for the e-mail tests, on 127.0.0.1.
#
#   scripts/smtp-test-server.sh start DIR     prints "export BX_TEST_SMTP...=..." lines to eval
#   scripts/smtp-test-server.sh stop DIR      stops them and removes DIR
#
# BX_TEST_SMTP is a sink that keeps every message in the Maildir BX_TEST_SMTP_MAILDIR (a file each);
# BX_TEST_SMTP_AUTH wants the login "pat"/"secret1" and offers no TLS; BX_TEST_SMTP_REJECT refuses
# every recipient with 550; BX_TEST_SMTP_SILENT accepts connections and never answers;
# BX_TEST_SMTP_STARTTLS wants STARTTLS and BX_TEST_SMTPS speaks TLS from the start, both with a
# certificate for 127.0.0.1 that BX_TEST_SMTP_CA names, and both take the same login. Every login
# given is logged to BX_TEST_SMTP_LOGINS ("PORT LOGIN"). Needs python3-aiosmtpd and openssl.
set -euo pipefail
cd "$(dirname "$0")/.."

# The Debian interpreter, which has python3-aiosmtpd, even when another python3 comes first.
py=python3
[ -x /usr/bin/python3 ] && py=/usr/bin/python3

usage() { sed -n '2,13p' "$0"; exit 2; }
[ $# -eq 2 ] || usage
dir=$2

stop() {
    for name in sink servers; do
        if [ -f "$dir/$name.pid" ]; then
            kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
        fi
    done
    rm -rf "$dir"
}

wait_for_port() {
    for _ in $(seq 100); do
        if "$py" -c "import socket,sys; socket.create_connection(('127.0.0.1', $1), 1)" \
            2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    echo "The test mail server on port $1 did not start (see $dir)." >&2
    return 1
}

case "$1" in
start)
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    port=$("$py" -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])")
    "$py" -m aiosmtpd -n -l "127.0.0.1:$port" -c aiosmtpd.handlers.Mailbox "$dir/maildir" \
        > "$dir/sink.log" 2>&1 &
    echo $! > "$dir/sink.pid"
    "$py" scripts/smtp_test_servers.py "$dir" > "$dir/servers.log" 2>&1 &
    echo $! > "$dir/servers.pid"
    wait_for_port "$port" || { stop; exit 1; }
    for _ in $(seq 100); do
        [ -f "$dir/servers.env" ] && break
        sleep 0.1
    done
    [ -f "$dir/servers.env" ] || { echo "See $dir/servers.log." >&2; stop; exit 1; }
    echo "export BX_TEST_SMTP=127.0.0.1:$port"
    echo "export BX_TEST_SMTP_MAILDIR=$dir/maildir"
    cat "$dir/servers.env"
    ;;
stop) stop ;;
*) usage ;;
esac
