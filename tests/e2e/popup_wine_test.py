"""Messenger popups under Wine, through a NETAPI32.DLL of our own that records
its calls (loaded from the program's folder in place of Wine's)."""

import os
import shutil
import socket
import time
import unittest

import harness as h

ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
MESSAGE = "%s からの SNMPトラップ を受信しました"


class PopupTest(unittest.TestCase):
    def setUp(self):
        self.tmp = h.tempdir()
        self.settings = h.Settings(self.tmp)
        self.settings.env["WINEDLLOVERRIDES"] = "netapi32=n;wtsapi32=n;mscoree,mshtml="
        self.log = os.path.join(self.tmp, "popups.log")
        self.settings.env["TARNOW_POPUP_LOG"] = h.host_path(self.log)
        self.wts_log = os.path.join(self.tmp, "sessions.log")
        self.settings.env["TARNOW_WTS_LOG"] = h.host_path(self.wts_log)
        self.manager = h.ManagerPort()
        self.receiver = None
        self.original = h.TARNOW

    def tearDown(self):
        if self.receiver:
            self.receiver.kill()
        h.TARNOW = self.original
        self.manager.close()
        self.settings.clear()
        h.remove(self.tmp)

    def start(self, values, dll, sessions=False):
        """The receiver, copied beside the NETAPI32.DLL stand-in (and the
        WTSAPI32.DLL one when `sessions`)."""
        folder = os.path.join(self.tmp, "bin")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(self.original, os.path.join(folder, "tarnow.exe"))
        shutil.copy(dll, os.path.join(folder, "NETAPI32.dll"))
        if sessions:
            shutil.copy(os.environ["WTSAPI32_RECORDER"], os.path.join(folder, "WTSAPI32.dll"))
        h.TARNOW = os.path.join(folder, "tarnow.exe")
        self.settings.write(dict(values, f_popup=1))
        self.receiver = h.Receiver(self.settings, self.tmp)

    def trap(self, generic, agent="10.0.0.1"):
        h.snmptrap(ENTERPRISE, generic, 0, agent=agent)
        self.assertEqual(len(self.manager.frames(1)), 1)

    def calls(self, count, timeout=60, log=None):
        log = log or self.log
        deadline = time.time() + timeout
        while time.time() < deadline:
            lines = (h.read(log) or b"").decode("utf-8").splitlines()
            if len(lines) >= count:
                break
            time.sleep(0.1)
        time.sleep(0.5)
        return [tuple(line.split("\t")) for line in (h.read(log) or b"").decode("utf-8").splitlines()]

    def expected(self, host, agent="10.0.0.1"):
        text = MESSAGE % agent
        return (host, text, str(2 * len(text)), "-", "-")

    def test_own_host_first_then_the_list(self):
        self.start({"f_popup_mysend": 1, "popup_host": " ;pc1; pc2;;pc3 ; "}, os.environ["NETAPI32_RECORDER"])
        self.trap(6)
        self.assertEqual(self.calls(4), [self.expected(socket.gethostname())] +
                         [self.expected(name) for name in ("pc1", "pc2", "pc3")])

    def test_at_most_sixteen_hosts_and_only_above_the_level(self):
        names = ["host%02d" % i for i in range(1, 21)]
        names.insert(3, "x" * 100)  # a name of 100 bytes does not fit the name buffer: skipped
        self.start({"f_popup_mysend": 0, "popup_host": ";".join(names), "traplevel": 3},
                   os.environ["NETAPI32_RECORDER"])
        self.trap(2)  # below the level: no popup
        self.trap(4, agent="192.168.7.9")
        self.assertEqual(self.calls(15), [self.expected("host%02d" % i, "192.168.7.9") for i in range(1, 16)])

    def test_each_trap_names_its_own_agent(self):
        self.start({"f_popup_mysend": 0, "popup_host": "pc1"}, os.environ["NETAPI32_RECORDER"])
        self.trap(6, agent="10.1.1.1")
        self.trap(6, agent="10.2.2.2")
        self.assertEqual(sorted(self.calls(2)), [self.expected("pc1", "10.1.1.1"), self.expected("pc1", "10.2.2.2")])

    def test_a_library_without_the_function(self):
        self.start({"f_popup_mysend": 1, "popup_host": "pc1"}, os.environ["NETAPI32_EMPTY"])
        self.trap(6)
        self.trap(6)  # still receiving
        code, _ = self.receiver.stop()
        self.receiver = None
        self.assertEqual(code, 0)
        self.assertEqual(self.calls(0, timeout=0), [])

    def test_sessions_when_the_messenger_is_missing_or_fails(self):
        text = MESSAGE % "10.0.0.1"
        title = "ORVEL SNMP Trap Receiver"
        to_sessions = [(host, session, title, text, str(2 * len(title)), str(2 * len(text)), "nowait")
                       for host in (socket.gethostname(), "pc1", "pc2") for session in ("1", "3")]
        cases = [  # NETAPI32 stand-in, what NetMessageBufferSend returns, messages to the sessions
            ("NETAPI32_EMPTY", "0", to_sessions),
            ("NETAPI32_RECORDER", "2273", to_sessions),  # NERR_NameNotFound: no Messenger service there
            ("NETAPI32_RECORDER", "0", []),
        ]
        for dll, result, expected in cases:
            with self.subTest(dll=dll, result=result):
                for log in (self.log, self.wts_log):
                    if os.path.exists(log):
                        os.remove(log)
                self.settings.env["TARNOW_POPUP_RESULT"] = result
                self.start({"f_popup_mysend": 1, "popup_host": "pc1;pc2"}, os.environ[dll], sessions=True)
                self.trap(6)
                if not expected:
                    self.assertEqual(len(self.calls(3)), 3, "the Messenger took all three")
                self.assertEqual(self.calls(len(expected), log=self.wts_log), expected)
                self.assertEqual(self.receiver.stop()[0], 0)
                self.receiver = None


if __name__ == "__main__":
    unittest.main()
