"""POP before SMTP against a real POP3 server (dovecot, started here with its
own configuration, password file and certificate: POP3 with STLS and POP3
over TLS), with a recording relay in between, and a real SMTP server for the
mail that follows."""

import os
import re
import socket
import ssl
import subprocess
import threading
import time
import unittest

from aiosmtpd.controller import Controller

import harness as h
from notifications_test import Inbox, free_port

DOVECOT_CONF = """base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <{certs}/localhost.pem
ssl_key = <{certs}/localhost.pem
disable_plaintext_auth = no
auth_mechanisms = plain
first_valid_uid = 1
default_internal_user = dovecot
default_login_user = dovenull
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {dir}/passwd
}}
userdb {{
  driver = static
  args = uid=dovecot gid=dovecot home={dir}/home/%u
}}
mail_location = maildir:{dir}/home/%u/Maildir
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    port = {port}
  }}
  inet_listener pop3s {{
    port = {tls_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
"""


class Relay:
    """Passes a TCP connection on to `port` and records what the client sent."""

    def __init__(self, port):
        self.target = port
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.sent = b""
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                client, _ = self.sock.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.target))
            threading.Thread(target=self.pump, args=(client, server, True), daemon=True).start()
            threading.Thread(target=self.pump, args=(server, client, False), daemon=True).start()

    def pump(self, src, dst, record):
        while True:
            try:
                data = src.recv(4096)
            except OSError:
                data = b""
            if not data:
                try:
                    dst.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                return
            if record:
                self.sent += data
            dst.sendall(data)

    def close(self):
        self.sock.close()


class Pop3Test(h.ReceiverCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = h.tempdir()
        os.chmod(cls.dir, 0o755)
        for sub in ("run", "state", "home"):
            os.mkdir(os.path.join(cls.dir, sub))
        subprocess.run(["chown", "dovecot:dovecot", os.path.join(cls.dir, "home")], check=True)
        with open(os.path.join(cls.dir, "passwd"), "w") as f:
            f.write("noc:{PLAIN}secret8x\n")
        cls.certs = h.TestCertificates()
        cls.pop_port, cls.pop_tls_port = free_port(), free_port()
        conf = os.path.join(cls.dir, "dovecot.conf")
        with open(conf, "w") as f:
            f.write(DOVECOT_CONF.format(dir=cls.dir, certs=cls.certs.folder, port=cls.pop_port, tls_port=cls.pop_tls_port))
        cls.dovecot = subprocess.Popen(["dovecot", "-F", "-c", conf])
        deadline = time.time() + 60
        for port in (cls.pop_port, cls.pop_tls_port):
            while time.time() < deadline:
                try:
                    socket.create_connection(("127.0.0.1", port)).close()
                    break
                except OSError:
                    time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        cls.dovecot.terminate()
        cls.dovecot.wait(timeout=30)
        cls.certs.close()
        h.remove(cls.dir)

    def setUp(self):
        super().setUp()
        self.relay = Relay(self.pop_port)
        self.inbox = Inbox()
        self.smtp = Controller(self.inbox, hostname="127.0.0.1", port=free_port())
        self.smtp.start()
        self.log = os.path.join(self.tmp, "t.log")

    def tearDown(self):
        self.smtp.stop()
        self.relay.close()
        super().tearDown()

    def mail_after_login(self, server, password, **values):
        """The receiver's output and the lines of its log file once the mail has come."""
        settings = {"f_email": 1, "smtpname": "127.0.0.1", "smtpport": self.smtp.port, "mail_from": "a@b",
                    "mail_to": "c@d", "f_pop3": 1, "pop_server": server, "pop_port": self.relay.port,
                    "pop_user": "noc", "pop_pass": password, "f_logfile": 1, "logfile": h.host_path(self.log)}
        settings.update(values)
        self.start(settings)
        h.snmptrap("1.3.6.1.4.1.8072.2.3", 6, 1)
        self.assertEqual(len(self.manager.frames(1)), 1)
        deadline = time.time() + 60
        while not self.inbox.mails and time.time() < deadline:
            time.sleep(0.1)
        out = self.stop()
        self.assertEqual(len(self.inbox.mails), 1, "the mail goes out whatever the log-in gave")
        log = (h.read(self.log) or b"").decode("cp932")
        return out, [line for line in log.splitlines() if line.startswith("[")]

    def test_right_password(self):
        out, failures = self.mail_after_login("127.0.0.1", "secret8x")
        self.assertEqual(self.relay.sent, b"USER noc\r\nPASS secret8x\r\nQUIT\r\n")
        self.assertEqual(failures, [])

    def test_wrong_password(self):
        out, failures = self.mail_after_login("localhost", "wrong")
        self.assertEqual(self.relay.sent, b"USER noc\r\nPASS wrong\r\nQUIT\r\n")
        self.assertEqual(len(failures), 1)
        self.assertRegex(failures[0], r"^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] POP3認証に失敗しました。$")

    def test_unresolvable_server(self):
        out, failures = self.mail_after_login("no-such-host.invalid", "secret8x")
        self.assertEqual(self.relay.sent, b"")
        self.assertRegex(out, rb"(^|\n)pop3_connect\(\): [^\r\n]+\r?\n")
        self.assertEqual(len(failures), 1)

    def test_password_only_over_tls(self):
        self.settings.env["SSL_CERT_FILE"] = self.certs.path("ca")
        cases = [
            # what, "smtp_security", TLS from the first byte on the port, POP3 server name, clear text, log line
            ("STLS", 1, False, "localhost", b"STLS\r\n", None),
            ("TLS from the first byte", 2, True, "localhost", b"", None),
            ("TLS from the first byte to POP3 in clear", 2, False, "localhost", b"", "POP3サーバーとのTLS接続に失敗しました: "),
            ("STLS, another name's certificate", 1, False, "127.0.0.1", b"STLS\r\n",
             "POP3サーバーの証明書を確認できませんでした: "),
        ]
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.certs.path("localhost"))
        for what, security, pop3s, server, clear, failure in cases:
            with self.subTest(what):
                self.smtp.stop()
                self.relay.close()
                self.relay = Relay(self.pop_tls_port if pop3s else self.pop_port)
                tls = dict(tls_context=context) if security == 1 else dict(ssl_context=context)
                self.smtp = Controller(self.inbox, hostname="127.0.0.1", port=free_port(), **tls)
                self.smtp.start()
                self.inbox.mails.clear()
                if os.path.exists(self.log):
                    os.remove(self.log)
                out, lines = self.mail_after_login(server, "secret8x", smtp_security=security, smtpname="localhost",
                                                   f_smtp_verify=1)
                self.assertTrue(self.relay.sent.startswith(clear + b"\x16\x03"), self.relay.sent[:40])
                self.assertNotIn(b"secret8x", self.relay.sent)
                self.assertEqual(len(lines), failure is not None, lines)
                if failure:
                    self.assertRegex(lines[0], r"^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] " + re.escape(failure))
                    self.assertNotIn(b"USER", self.relay.sent)


if __name__ == "__main__":
    unittest.main()
