"""Mail over TLS with SMTP authentication, against real aiosmtpd servers on
loopback: STARTTLS and TLS from the first byte, with certificates made here
by a test CA that the receiver is told to trust (harness.TestCertificates).
A relay in front of each server records what the receiver sent, so the test
sees that no password crosses the wire before the TLS handshake."""

import base64
import email
import os
import re
import ssl
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

import harness as h
import pop3_test
from notifications_test import ENTERPRISE, Inbox, free_port

USER, PASSWORD = "noc", "Tr4p-Mail.9"


class Relay(pop3_test.Relay):
    """Also counts the connections whose client has ended."""
    ended = 0

    def pump(self, src, dst, record):
        super().pump(src, dst, record)
        if record:
            self.ended += 1


def authenticator(server, session, envelope, mechanism, auth_data):
    # handled=False: the server itself answers 235 or 535
    return AuthResult(success=(auth_data.login, auth_data.password) == (USER.encode(), PASSWORD.encode()), handled=False)


def password_forms(user, password):
    """The password as it goes out in clear or in AUTH PLAIN or LOGIN."""
    plain = base64.b64encode(b"\0" + user.encode() + b"\0" + password.encode())
    return [password.encode(), base64.b64encode(password.encode()), plain]


class SmtpTlsTest(h.ReceiverCase):
    @classmethod
    def setUpClass(cls):
        cls.certs = h.TestCertificates()

    @classmethod
    def tearDownClass(cls):
        cls.certs.close()

    def server(self, tls, certificate="localhost", auth_mechanisms=("PLAIN", "LOGIN"), asks=None):
        """An aiosmtpd server (tls: None, "starttls" or "smtps") behind a relay;
        asks: "TLS 1.1 at most", or "a client certificate" it can do without."""
        context = None
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(self.certs.path(certificate))
            if asks == "TLS 1.1 at most":
                context.minimum_version, context.maximum_version = ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1
                context.set_ciphers("DEFAULT:@SECLEVEL=0")
            elif asks == "a client certificate":
                context.verify_mode = ssl.CERT_OPTIONAL
                context.load_verify_locations(self.certs.path("ca"))
        inbox = Inbox()
        kwargs = dict(hostname="127.0.0.1", port=free_port(), authenticator=authenticator,
                      auth_exclude_mechanism=[m for m in ("PLAIN", "LOGIN") if m not in auth_mechanisms])
        if tls == "starttls":
            kwargs.update(tls_context=context, require_starttls=True, auth_required=True)
        elif tls == "smtps":
            kwargs.update(ssl_context=context, auth_required=True, auth_require_tls=False)
        controller = Controller(inbox, **kwargs)
        controller.start()
        self.addCleanup(controller.stop)
        relay = Relay(controller.port)
        self.addCleanup(relay.close)
        return inbox, relay

    def test_dialogue_cases(self):
        log = os.path.join(self.tmp, "t.log")
        self.settings.env["SSL_CERT_FILE"] = self.certs.path("ca")
        cases = [
            # what, server (tls, certificate, AUTH offered), settings, clear text before the handshake, log line
            ("no TLS asked", (None, "localhost", ("PLAIN",)), dict(smtp_security=0, f_smtp_auth=0), None, None),
            ("STARTTLS and AUTH PLAIN", ("starttls", "localhost", ("PLAIN", "LOGIN")),
             dict(smtp_security=1, f_smtp_auth=1), rb"EHLO [^\r\n]+\r\nSTARTTLS\r\n", None),
            ("SMTPS and AUTH LOGIN", ("smtps", "localhost", ("LOGIN",)), dict(smtp_security=2, f_smtp_auth=1), b"", None),
            ("STARTTLS asked of a server without it", (None, "localhost", ("PLAIN",)),
             dict(smtp_security=1, f_smtp_auth=1), None, "SMTPサーバーがSTARTTLSを拒否しました: 454 "),
            ("AUTH asked without TLS", (None, "localhost", ("PLAIN",)), dict(smtp_security=0, f_smtp_auth=1), None,
             "暗号化されていない接続にはSMTP認証のパスワードを送りません。"),
            ("wrong password", ("starttls", "localhost", ("PLAIN",)),
             dict(smtp_security=1, f_smtp_auth=1, smtp_pass="wrong-Pass1"), rb"EHLO [^\r\n]+\r\nSTARTTLS\r\n",
             "SMTP認証に失敗しました: 535 "),
            ("another host's certificate, checked", ("smtps", "other.example.org", ("PLAIN",)),
             dict(smtp_security=2, f_smtp_auth=1, f_smtp_verify=1), b"", "SMTPサーバーの証明書を確認できませんでした: "),
            ("another host's certificate, not checked", ("smtps", "other.example.org", ("PLAIN",)),
             dict(smtp_security=2, f_smtp_auth=1, f_smtp_verify=0), b"", None),
            ("server of TLS 1.1 at most", ("starttls", "localhost", ("PLAIN",), "TLS 1.1 at most"),
             dict(smtp_security=1, f_smtp_auth=1), rb"EHLO [^\r\n]+\r\nSTARTTLS\r\n", "SMTPサーバーとのTLS接続に失敗しました: "),
            ("server asking for a client certificate it can do without",
             ("starttls", "localhost", ("PLAIN",), "a client certificate"), dict(smtp_security=1, f_smtp_auth=1),
             rb"EHLO [^\r\n]+\r\nSTARTTLS\r\n", None),
        ]
        for what, server, values, clear, failure in cases:
            with self.subTest(what):
                inbox, relay = self.server(*server)
                if os.path.exists(log):
                    os.remove(log)
                settings = {"f_email": 1, "smtpname": "localhost", "smtpport": relay.port, "mail_from": "trap@example.org",
                            "mail_to": "noc@example.org", "f_logfile": 1, "logfile": h.host_path(log),
                            "smtp_user": USER, "smtp_pass": PASSWORD, "f_smtp_verify": 1}
                settings.update(values)
                self.start(settings)
                h.snmptrap(ENTERPRISE, 6, 1, "1.3.6.1.2.1.1.5.0", "s", "via TLS")
                frames = self.manager.frames(1)
                self.assertEqual(len(frames), 1)
                lines = lambda: [l for l in (h.read(log) or b"").decode("cp932").splitlines() if l.startswith("[")]
                h.eventually(lambda: (bool(inbox.mails) or bool(lines())) and relay.ended >= 1,
                             True)
                self.stop()
                for form in password_forms(USER, settings["smtp_pass"]):
                    self.assertNotIn(form, relay.sent, "the password crossed the wire in clear")
                if clear is not None:  # a TLS record (type 22, the ClientHello) follows the clear text
                    self.assertRegex(relay.sent, b"^" + clear + b"\x16\x03")
                if failure is None:
                    self.assertEqual(lines(), [])
                    self.assertEqual(len(inbox.mails), 1)
                    message = email.message_from_bytes(inbox.mails[0].content)
                    self.assertEqual(list(message.keys()),
                                     ["Subject", "From", "To", "Date", "Message-ID", "X-Mailer", "Content-Type"])
                    self.assertRegex(message["Message-ID"], r"^<[^@<> ]+@example\.org>$")
                    time_text = h.recv_time(frames[0][0])
                    trap = dict(time=time_text, community="public", enterprise=ENTERPRISE, agent="10.0.0.1",
                                generic=6, specific=1, uptime=100,
                                bindings=[("1.3.6.1.2.1.1.5.0", "O", "via TLS".encode("utf-8"))])
                    self.assertEqual(message.get_payload(decode=True).decode("iso-2022-jp"),
                                     h.report(trap, b"\r\n").decode("cp932"))
                else:
                    self.assertEqual(inbox.mails, [])
                    self.assertEqual(len(lines()), 1, lines())
                    self.assertRegex(lines()[0], r"^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] " + re.escape(failure))
                if clear is None:  # the whole dialogue in clear: no AUTH, and QUIT at its end
                    self.assertNotIn(b"AUTH", relay.sent)
                    self.assertTrue(relay.sent.endswith(b"QUIT\r\n"), relay.sent)


if __name__ == "__main__":
    unittest.main()
