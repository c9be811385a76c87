#!/usr/bin/env python3
"""Mail servers that misbehave on purpose, for the e-mail tests, on 127.0.0.1.

    smtp_test_servers.py DIR

Starts, each on a free port:
  - an SMTP server that requires a login ("pat" or "pat+...", password "secret1"; any other is
    refused), over a
    plain connection without STARTTLS, and keeps what it accepts in the Maildir DIR/auth;
  - an SMTP server that refuses every recipient with 550;
  - a silent server that accepts connections and never says a word;
  - an SMTP server that wants STARTTLS, and one that speaks TLS from the start (smtps), both with
    the certificate DIR/cert.pem made for 127.0.0.1 (self-signed: the tests trust it as their CA);
    once in TLS they take the same login, without requiring it.
Every login any of them is given is written to DIR/logins, a line "PORT LOGIN" each.
Writes "export NAME=127.0.0.1:PORT" lines to DIR/servers.env once all listen, then runs until
it is terminated.
"""
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword

HOST = "127.0.0.1"


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


LOGINS = None


def check_login(server, session, envelope, mechanism, auth_data):
    login = auth_data.login if isinstance(auth_data, LoginPassword) else b"?"
    with open(LOGINS, "a") as f:
        f.write("%d %s\n" % (server.transport.get_extra_info("sockname")[1],
                             login.decode("utf-8", "replace")))
    # "pat+anything" too, so that tests running at once can tell their logins apart.
    ok = (isinstance(auth_data, LoginPassword)
          and (auth_data.login == b"pat" or auth_data.login.startswith(b"pat+"))
          and auth_data.password == b"secret1")
    return AuthResult(success=ok, handled=False)


class RefuseRecipients:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address


def silent_server(sock):
    held = []
    while True:
        conn, _ = sock.accept()
        held.append(conn)  # never answered, never closed


def main():
    global LOGINS
    folder = sys.argv[1]
    LOGINS = os.path.join(folder, "logins")
    auth = Controller(Mailbox(os.path.join(folder, "auth")), hostname=HOST,
                      port=free_port(), authenticator=check_login, auth_required=True,
                      auth_require_tls=False)
    refuse = Controller(RefuseRecipients(), hostname=HOST, port=free_port())
    auth.start()
    refuse.start()
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(cert, key)
    starttls = Controller(Mailbox(os.path.join(folder, "tls")), hostname=HOST, port=free_port(),
                          tls_context=tls, require_starttls=True, authenticator=check_login)
    implicit = Controller(Mailbox(os.path.join(folder, "tls")), hostname=HOST, port=free_port(),
                          ssl_context=tls, authenticator=check_login,
                          auth_require_tls=False)  # it is TLS, which the library does not see
    starttls.start()
    implicit.start()
    silent = socket.socket()
    silent.bind((HOST, 0))
    silent.listen(16)
    threading.Thread(target=silent_server, args=(silent,), daemon=True).start()

    lines = [
        "export BX_TEST_SMTP_AUTH=%s:%d" % (HOST, auth.port),
        "export BX_TEST_SMTP_REJECT=%s:%d" % (HOST, refuse.port),
        "export BX_TEST_SMTP_SILENT=%s:%d" % (HOST, silent.getsockname()[1]),
        "export BX_TEST_SMTP_STARTTLS=%s:%d" % (HOST, starttls.port),
        "export BX_TEST_SMTPS=%s:%d" % (HOST, implicit.port),
        "export BX_TEST_SMTP_CA=%s" % cert,
        "export BX_TEST_SMTP_LOGINS=%s" % LOGINS,
    ]
    env = os.path.join(folder, "servers.env")
    with open(env + ".tmp", "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(env + ".tmp", env)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    for server in (auth, refuse, starttls, implicit):
        server.stop()


if __name__ == "__main__":
    main()
