"""POP before SMTP against a real POP3 server (dovecot, started here with its
own configuration and password file), with a recording relay in between, and
a real SMTP server for the mail that follows."""

import os
import socket
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
ssl = no
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
        cls.pop_port = free_port()
        conf = os.path.join(cls.dir, "dovecot.conf")
        with open(conf, "w") as f:
            f.write(DOVECOT_CONF.format(dir=cls.dir, port=cls.pop_port))
        cls.dovecot = subprocess.Popen(["dovecot", "-F", "-c", conf])
        deadline = time.time() + 60
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", cls.pop_port)).close()
                break
            except OSError:
                time.sleep(0.1)

    @classmethod
    def tearDownClass(cls):
        cls.dovecot.terminate()
        cls.dovecot.wait(timeout=30)
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

    def mail_after_login(self, server, password):
        self.start({"f_email": 1, "smtpname": "127.0.0.1", "smtpport": self.smtp.port, "mail_from": "a@b",
                    "mail_to": "c@d", "f_pop3": 1, "pop_server": server, "pop_port": self.relay.port,
                    "pop_user": "noc", "pop_pass": password, "f_logfile": 1, "logfile": h.host_path(self.log)})
        h.snmptrap("1.3.6.1.4.1.8072.2.3", 6, 1)
        self.assertEqual(len(self.manager.frames(1)), 1)
        deadline = time.time() + 60
        while not self.inbox.mails and time.time() < deadline:
            time.sleep(0.1)
        out = self.stop()
        self.assertEqual(len(self.inbox.mails), 1, "the mail goes out whatever the log-in gave")
        log = (h.read(self.log) or b"").decode("cp932")
        return out, [line for line in log.splitlines() if line.endswith("POP3認証に失敗しました。")]

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


if __name__ == "__main__":
    unittest.main()
