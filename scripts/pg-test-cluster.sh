#!/usr/bin/env bash
# Throwaway PostgreSQL cluster on 127.0.0.1 for the tests.
#
#   scripts/pg-test-cluster.sh start DIR [MAX_CONNECTIONS]
#                                          creates and starts a cluster in DIR (a new, empty folder
#                                          path), prints the connection string for BX_TEST_PG;
#                                          max_connections is 200 unless given (load tests)
#   scripts/pg-test-cluster.sh stop DIR    stops it (fast) and removes DIR
#
# The cluster speaks TLS (ssl=on) with a server certificate for 127.0.0.1 and localhost, signed by
# a CA made for this cluster alone: DIR/ca.pem, for BX_TEST_PG_CA. Clients may still connect
# without TLS. Needs openssl.
#
# PostgreSQL refuses to run as root; as root the cluster runs as the "postgres" system user, so DIR
# must be somewhere every parent of which that user can enter (not under /root).
set -euo pipefail

cmd=${1:?start or stop}
dir=${2:?cluster folder}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$bindir" ] || { echo "PostgreSQL server binaries not found under /usr/lib/postgresql" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# A throwaway CA in DIR/ca.pem and the server's certificate and key signed by it
# (DIR/server.pem, DIR/server.key); the CA's key is thrown away once it has signed.
make_certificates() {
    local d=$1 ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    {
        openssl req -x509 "${ec[@]}" -days 3 -subj "/CN=Brindlepax test CA" \
            -keyout "$d/ca.key" -out "$d/ca.pem" &&
        openssl req "${ec[@]}" -subj "/CN=127.0.0.1" -keyout "$d/server.key" -out "$d/server.csr" &&
        printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n' \
            > "$d/server.ext" &&
        openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" \
            -CAcreateserial -days 3 -extfile "$d/server.ext" -out "$d/server.pem"
    } > "$d/openssl.log" 2>&1 || { cat "$d/openssl.log" >&2; return 1; }
    rm -f "$d/ca.key" "$d/ca.srl" "$d/server.csr" "$d/server.ext"
    chmod 600 "$d/server.key"
    chmod 644 "$d/ca.pem" "$d/server.pem"
    if [ "$(id -u)" -eq 0 ]; then chown postgres:postgres "$d/server.key" "$d/server.pem"; fi
}

case "$cmd" in
start)
    max_connections=${3:-200}
    [[ $max_connections =~ ^[1-9][0-9]*$ ]] || { echo "MAX_CONNECTIONS must be a positive number" >&2; exit 2; }
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    password=bx-test-$RANDOM$RANDOM
    port=${BX_TEST_PG_PORT:-$(( 20000 + RANDOM % 20000 ))}
    printf '%s\n' "$password" > "$dir/pwfile"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir/pwfile"
    make_certificates "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" \
        --auth-local=trust --auth-host=scram-sha-256 --no-sync -E UTF8 --locale=C.UTF-8 \
        > "$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 60 \
        -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=$max_connections -c ssl=on -c ssl_cert_file=$dir/server.pem -c ssl_key_file=$dir/server.key" \
        start > "$dir/pg_ctl.log" 2>&1 || { cat "$dir/pg_ctl.log" "$dir/log" >&2; exit 1; }
    echo "host=127.0.0.1 port=$port user=postgres password=$password dbname=postgres"
    ;;
stop)
    if [ -d "$dir/data" ]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop > /dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start DIR [MAX_CONNECTIONS] | stop DIR" >&2; exit 2 ;;
esac
