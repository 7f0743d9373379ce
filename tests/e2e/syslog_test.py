"""Syslog out to a real rsyslog on loopback: the messages as rsyslog's own
RFC 5424 parser and its structured-data parser (mmpstrucdata) read them, over
UDP, TCP and TLS, and the queue while rsyslog is stopped."""

import json
import os
import re
import unittest

import harness as h
from notifications_test import free_port

ENTERPRISE = "1.3.6.1.4.1.99"
CONF = """global(workDirectory="{dir}" parser.escapeControlCharactersOnReceive="off"{tls})
module(load="{module}"{driver})
module(load="mmpstrucdata")
template(name="fields" type="string" string="%$!%\\n")
ruleset(name="in") {{
  action(type="mmpstrucdata" sd_name.lowercase="off")
  set $!pri = $pri; set $!app = $app-name; set $!procid = $procid; set $!msgid = $msgid; set $!msg = $msg;
  action(type="omfile" file="{dir}/received.json" template="fields")
}}
input(type="{module}" address="127.0.0.1" port="{port}" ruleset="in")
"""


class Rsyslog:
    """rsyslogd in the foreground on `port` ("udp", "tcp", or "tls" with the
    certificate of `host`), writing each message's parsed fields as one JSON line."""

    def __init__(self, folder, transport, port, certs=None, host="localhost"):
        self.folder, self.port, self.protocol = folder, port, "udp" if transport == "udp" else "tcp"
        tls = driver = ""
        if transport == "tls":
            tls = (' defaultNetstreamDriver="gtls" defaultNetstreamDriverCAFile="%s" defaultNetstreamDriverCertFile="%s"'
                   ' defaultNetstreamDriverKeyFile="%s"' % (certs.path("ca"), certs.path(host), certs.path(host)))
            driver = ' streamDriver.name="gtls" streamDriver.mode="1" streamDriver.authMode="anon"'
        self.conf = os.path.join(folder, "rsyslog.conf")
        with open(self.conf, "w") as f:
            f.write(CONF.format(dir=folder, tls=tls, module="imudp" if transport == "udp" else "imtcp", driver=driver,
                                port=port))
        self.start()

    def start(self):
        self.proc = h.subprocess.Popen(["rsyslogd", "-n", "-f", self.conf, "-i", self.conf + ".pid"],
                                       stdout=h.subprocess.DEVNULL, stderr=h.subprocess.DEVNULL)
        assert h.eventually(lambda: h.udp_port_bound(self.port, self.protocol), True, timeout=30)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)

    def messages(self):
        return [json.loads(line) for line in (h.read(os.path.join(self.folder, "received.json")) or b"").splitlines()]


class SyslogTest(h.ReceiverCase):
    @classmethod
    def setUpClass(cls):
        cls.certs = h.TestCertificates()

    @classmethod
    def tearDownClass(cls):
        cls.certs.close()

    def collector(self, transport, certificate="localhost"):
        folder = os.path.join(self.tmp, "rsyslog-%d" % len(os.listdir(self.tmp)))
        os.mkdir(folder)
        rsyslog = Rsyslog(folder, transport, free_port(), self.certs, certificate)
        self.addCleanup(rsyslog.stop)
        return rsyslog

    def start_sending(self, rsyslog, **values):
        self.log = os.path.join(self.tmp, "t.log")
        if os.path.exists(self.log):
            os.remove(self.log)
        settings = {"f_syslog": 1, "syslog_host": "localhost", "syslog_port": rsyslog.port, "f_logfile": 1,
                    "logfile": h.host_path(self.log)}
        settings.update(values)
        self.settings.env["SSL_CERT_FILE"] = self.certs.path("ca")
        self.settings.clear()  # no value of an earlier row stays in the registry
        self.start(settings)

    def log_lines(self):
        return [l for l in (h.read(self.log) or b"").decode("cp932").splitlines() if l.startswith("[")]

    def test_transports(self):
        bindings = [("1.3.6.1.2.1.1.5.0", "s", 'host "x" ]y'), ("1.3.6.1.2.1.1.6.0", "s", "東京"),
                    ("1.3.6.1.2.1.2.2.1.1.1", "i", "-5")]
        snmp = {"v1": "1.3.6.1.2.1.1.3.0", "t1": "1234", "v2": "1.3.6.1.6.3.1.1.4.1.0", "o2": ENTERPRISE + ".0.7",
                "v6": "1.3.6.1.6.3.18.1.3.0", "i6": "10.0.0.1", "v7": "1.3.6.1.6.3.18.1.4.0",
                "x7": "93FA967B", "a7": "日本", "v8": "1.3.6.1.6.3.1.1.4.3.0", "o8": ENTERPRISE, "d5": "-5"}
        for n, (name, _, value) in enumerate(bindings, 3):
            snmp["v%d" % n] = name
            if n < 5:
                snmp.update({"x%d" % n: value.encode().hex().upper(), "a%d" % n: value})
        cases = [  # transport, rsyslog's certificate, settings, PRI, log line
            ("udp", "localhost", dict(syslog_transport=0, syslog_facility=3), "29", None),
            ("tcp", "localhost", dict(syslog_transport=1), "133", None),
            ("tls", "localhost", dict(syslog_transport=2), "133", None),
            ("tls", "other.example.org", dict(syslog_transport=2), None, "syslogサーバーの証明書を確認できませんでした: "),
            ("tls", "other.example.org", dict(syslog_transport=2, f_syslog_verify=0), "133", None),
        ]
        for transport, certificate, values, pri, failure in cases:
            with self.subTest(transport=transport, certificate=certificate, **values):
                rsyslog = self.collector(transport, certificate)
                self.start_sending(rsyslog, **values)
                h.snmptrap(ENTERPRISE, 6, 7, *[x for b in bindings for x in b], uptime="1234",
                           community="日本".encode("cp932"))
                frames = self.manager.frames(1)
                h.eventually(lambda: len(rsyslog.messages()) + len(self.log_lines()) > 0, True)
                self.stop()
                if failure:
                    self.assertEqual(rsyslog.messages(), [])
                    self.assertRegex(self.log_lines()[0], r"^\[[\d/ :]+\] " + re.escape(failure))
                    continue
                self.assertEqual(self.log_lines(), [])
                [message] = rsyslog.messages()
                trap = dict(time=h.recv_time(frames[0][0]), community="日本".encode("cp932"), enterprise=ENTERPRISE,
                            agent="10.0.0.1", generic=6, specific=7, uptime=1234,
                            bindings=[(b[0], "O", b[2].encode("cp932")) for b in bindings[:2]] + [(bindings[2][0], "I", -5)])
                self.assertEqual(message["rfc5424-sd"], {"snmp": snmp, "origin": {"ip": "10.0.0.1"}})
                self.assertEqual((message["pri"], message["app"], message["procid"], message["msgid"]),
                                 (pri, "tarnow", "-", "-"))
                self.assertEqual(message["msg"], "\ufeff" + h.report(trap).decode("cp932").rstrip("\n"))

    def test_rsyslog_stopped_for_a_while(self):
        rsyslog = self.collector("tcp")
        self.start_sending(rsyslog, syslog_transport=1, syslog_queue=5)
        sent = lambda: [m["rfc5424-sd"]["snmp"]["t1"] for m in rsyslog.messages()]
        h.snmptrap(ENTERPRISE, 6, 1, uptime="1")
        self.assertEqual(h.eventually(sent, ["1"]), ["1"])
        rsyslog.stop()
        for uptime in range(2, 10):  # five wait in the queue, three are lost
            h.snmptrap(ENTERPRISE, 6, 1, uptime=str(uptime))
        self.assertEqual(len(self.manager.frames(9)), 9)
        rsyslog.start()
        lost = "syslogサーバーへの送信待ちがあふれたため、トラップ 3 件の通知を破棄しました。"
        h.eventually(lambda: any(l.endswith(lost) for l in self.log_lines()), True)
        self.assertEqual(sent(), [str(n) for n in range(1, 7)])
        self.stop()
        lines = self.log_lines()
        self.assertEqual(len(lines), 2, lines)
        self.assertIn("syslogサーバーに接続できませんでした: localhost:%d" % rsyslog.port, lines[0])
        self.assertTrue(lines[1].endswith(lost), lines)


if __name__ == "__main__":
    unittest.main()
