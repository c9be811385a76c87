#!/usr/bin/env bash
# Throwaway POP3 servers (Dovecot) on 127.0.0.1 for the mail tests.
#
#   scripts/pop3-test-server.sh start DIR   creates DIR (a new folder path), starts the servers and
#                                           prints "127.0.0.1:PORT" for BX_TEST_POP3
#   scripts/pop3-test-server.sh stop DIR    stops them and removes DIR
#
# The servers read only their own configuration (DIR/dovecot.conf, DIR/plain/dovecot.conf), never
# the system's. Any user name logs on with the password in DIR/password; the mailbox of user NAME
# is the maildir DIR/mail/NAME, which a test creates itself (new/, cur/ and tmp/ writable by the
# mail user) and fills by dropping message files into new/. PORT offers STARTTLS; the port in
# DIR/pop3s-port speaks TLS from the start. Both present the self-signed certificate DIR/ca.pem for
# 127.0.0.1 and localhost, which a client must be told to trust. A second server on the port in
# DIR/plain-port serves the same mailboxes without any TLS.
#
# Dovecot does not read mail as root: as root the mail processes run as "nobody", so DIR must be
# somewhere every parent of which that user can enter (not under /root).
set -euo pipefail

cmd=${1:?start or stop}
dir=${2:?server folder}

port_free() { ! (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null; }

# write_conf FOLDER PORT TLS: FOLDER/dovecot.conf for a server listening on PORT; with TLS "yes"
# it offers STARTTLS there and TLS from the start on PORT+1, with "no" no TLS at all.
write_conf() {
    local folder=$1 port=$2 tls=$3 sport=0 certs=
    mkdir -p "$folder/run" "$folder/state"
    if [ "$tls" = yes ]; then
        sport=$(( port + 1 ))
        certs="ssl_cert = <$dir/ca.pem
ssl_key = <$dir/key.pem"
    fi
    cat > "$folder/dovecot.conf" <<EOF
protocols = pop3
listen = 127.0.0.1
base_dir = $folder/run
state_dir = $folder/state
instance_name = bxpop3-$port
log_path = $folder/log
default_login_user = $login_user
default_internal_user = $internal_user
ssl = $tls
$certs
disable_plaintext_auth = no
auth_failure_delay = 0
auth_mechanisms = plain login
mail_location = maildir:$dir/mail/%u
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = static
  args = password=$password
}
userdb {
  driver = static
  args = uid=$mail_user gid=$mail_group home=$dir/mail/%u
}
# Repeated failed logins from one address would otherwise delay every later login by seconds.
service anvil {
  unix_listener anvil-auth-penalty {
    path = anvil-auth-penalty-unused
  }
}
service pop3-login {
  inet_listener pop3 {
    port = $port
  }
  inet_listener pop3s {
    port = $sport
    ssl = yes
  }
}
EOF
}

stop_server() {
    if [ -f "$1/dovecot.conf" ]; then
        dovecot -c "$1/dovecot.conf" stop > /dev/null 2>&1 || true
        for _ in $(seq 50); do
            [ -e "$1/run/master.pid" ] || break
            sleep 0.1
        done
    fi
}

case "$cmd" in
start)
    command -v dovecot > /dev/null || { echo "dovecot is not installed" >&2; exit 1; }
    mkdir -p "$dir/mail" "$dir/plain"
    dir=$(cd "$dir" && pwd)
    chmod 755 "$dir" "$dir/mail"
    if [ "$(id -u)" -eq 0 ]; then
        mail_user=nobody mail_group=nogroup login_user=dovenull internal_user=dovecot
    else
        mail_user=$(id -un) mail_group=$(id -gn) login_user=$mail_user internal_user=$mail_user
    fi
    password=bx-pop3-$RANDOM$RANDOM
    printf '%s\n' "$password" > "$dir/password"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 7 \
        -subj /CN=127.0.0.1 -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
        -keyout "$dir/key.pem" -out "$dir/ca.pem" > "$dir/openssl.log" 2>&1 \
        || { cat "$dir/openssl.log" >&2; exit 1; }

    for _ in 1 2 3 4 5; do
        port=$(( 20000 + RANDOM % 20000 ))
        sport=$(( port + 1 ))
        pport=$(( port + 2 ))
        port_free "$port" && port_free "$sport" && port_free "$pport" || continue
        write_conf "$dir" "$port" yes
        write_conf "$dir/plain" "$pport" no
        if dovecot -c "$dir/dovecot.conf" 2>> "$dir/log" &&
            dovecot -c "$dir/plain/dovecot.conf" 2>> "$dir/log"; then
            for _ in $(seq 50); do
                if ! port_free "$port" && ! port_free "$pport"; then
                    printf '%s\n' "$sport" > "$dir/pop3s-port"
                    printf '%s\n' "$pport" > "$dir/plain-port"
                    echo "127.0.0.1:$port"
                    exit 0
                fi
                sleep 0.1
            done
        fi
        stop_server "$dir/plain"
        stop_server "$dir"
    done
    echo "the POP3 test server did not start:" >&2
    cat "$dir/log" >&2 2> /dev/null || true
    exit 1
    ;;
stop)
    stop_server "$dir/plain"
    stop_server "$dir"
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
