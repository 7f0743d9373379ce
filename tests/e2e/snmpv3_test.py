"""SNMPv3 notifications from net-snmp's snmptrap and snmpinform through the
real receiver: users made with the receiver's own -user role, every level and
every protocol net-snmp offers, and the messages it drops, each with its log
line; the community list and the SNMPv3-only switch for v1 and v2c."""

import re
import subprocess
import unittest

import harness as h

ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
IF_INDEX = ["1.3.6.1.2.1.2.2.1.1.3", "i", "3"]
AUTH_PASS, PRIV_PASS = "auth-pass-phrase", "priv-pass-phrase"
# (user, authentication, privacy): every protocol net-snmp offers, each level; CNG has no SHA-224.
USERS = [("nobody", None, None), ("md5des", "MD5", "DES"), ("sha", "SHA", None), ("sha224", "SHA-224", "AES"),
         ("sha256aes", "SHA-256", "AES"), ("sha384", "SHA-384", "AES-192"), ("sha512", "SHA-512", "AES-256")]
USERS = [u for u in USERS if not (h.ON_WINE and u[1] == "SHA-224")]


def user(name, auth=None, priv=None, *extra):
    """The arguments of -user add for `name` with the tests' passwords."""
    return [name] + (["-a", auth, "-A", AUTH_PASS] if auth else []) + (["-x", priv, "-X", PRIV_PASS] if priv else []) + list(extra)


def v3(tool, name, auth, priv, *args, auth_pass=AUTH_PASS, priv_pass=PRIV_PASS, engine=(), target="127.0.0.1:162"):
    """Runs snmptrap or snmpinform -v 3 as `name` at the level its protocols give, from the engine
    `engine` (-e ID -Z BOOTS,TIME); True when it succeeded."""
    level = "authPriv" if priv else "authNoPriv" if auth else "noAuthNoPriv"
    security = ["-u", name, "-l", level] + (["-a", auth, "-A", auth_pass] if auth else [])
    security += ["-x", priv, "-X", priv_pass] if priv else []
    done = subprocess.run([tool, "-v", "3", "-r", "0", "-t", "30", *security, *engine, target, *args],
                          capture_output=True, timeout=60)
    return done.returncode == 0


def trap_of(frame, user, specific, agent="127.0.0.1"):
    return dict(time=h.recv_time(frame[0]), version=3, community=user, enterprise=ENTERPRISE, agent=agent,
                generic=6, specific=specific, uptime=100, bindings=[("1.3.6.1.2.1.2.2.1.1.3", "I", b"3")])


def dropped(version, reason, name_label, name, sender="127.0.0.1"):
    return ("%s メッセージを破棄しました: %s (送信元: %s, %s: %s)" % (version, reason, sender, name_label, name)).encode("cp932")


class SnmpV3Test(h.ReceiverCase):
    def sync(self):
        """A v1 trap behind what was sent: once it is forwarded, everything before it is handled."""
        h.snmptrap(ENTERPRISE, 0, 0)
        self.assertEqual(len(self.manager.frames(1)), 1)

    def test_every_level_and_protocol_is_received_and_informs_answered(self):
        self.start_with_files(users=[user(*u) for u in USERS])
        traps = []
        for number, (name, auth, priv) in enumerate(USERS, 1):
            for tool, specific in (("snmptrap", number), ("snmpinform", 100 + number)):
                self.assertTrue(v3(tool, name, auth, priv, "100", "%s.0.%d" % (ENTERPRISE, specific), *IF_INDEX),
                                (tool, name))
                got = self.manager.frames(1)
                self.assertEqual(len(got), 1, (tool, name))
                traps.append(trap_of(got[0], name, specific))
        self.assertTrue(v3("snmpinform", "sha", "SHA", None, "100", ENTERPRISE + ".0.200", *IF_INDEX, target="udp6:[::1]:162"))
        traps.append(trap_of(self.manager.frames(1)[0], "sha", 200, agent="::1"))
        out = self.stop()
        log = h.read(self.files["log"])
        for trap in traps:
            self.assertIn(h.report(trap, h.STDOUT_EOL), out)
            self.assertIn(h.csv_row(trap), h.read(self.files["csv"]))
            self.assertIn(h.report(trap, b"\r\n"), log)
        self.assertNotIn("破棄".encode("cp932"), log, "discovery writes no line")

    def test_who_may_not_send_is_dropped_with_its_reason(self):
        self.start_with_files(users=[user("alice", "SHA-256", "AES"), user("agent1", "SHA", None, "-e", "8000000001020304")],
                              communities="public;ops")
        trap = ["100", ENTERPRISE + ".0.9"]
        cases = [  # (sender, expected log line)
            (lambda: v3("snmptrap", "alice", "SHA-256", "AES", *trap, auth_pass="wrong-pass-phrase"),
             dropped("SNMPv3", "認証コードの不一致", "ユーザー", "alice")),
            (lambda: v3("snmpinform", "alice", "SHA-256", "AES", *trap, auth_pass="wrong-pass-phrase"),
             dropped("SNMPv3", "認証コードの不一致", "ユーザー", "alice")),
            (lambda: v3("snmptrap", "alice", "SHA-256", "AES", *trap, priv_pass="wrong-pass-phrase"),
             dropped("SNMPv3", "復号できません", "ユーザー", "alice")),
            (lambda: v3("snmptrap", "alice", "SHA-256", None, *trap),
             dropped("SNMPv3", "対応していないセキュリティレベル", "ユーザー", "alice")),
            (lambda: v3("snmptrap", "mallory", "SHA", None, *trap),
             dropped("SNMPv3", "登録されていないユーザー", "ユーザー", "mallory")),
            (lambda: v3("snmptrap", "oscar", "SHA", None, *trap, target="udp6:[::1]:162"),
             dropped("SNMPv3", "登録されていないユーザー", "ユーザー", "oscar", sender="::1")),
            (lambda: h.send_udp(bytes.fromhex(  # a trap with the reportable flag is still a trap: user "eve"
                "3037020103300d020101020205c0040104020103041b301904088000000001020305020101020101040365766504000400300604000400a700")),
             dropped("SNMPv3", "登録されていないユーザー", "ユーザー", "eve")),
            (lambda: v3("snmptrap", "agent1", "SHA", None, *trap, engine=("-e", "8000000001020305")),
             dropped("SNMPv3", "不明なエンジンID", "ユーザー", "agent1")),
            (lambda: v3("snmptrap", "agent1", "SHA", None, *trap, engine=("-e", "8000000001020304", "-Z", "5,100")),
             dropped("SNMPv3", "時刻の範囲外", "ユーザー", "agent1")),
            (lambda: subprocess.run(["snmptrap", "-v", "1", "-c", "private", "127.0.0.1:162", ENTERPRISE,
                                     "10.0.0.1", "6", "1", "100"], check=True, timeout=30),
             dropped("SNMPv1", "許可されていないコミュニティ", "コミュニティ", "private")),
            (lambda: h.send_udp(h.snmptrap_v2c_datagram("100", ENTERPRISE + ".0.1").replace(b"public", b"p\nblic")),
             dropped("SNMPv2c", "許可されていないコミュニティ", "コミュニティ", "70 0A 62 6C 69 63")),
        ]
        # The engine's time is first learnt from an authentic trap, then one 900 s older is stale.
        self.assertTrue(v3("snmptrap", "agent1", "SHA", None, *trap, engine=("-e", "8000000001020304", "-Z", "5,1000")))
        self.assertEqual(len(self.manager.frames(1)), 1)
        for send, _ in cases:
            send()
        self.sync()
        subprocess.run(["snmptrap", "-v", "1", "-c", "ops", "127.0.0.1:162", ENTERPRISE, "10.0.0.1", "6", "2", "100"],
                       check=True, timeout=30)
        self.assertEqual(len(self.manager.frames(1)), 1, "a listed community is taken")
        self.stop()
        log = h.read(self.files["log"])
        for _, line in cases:
            self.assertIn(line, log)
        self.assertEqual(len(re.findall("破棄".encode("cp932"), log)), len(cases), "one line per dropped message")
        self.assertNotIn("解析でエラー".encode("cp932"), log)

    def test_v3_only_drops_v1_and_v2c(self):
        self.start_with_files(users=[user("bob", "SHA", "AES")], f_v3only=1)
        h.snmptrap(ENTERPRISE, 0, 0)
        h.send_udp(h.snmptrap_v2c_datagram("100", ENTERPRISE + ".0.1"))
        self.assertTrue(v3("snmpinform", "bob", "SHA", "AES", "100", ENTERPRISE + ".0.3"))
        got = self.manager.frames(1)
        self.assertEqual(len(got), 1)
        self.stop()
        log = h.read(self.files["log"])
        self.assertIn(dropped("SNMPv1", "SNMPv3 のみ受け付ける設定", "コミュニティ", "public"), log)
        self.assertIn(dropped("SNMPv2c", "SNMPv3 のみ受け付ける設定", "コミュニティ", "public"), log)


if __name__ == "__main__":
    unittest.main()
