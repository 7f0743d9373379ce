"""The manager under Wine and Xvfb as a test starts it, and the probe that
reads and drives its windows from outside."""

import os
import subprocess
import time
import unittest

import harness as h

MAIN_TITLE = "ORVEL SNMP Trap Receiver マネージャー"


def probe(*args):
    out = h.wine(os.environ["PALOMIR_PROBE"], *args).stdout.decode("utf-8")
    return out.splitlines()


class ManagerCase(unittest.TestCase):
    """A test with the manager running under Wine and Xvfb."""

    def setUp(self):
        self.tmp = h.tempdir()
        self.settings = h.Settings(self.tmp)
        self.palomir = None
        self.receiver = None

    def tearDown(self):
        if self.receiver:
            self.receiver.kill()
        if self.palomir:
            probe("command", "32771")
            try:
                self.palomir.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.palomir.kill()
        self.settings.clear()
        h.remove(self.tmp)

    def start_manager(self, values=None, lang=None, home=None):
        self.settings.write(values or {"traplevel": 0})
        h.start_wine_server()
        env = dict(os.environ)
        if lang:
            env["WINE_LANG"] = lang
        if home:
            env["HOME"] = home
        self.palomir = subprocess.Popen([h.WINE_RUN, h.WINE_PREFIX, os.environ["PALOMIR_EXE"]],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=env)
        self.assertEqual(h.wine(os.environ["PALOMIR_PROBE"], "wait", MAIN_TITLE, "30").returncode, 0)

    def start_receiver(self):
        self.receiver = h.Receiver(self.settings, self.tmp)

    def rows(self, count=None, timeout=10):
        deadline = time.time() + timeout
        while True:
            lines = probe("rows")
            rows = [line.split("\t") for line in lines if not line.startswith("view")]
            if count is None or len(rows) >= count or time.time() > deadline:
                view = [line.split("\t") for line in lines if line.startswith("view")][0]
                return rows, int(view[1]), int(view[2])
            time.sleep(0.2)

    def test_main_window_layout(self):
        self.start_manager()
        self.assertEqual(probe("placement")[0].split()[:2], ["0", "0"])
        self.assertEqual(probe("columns"), ["\t24\t0", "受信日時\t136\t0", "コミュニティ\t96\t0",
                                            "エージェントアドレス\t116\t0", "ベンダーID\t166\t0", "TRAP番号\t66\t0",
                                            "ベンダー固有\t86\t0", "extended\t1\t1"])
        self.assertEqual(probe("toolbar"), ["32775", "0", "32772", "32773", "32779", "0", "32789", "32774"])
        self.assertEqual(probe("text", "1003"), [QUIET])
        self.assertEqual(probe("text", "1001"), [""])

    def test_traps_arrive_as_rows_and_clear(self):
        self.start_manager()
        self.start_receiver()
        sent = [(6, "10.0.0.1"), (2, "10.0.0.2"), (0, "10.0.0.3"), (7, "10.0.0.4")]
        for generic, agent in sent:
            h.snmptrap(ENTERPRISE, generic, 5, agent=agent)
        rows, top, per_page = self.rows(len(sent))
        self.assertEqual([(r[0], r[2], r[3], r[4], r[5], r[6]) for r in rows],
                         [("0" if g == 6 else "1", "public", agent, ENTERPRISE, str(g), "5") for g, agent in sent])
        self.assertLessEqual(top, len(sent) - 1)
        self.assertGreater(top + per_page, len(sent) - 1, "the last row is in view")

        probe("command", "32779")
        self.assertEqual(self.rows()[0], [])
        h.snmptrap(ENTERPRISE, 3, 9, agent="10.9.9.9")
        rows = self.rows(1)[0]
        self.assertEqual([(r[3], r[5]) for r in rows], [("10.9.9.9", "3")])

    def test_detail_dialog_shows_the_report(self):
        self.start_manager()
        self.start_receiver()
        h.snmptrap(ENTERPRISE, 6, 17, "1.3.6.1.2.1.1.5.0", "s", "core-switch-01")
        h.snmptrap(ENTERPRISE, 2, 0)
        rows = self.rows(2)[0]
        probe("dblclick", "0")
        self.assertEqual(h.wine(os.environ["PALOMIR_PROBE"], "wait", "TRAP詳細", "10").returncode, 0)
        text = probe("dialog-text", "TRAP詳細", "1001")[0]
        trap = dict(time=rows[0][1], community="public", enterprise=ENTERPRISE, agent="10.0.0.1", generic=6,
                    specific=17, uptime=100, bindings=[("1.3.6.1.2.1.1.5.0", "O", b"core-switch-01")])
        self.assertEqual(text, h.report(trap, b"\\r\\n").decode("cp932"))
        self.assertEqual(h.wine(os.environ["PALOMIR_PROBE"], "close", "TRAP詳細").returncode, 0)
        probe("dblclick", "-1")  # below the last row
        self.assertNotEqual(h.wine(os.environ["PALOMIR_PROBE"], "wait", "TRAP詳細", "2").returncode, 0)

    def test_vendor_alert_raises_and_clears(self):
        self.start_manager()
        self.start_receiver()
        h.snmptrap(ENTERPRISE, 2, 0)
        self.rows(1)
        self.assertEqual(probe("text", "1003"), [QUIET])
        h.snmptrap(ENTERPRISE, 6, 1)
        self.rows(2)
        self.assertEqual(probe("text", "1003"), [WARNING])
        probe("command", "1009")
        time.sleep(0.5)
        self.assertEqual(probe("text", "1003"), [QUIET])

    def test_record_file_at_start(self):
        now = int(time.time())
        trap = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
        frames = [(now - 3 * 86400, trap), (now - 10, trap.replace(b"\x02\x01\x06", b"\x02\x01\x02", 1)),
                  (now - 2 * 86400, trap)]
        record = os.path.join(self.tmp, "start.orv")
        data = b"".join(struct.pack("<II", t, len(d)) + d for t, d in frames)
        with open(record, "wb") as f:
            f.write(data + struct.pack("<II", now, 200) + trap)  # a last frame cut short
        self.start_manager({"tool_orvread": 1, "f_binfile": 1, "binfile": h.host_path(record)})
        rows = self.rows(3)[0]
        self.assertEqual([r[1] for r in rows], [time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(t))
                                                for t, _ in frames])
        self.assertEqual([r[5] for r in rows], ["6", "2", "6"])
        self.assertEqual(probe("text", "1003"), [QUIET], "the last vendor-specific trap is two days old")


    def wait(self, title, seconds=10):
        return h.wine(os.environ["PALOMIR_PROBE"], "wait", title, str(seconds)).returncode == 0

    def children(self, title=""):
        return [line.split("\t") for line in probe("children", title)]
