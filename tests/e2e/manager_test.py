"""The manager under Wine and Xvfb: its main window, the trap list fed by the
real receiver, the detail dialog, the vendor alert and record files, read
from outside by palomir_probe.exe."""

import os
import socket
import struct
import subprocess
import time
import unittest

import harness as h
import manager_case as mc

MAIN_TITLE = mc.MAIN_TITLE
ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
QUIET = "24時間以内に受信した、未確認の\\r\\nベンダー固有トラップ情報はありません"
VENDOR = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
WARNING = "－注意！－\\r\\n24時間以内に、ベンダー固有トラップを\\r\\n受信しています"


probe = mc.probe


class ManagerTest(mc.ManagerCase):
    def test_menu_tooltips_status_bar_and_icon(self):
        self.start_manager()
        self.assertEqual(probe("menu", h.host_path(os.environ["PALOMIR_EXE"])), [
            "attached\t1", "0\tファイル(&F)", "  32775\tORVファイルを開く(&R)...", "  0\t-", "  32771\t終了(&X)",
            "0\tツール(&T)", "  32772\tORVサービスのプロパティ(&S)...", "  32773\tORVマネージャーのプロパティ(&P)...",
            "  0\t-", "  32779\t表示の全クリア(&C)",
            "0\tヘルプ(&H)", "  32789\t目次(&M)", "  32786\tヘルプ(&H)", "  0\t-",
            "  32774\tSNMP Trap Receiver について(&A)..."])
        self.assertEqual(probe("tooltips"), ["32775\tORVﾌｧｲﾙを開く", "32772\tORVｻｰﾋﾞｽのﾌﾟﾛﾊﾟﾃｨ",
                                             "32773\tORVﾏﾈｰｼﾞｬｰのﾌﾟﾛﾊﾟﾃｨ", "32779\t表示の全ｸﾘｱ", "32789\tﾍﾙﾌﾟ",
                                             "32774\tﾊﾞｰｼﾞｮﾝ情報"])
        kids = self.children()
        self.assertIn(["msctls_statusbar32", "32770"], [k[:2] for k in kids])
        texts = [k[2] for k in kids]
        for text in ("監視状態", "ORVｻｰﾋﾞｽのｺﾝﾄﾛｰﾙ", "解除", "起動／終了"):
            self.assertIn(text, texts)
        r, g, b = map(int, probe("icon-colour", "1007")[0].split())
        self.assertGreater(g, r, "icon 141 is the green one")

    def test_main_window_layout(self):
        self.start_manager()
        self.assertEqual(probe("placement")[0].split()[:2], ["0", "0"])
        self.assertEqual(probe("columns"), ["\t24\t0", "受信日時\t136\t0", "コミュニティ\t96\t0",
                                            "エージェントアドレス\t116\t0", "ベンダーID\t166\t0", "TRAP番号\t66\t0",
                                            "ベンダー固有\t86\t0", "受信サーバー\t116\t0", "トラップ名\t160\t0",
                                            "extended\t1\t1", "shared-images\t1"])
        self.assertEqual(probe("toolbar"), ["32775", "0", "32772", "32773", "32779", "0", "32789", "32774"])
        self.assertEqual(probe("text", "1003"), [QUIET])
        self.assertEqual(probe("text", "1001"), ["インストールされていません"], "the service panel at start")

    def test_traps_arrive_as_rows_and_clear(self):
        self.start_manager()
        self.start_receiver()
        sent = [(6, "10.0.0.1"), (2, "10.0.0.2"), (0, "10.0.0.3"), (7, "10.0.0.4")]
        for generic, agent in sent:
            h.snmptrap(ENTERPRISE, generic, 4294967295, agent=agent)  # unsigned, as the last sub-identifier
        rows, top, per_page = self.rows(len(sent))
        self.assertEqual([(r[0], r[2], r[3], r[4], r[5], r[6], r[7]) for r in rows],
                         [("0" if g == 6 else "1", "public", agent, ENTERPRISE, str(g), "4294967295", "")
                          for g, agent in sent], "no receiving server for this host's")
        self.assertLessEqual(top, len(sent) - 1)
        self.assertGreater(top + per_page, len(sent) - 1, "the last row is in view")
        frame = struct.pack(">II", int(time.time()), len(VENDOR)) + VENDOR
        with h.OtherHost() as other:  # a receiver of another host forwards to this manager
            other.send([frame], 18882)
            self.rows(len(sent) + 1)
            with socket.socket(socket.AF_INET6, socket.SOCK_DGRAM) as s:  # over IPv6 from this host
                s.sendto(frame, ("::1", 18882))
            self.assertEqual([r[7] for r in self.rows(len(sent) + 2)[0][len(sent):]], [other.peer, ""])

        probe("send", "32779")
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
        probe("dblclick", "-1")  # below the last row: opens nothing
        probe("dblclick", "0")
        self.assertTrue(self.wait("TRAP詳細"))
        text = probe("dialog-text", "TRAP詳細", "1001")[0]
        trap = dict(time=rows[0][1], community="public", enterprise=ENTERPRISE, agent="10.0.0.1", generic=6,
                    specific=17, uptime=100, bindings=[("1.3.6.1.2.1.1.5.0", "O", b"core-switch-01")])
        self.assertEqual(text, h.report(trap, b"\\r\\n").decode("cp932"))
        self.assertEqual(mc.run_probe("close", "TRAP詳細").returncode, 0)
        self.assertTrue(self.gone("TRAP詳細"), "one dialog, the first row's")

    def test_names_in_the_list_and_the_detail(self):
        self.start_manager({"f_mibnames": 1, "mibdirs": h.host_path(h.TEST_MIBS)})
        self.start_receiver()
        h.snmptrap_v2c_names("100", "TARNOW-TEST-MIB::tarnowTestDeviceDown", "TARNOW-TEST-MIB::tarnowTestDeviceState.3",
                             "i", "failed")
        h.snmptrap(ENTERPRISE, 2, 0, "1.3.6.1.2.1.2.2.1.8.3", "i", "2")  # linkDown: built-in names
        self.assertEqual([r[8] for r in self.rows(2)[0]], ["TARNOW-TEST-MIB::tarnowTestDeviceDown", "IF-MIB::linkDown"])
        probe("dblclick", "1")
        self.assertTrue(self.wait("TRAP詳細"))
        text = probe("dialog-text", "TRAP詳細", "1001")[0]
        for line in ["トラップ名: IF-MIB::linkDown", "オブジェクト識別子: 1.3.6.1.2.1.2.2.1.8.3 (IF-MIB::ifOperStatus.3)",
                     "データ: 2 (down)"]:
            self.assertIn(line + "\\r\\n", text)
        self.assertEqual(mc.run_probe("close", "TRAP詳細").returncode, 0)

    def test_help_opens_the_guide_in_the_browser(self):
        log = os.path.join(self.tmp, "opened.txt")
        self.register_html_opener(log)
        self.start_manager()
        guide = h.host_path(os.path.join(os.path.dirname(os.environ["PALOMIR_EXE"]), "palomir.html"))
        for command in ("32789", "32786"):  # the toolbar button (contents), the menu's help
            with self.subTest(command=command):
                discard(log)
                probe("command", command)  # posted: a failure shows a modal box
                self.assertEqual(h.eventually(lambda: read_text(log), guide), guide)
        discard(log)
        probe("send", "32771")  # exit: HELP_QUIT opens nothing
        self.palomir.wait(timeout=60)
        self.assertIsNone(read_text(log))

    def register_html_opener(self, log):
        """Makes open_recorder.exe the program for .html until the test ends. Wine's
        ShellExecute reads classes from HKLM only (an HKCU class goes unseen), and the
        build's prefix has no .html class of its own."""
        classes = r"HKLM\Software\Classes"
        recorder = h.host_path(os.environ["OPEN_RECORDER"])
        h.reg("add", classes + r"\.html", "/ve", "/d", "TarnowTest.Guide", "/f")
        h.reg("add", classes + r"\TarnowTest.Guide\shell\open\command", "/ve", "/d",
               '"%s" "%%1"' % recorder, "/f")
        self.addCleanup(h.wine, "reg", "delete", classes + r"\TarnowTest.Guide", "/f")
        self.addCleanup(h.wine, "reg", "delete", classes + r"\.html", "/f")
        os.environ["OPEN_RECORDER_LOG"] = h.host_path(log)
        self.addCleanup(os.environ.pop, "OPEN_RECORDER_LOG")

    def test_vendor_alert_raises_and_clears(self):
        self.start_manager()
        self.start_receiver()
        h.snmptrap(ENTERPRISE, 2, 0)
        self.rows(1)
        self.assertEqual(probe("text", "1003"), [QUIET])
        h.snmptrap(ENTERPRISE, 6, 1)
        self.rows(2)
        self.assertEqual(probe("text", "1003"), [WARNING])
        probe("send", "1009")
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

    def send_frame(self, seconds, datagram):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(struct.pack(">II", seconds, len(datagram)) + datagram, ("127.0.0.1", 18882))

    def test_alert_icon_and_expiry(self):
        self.start_manager()
        vendor = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
        self.send_frame(int(time.time()) - 86400 + 30, vendor)  # expires in half a minute
        self.rows(1)
        self.assertEqual(probe("text", "1003"), [WARNING])
        r, g, b = map(int, probe("icon-colour", "1007")[0].split())
        self.assertGreater(r, b, "icon 142 is red and yellow")
        self.assertEqual(h.eventually(lambda: probe("text", "1003"), [QUIET], timeout=120), [QUIET])
        r, g, b = map(int, probe("icon-colour", "1007")[0].split())
        self.assertGreater(g, r)

    def test_frames_that_are_not_whole_are_dropped(self):
        self.start_manager()
        vendor = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(b"\x00\x01\x02", ("127.0.0.1", 18882))                            # shorter than a header
            s.sendto(struct.pack(">II", 1, 100) + vendor, ("127.0.0.1", 18882))          # claims more than arrived
        self.send_frame(int(time.time()), vendor)  # handled after the two before it
        self.assertEqual(len(self.rows(1)[0]), 1)

    def test_open_record_file_twice_and_a_damaged_one(self):
        record = os.path.join(self.tmp, "written.orv")
        self.settings.write({"f_binfile": 1, "binfile": h.host_path(record)})
        self.start_receiver()
        h.snmptrap(ENTERPRISE, 6, 1, agent="10.1.1.1")
        h.snmptrap(ENTERPRISE, 3, 2, agent="10.2.2.2")
        self.receiver.stop()
        self.receiver = None
        written = h.record_frames(h.read(record))
        self.assertEqual(len(written), 2)
        self.start_manager({"f_binfile": 0})
        for attempt in (1, 2):
            probe("command", "32775")
            self.assertEqual(mc.run_probe("open-file", h.host_path(record)).returncode, 0)
            rows = self.rows(2 * attempt)[0]
        self.assertEqual([(r[1], r[3]) for r in rows], [(time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(t)), a)
                                                        for t, a in [(written[0][0], "10.1.1.1"),
                                                                     (written[1][0], "10.2.2.2")] * 2])
        damaged = os.path.join(self.tmp, "damaged.orv")
        with open(damaged, "wb") as f:
            f.write(h.read(record) + struct.pack("<II", 1, 5000) + b"\0" * 5000)
        probe("command", "32775")
        mc.run_probe("open-file", h.host_path(damaged))
        self.assertEqual(len(self.rows(6)[0]), 6, "the two whole frames, not the one of 5000 bytes")

    def test_manager_settings_about_and_front(self):
        self.start_manager({"tool_orvread": 0})
        probe("command", "32773")
        self.assertTrue(self.wait("ORVマネージャーの設定"))
        self.assertEqual(probe("check", "ORVマネージャーの設定", "1004") + probe("check", "ORVマネージャーの設定", "1005"),
                         ["0", "0"])
        probe("click", "ORVマネージャーの設定", "1005")
        probe("click", "ORVマネージャーの設定", "1")
        self.assertTrue(self.gone("ORVマネージャーの設定"))
        query = h.reg("query", h.KEY, "/v", "tool_front").stdout.decode("cp932", "replace")
        self.assertIn("0x1", query)
        query = h.reg("query", h.KEY, "/v", "tool_orvread").stdout.decode("cp932", "replace")
        self.assertIn("0x0", query)

        self.start_receiver()
        # (ShowWindow command, state before the trap, state after it): zoomed, iconic
        for count, (show, before, after) in enumerate([("6", ["0", "1"], ["0", "0"]),   # minimised: restored
                                                       ("3", ["1", "0"], ["1", "0"]),   # maximised: stays so
                                                       ("6", ["0", "1"], ["1", "0"])], 1):  # back to maximised
            probe("show", show)
            self.assertEqual(probe("state")[0].split()[:2], before)
            h.snmptrap(ENTERPRISE, 2, 0)
            self.rows(count)
            self.assertEqual(h.eventually(lambda: probe("state")[0].split()[:2], after), after)

        probe("command", "32774")
        self.assertTrue(self.wait("ORVEL SNMP Trap Receiver について"))
        about = self.children("ORVEL SNMP Trap Receiver について")
        self.assertIn("ORVEL SNMP Trap Receiver 1.04", [k[2] for k in about])
        r, g, b = map(int, probe("icon-colour", "0", "ORVEL SNMP Trap Receiver について")[0].split())
        self.assertGreater(b, max(r, g), "icon 128 is the blue one")
        self.assertEqual(mc.run_probe("close", "ORVEL SNMP Trap Receiver について").returncode, 0)

    def test_a_year_of_traps_from_the_record_file(self):
        count, now = 100000, int(time.time())
        traps = [(now - count + i, 6 if i % 1000 == 999 else 2, i) for i in range(count)]
        record = os.path.join(self.tmp, "year.orv")
        with open(record, "wb") as f:
            f.write(b"".join(struct.pack("<II", t, len(d)) + d for t, d in
                             ((t, trap_datagram(g, n)) for t, g, n in traps)))
        self.start_manager({"tool_orvread": 1, "f_binfile": 1, "binfile": h.host_path(record)})
        self.assertEqual(h.eventually(lambda: probe("row-counts"), [str(count)]), [str(count)])
        self.assertEqual(probe("text", "1003"), [WARNING], "the newest vendor-specific trap is recent")

        def expected(i):
            t, g, n = traps[i]
            return ["0" if g == 6 else "1", time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(t)), "public",
                    agent_of(n), ENTERPRISE, str(g), str(n), "", ""]  # from a file: no receiving server; names off
        for row in (count - 1, 0, 61234):  # in view after loading, then scrolled to
            with self.subTest(row=row):
                probe("scroll", str(row))
                shown, top, per_page = self.rows_in_view()
                self.assertTrue(top <= row < top + per_page)
                self.assertEqual(shown, [expected(i) for i in range(top, top + len(shown))])

        # Scrolled away from the last row, neither a new trap nor typing moves the list.
        probe("scroll", "61234")
        before = self.rows_in_view()[1]
        self.send_frame(now, trap_datagram(2, 0))
        self.assertEqual(h.eventually(lambda: probe("row-counts"), [str(count + 1)]), [str(count + 1)])
        probe("type", "1z")
        self.assertEqual(self.rows_in_view()[1], before)
        # From the last row the list follows, also while minimised.
        probe("scroll", str(count))
        for total, show in ((count + 2, "5"), (count + 3, "6")):  # shown, minimised
            probe("show", show)
            self.send_frame(now, trap_datagram(2, 0))
            self.assertEqual(h.eventually(lambda: probe("row-counts"), [str(total)]), [str(total)])
            probe("show", "9")  # SW_RESTORE
            _, top, per_page = self.rows_in_view()
            self.assertTrue(top <= total - 1 < top + per_page, "the new last row is in view")

        probe("scroll", str(count - 1))
        probe("dblclick", str(count - 1))
        self.assertTrue(self.wait("TRAP詳細"))
        trap = dict(time=expected(count - 1)[1], community="public", enterprise=ENTERPRISE, agent=agent_of(count - 1),
                    generic=6, specific=count - 1, uptime=100, bindings=[])
        self.assertEqual(probe("dialog-text", "TRAP詳細", "1001")[0], h.report(trap, b"\\r\\n").decode("cp932"))
        mc.run_probe("close", "TRAP詳細")

    def test_a_storm_of_forwards_is_listed_in_order(self):
        self.start_manager()
        # As fast as Python sends; in bursts that fit the socket's buffer where the system grants less.
        with open("/proc/sys/net/core/rmem_max") as f:
            count, burst = 2000, min(2000, int(f.read()) // 2048)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for first in range(0, count, burst):
                for n in range(first, first + burst):
                    datagram = trap_datagram(2, n)
                    s.sendto(struct.pack(">II", 1700000000 + n, len(datagram)) + datagram, ("127.0.0.1", 18882))
                self.assertEqual(h.eventually(lambda: probe("row-counts"), [str(first + burst)]), [str(first + burst)])
        rows = self.rows(count)[0]
        self.assertEqual([(r[3], r[6]) for r in rows], [(agent_of(n), str(n)) for n in range(count)])

    def rows_in_view(self):
        view = probe("rows", "0", "0")[0].split("\t")
        top, per_page = int(view[1]), int(view[2])
        lines = probe("rows", str(top), str(per_page))
        return [line.split("\t") for line in lines if not line.startswith("view")], top, per_page

    def test_enter_escape_resize_and_close(self):
        self.start_manager()
        probe("send", "1")
        probe("send", "2")
        self.assertEqual(probe("row-counts"), ["0"], "Enter and Escape leave the window open")
        before = {k[2]: k[3] for k in self.children() if k[0] == "Button"}
        probe("resize", "500", "400")
        after = {k[2]: k[3] for k in self.children() if k[0] == "Button"}
        self.assertEqual(before, after, "the group boxes and buttons keep their places")
        lists = [k[3].split() for k in self.children() if k[1] == "1002"]
        self.assertLess(int(lists[0][2]), 500)
        probe("syscommand", "61536")  # SC_CLOSE: the close box
        self.assertEqual(self.palomir.wait(timeout=20), 0)
        self.palomir = None

    def test_second_copy_runs_but_receives_nothing(self):
        self.start_manager()
        second = subprocess.Popen([h.WINE_RUN, h.WINE_PREFIX, os.environ["PALOMIR_EXE"]], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 60
            while len(probe("row-counts")) < 2 and time.time() < deadline:
                time.sleep(0.5)
            self.assertEqual(len(probe("row-counts")), 2, "both copies show their window")
            vendor = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
            self.send_frame(int(time.time()), vendor)
            counts = h.eventually(lambda: sorted(probe("row-counts")), ["0", "1"])
            self.assertEqual(counts, ["0", "1"], "only the copy that holds the port lists it")
        finally:
            second.kill()
            second.wait()

    def test_same_texts_in_english_wine(self):
        self.start_manager(lang="en_US.UTF-8")
        self.assertEqual(probe("columns")[1:4], ["受信日時\t136\t0", "コミュニティ\t96\t0", "エージェントアドレス\t116\t0"])
        self.assertEqual(probe("menu", h.host_path(os.environ["PALOMIR_EXE"]))[:2], ["attached\t1", "0\tファイル(&F)"])
        self.assertEqual(probe("text", "1003"), [QUIET])


def agent_of(n):
    return "10.%d.%d.%d" % (n >> 16 & 255, n >> 8 & 255, n & 255)


def trap_datagram(generic, specific):
    """An SNMPv1 trap from agent_of(specific) with no bindings, enterprise ENTERPRISE."""
    def tlv(tag, content):
        return bytes([tag, len(content)]) + content

    def integer(v):
        return tlv(0x02, v.to_bytes(max(1, (v.bit_length() + 8) // 8), "big"))
    enterprise = bytes.fromhex("2b06010401bf080203")  # 1.3.6.1.4.1.8072.2.3
    agent = bytes(int(x) for x in agent_of(specific).split("."))
    pdu = tlv(0x06, enterprise) + tlv(0x40, agent) + integer(generic) + integer(specific) + tlv(0x43, b"\x64") + tlv(0x30, b"")
    return tlv(0x30, integer(0) + tlv(0x04, b"public") + tlv(0xA4, pdu))


def read_text(path):
    """The argument the recorder wrote, without its program, or None."""
    try:
        with open(path, encoding="utf-8") as f:
            line = f.read()
    except FileNotFoundError:
        return None
    return line.split('" ', 1)[-1].strip().strip('"') if line.startswith('"') else line.split(" ", 1)[-1].strip()


def discard(path):
    if os.path.exists(path):
        os.remove(path)


if __name__ == "__main__":
    unittest.main()
