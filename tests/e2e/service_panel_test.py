"""The manager's service control panel and service settings sheet under Wine
and Xvfb, against Wine's real Service Control Manager and registry, driven
from outside by palomir_probe.exe."""

import os
import re
import subprocess
import time
import unittest

import harness as h
import manager_case as mc
import pop3_test

probe = mc.probe
SERVICE = "ORVEL SNMP Trap Receiver"
SHEET = "SNMP Trap Receiver サービスの設定"
PAGE = "page:" + SHEET
BOX = "palomir"  # message boxes carry the program's name
ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
RESTART_QUESTION = ("サービスのプロパティに更新がありました。\\n\\n変更された情報を有効にするには、"
                    "サービスの再起動が必要です。\\n今すぐ再起動を行ないますか？")
USER = "SNMPv3 ﾕｰｻﾞｰ"
RULE = "ルール"
NO_RULE = dict({n: "" for n in ("oid", "address", "community", "value_oid", "value_text")},
               **{n: "0x0" for n in ("f_subtree", "f_drop", "f_sound", "f_popup", "f_program", "f_email", "f_syslog")})
COUNTERS = ["received", "recorded", "dropped", "duplicates", "mails_sent", "mails_summarised", "mails_failed"]
PASSWORD_REFUSED = "パスワードには、空白・\"・\\ を除く半角の英数字と記号を 249 文字まで使えます。"
STORAGE_VALUES = ["f_binfile", "binfile", "f_csvfile", "csvfile", "f_logfile", "logfile"]
ALL_VALUES = STORAGE_VALUES + [
    "traplevel", "f_v2c", "f_popup", "popup_host", "f_popup_mysend", "f_program", "program", "f_mibnames", "mibdirs",
    "f_email", "smtpport", "smtpname", "mail_from", "mail_to", "f_pop3", "pop_server", "pop_user", "pop_pass",
    "smtp_security", "f_smtp_verify", "f_smtp_auth", "smtp_user", "smtp_pass",
    "f_sound", "f_wave", "wavefile", "waveloop", "sound_freq", "sound_msec",
    "f_syslog", "syslog_host", "syslog_port", "syslog_transport", "f_syslog_verify", "syslog_facility",
    "f_jsonfile", "jsonfile", "forward_hosts"]


def stored(key=h.KEY):
    """The values under the settings key as (name, data), as `reg query` lists them."""
    out = h.reg("query", key).stdout.decode("cp932", "replace")
    return [(m.group(1), m.group(3)) for m in
            (re.match(r"^\s+(\S+)\s+(REG_\w+)\s*(.*)$", line) for line in out.splitlines()) if m]


class ServicePanelTest(mc.ManagerCase):
    def setUp(self):
        super().setUp()
        self.tarnow("-delete")

    def tearDown(self):
        h.wine("sc", "stop", SERVICE)
        self.wait_for_service("STOPPED")
        self.tarnow("-delete")
        super().tearDown()

    def tarnow(self, *args):
        return subprocess.run(h.command(*args), capture_output=True, timeout=60, stdin=subprocess.DEVNULL)

    def wait_for_service(self, state, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            out = h.wine("sc", "query", SERVICE).stdout.decode("cp932", "replace")
            m = re.search(r"STATE\s*:\s*\d+\s+(\w+)", out)
            if m is None or m.group(1) == state:
                return
            time.sleep(0.2)

    def status_becomes(self, text, timeout=60):
        deadline = time.time() + timeout
        while probe("text", "1001") != [text] and time.time() < deadline:
            time.sleep(0.3)
        return probe("text", "1001")

    # --- the sheet, seen from outside ---------------------------------------

    def open_sheet(self):
        probe("command", "32772")
        self.assertTrue(self.wait(SHEET))

    def show_page(self, index, caption):
        probe("select-page", SHEET, str(index))
        deadline = time.time() + 60
        while self.current_page() != caption and time.time() < deadline:
            time.sleep(0.1)
        self.assertEqual(self.current_page(), caption)

    def current_page(self):
        pages = [k for k in self.children(SHEET) if k[0] == "#32770" and k[6] == "1"]
        return pages[0][2] if pages else None

    def controls(self):
        """id -> (text, enabled, checked) of the current page's controls."""
        return {int(k[1]): (k[2], k[4] == "1", k[5]) for k in self.children(PAGE)}

    def answer_box(self, button):
        """The message box's text; then presses `button` (1 OK, 2 Cancel)."""
        self.assertTrue(self.wait(BOX))
        texts = [k[2] for k in self.children(BOX) if k[0] == "Static" and k[2] and k[2] != "\uffff"]
        self.assertEqual(mc.run_probe("click", BOX, str(button)).returncode, 0)
        self.assertTrue(self.gone(BOX, 60), "the box closed and what it asked for was done")
        return texts

    def tick(self, control):
        """Clicks a control of the current page; returns once the page has handled it."""
        probe("press", PAGE, str(control), str(control))

    def wait_for_receiver_port(self):
        """The service is running once its loop has bound port 162."""
        self.assertTrue(h.eventually(lambda: h.udp_port_bound(162), True), "port 162 bound")

    def press_ok(self, restart=False):
        """OK on the sheet, then the restart question answered."""
        probe("click", SHEET, "1")
        self.assertEqual(self.answer_box(1 if restart else 2), [RESTART_QUESTION])

    # --- tests ------------------------------------------------------------------

    def test_defaults_and_enabling_rules(self):
        self.start_manager()
        self.settings.clear()
        self.open_sheet()
        self.assertEqual(probe("tabs", SHEET), ["保存設定", "トラップ受信基本", "メール送信", "サウンド", "SNMPv3", "転送", "ルール"])
        self.assertEqual([(k[1], k[2]) for k in self.children(SHEET) if k[0] == "Button" and k[6] == "1"],
                         [("1", "OK"), ("2", "キャンセル")])
        wave = h.host_path(os.path.dirname(os.environ["PALOMIR_EXE"])) + "\\alarm.wav"
        defaults = [  # page: {id: (text or None, enabled, checked or None)}
            ("保存設定", {1004: (None, True, "0"), 1001: ("", False, None), 1000: (None, False, None),
                      1005: (None, True, "0"), 1003: ("", False, None), 1002: (None, False, None),
                      1007: (None, True, "0"), 1008: ("", False, None), 1009: (None, False, None)}),
            ("トラップ受信基本", {1001: ("0", True, None), 1009: (None, True, None), 1010: (None, True, "1"),
                          1004: (None, True, "0"),
                          1008: ("", False, None), 1007: (None, False, "1"), 1005: (None, True, "0"),
                          1003: ("", False, None), 1000: (None, False, None), 1011: (None, True, "1"),
                          1012: ("", True, None)}),
            ("メール送信", {1004: (None, True, "0"), 1001: ("25", False, None), 1003: ("", False, None),
                       1008: ("", False, None), 1006: ("", False, None), 1005: (None, True, "0"),
                       1007: ("", False, None), 1009: ("", False, None), 1010: ("", False, None),
                       1011: (None, False, "1"), 1012: (None, False, "0"), 1013: (None, False, "0"),
                       1014: (None, False, "1"), 1015: (None, False, "0"), 1016: ("", False, None),
                       1017: ("", False, None)}),
            ("サウンド", {1004: (None, True, "0"), 1005: (None, False, "1"), 1006: (None, False, "0"),
                      1003: ("500", False, None), 1008: ("200", False, None), 1001: (wave, False, None),
                      1000: (None, False, None), 1002: (None, False, None), 1007: (None, False, "0")}),
            ("SNMPv3", {}),
            ("転送", {1004: (None, True, "0"), 1001: ("", False, None), 1002: ("514", False, None),
                    1005: (None, False, "1"), 1006: (None, False, "0"), 1007: (None, False, "0"),
                    1008: (None, False, "1"), 1009: ("16 local0", False, None), 1010: (None, True, "0"),
                    1011: ("", False, None), 1012: (None, False, None), 1013: ("", True, None)}),
            ("ルール", {1002: (None, True, None), 1003: (None, False, None), 1004: (None, False, None),
                     1005: (None, False, None), 1006: (None, False, None), 1007: ("0", True, None),
                     1008: ("0", True, None)}),
        ]
        for index, (caption, expected) in enumerate(defaults):
            if not expected:
                continue  # the SNMPv3 page would store the receiver's engine ID
            self.show_page(index, caption)
            got = self.controls()
            for cid, (text, enabled, checked) in expected.items():
                self.assertEqual(got[cid][1], enabled, (caption, cid))
                if text is not None:
                    self.assertEqual(got[cid][0], text, (caption, cid))
                if checked is not None:
                    self.assertEqual(got[cid][2], checked, (caption, cid))

        rules = [  # page, clicked, then enabled, then disabled
            (0, 1005, [1003, 1002], [1001, 1000, 1008, 1009]),
            (1, 1004, [1008, 1007], [1003, 1000]),
            (2, 1005, [1007, 1009, 1010], [1001, 1003, 1008, 1006, 1011, 1015]),  # POP3 without mail
            (2, 1004, [1001, 1011, 1012, 1013, 1015], [1014, 1016, 1017]),  # mail on: no TLS, no AUTH
            (2, 1012, [1014], []),  # STARTTLS: the certificate check
            (2, 1015, [1016, 1017], []),  # AUTH
            (2, 1011, [1016], [1014]),  # no TLS again
            (3, 1004, [1005, 1006, 1003, 1008, 1002], [1001, 1000, 1007]),  # sound on: beep
            (3, 1006, [1001, 1000, 1007, 1002], [1003, 1008]),  # wave file
            (3, 1005, [1003, 1008], [1001, 1000, 1007]),  # beep again
            (1, 1004, [], [1008, 1007]),  # popup off: greyed, values kept
            (1, 1011, [], [1012]),  # no names from MIB modules: no folders
            (5, 1004, [1001, 1002, 1005, 1006, 1007, 1009], [1008]),  # syslog on: UDP, no certificate
            (5, 1007, [1008], []),  # TLS: the certificate check
            (5, 1010, [1011, 1012], []),  # JSON lines file
        ]
        for index, clicked, enabled, disabled in rules:
            self.show_page(index, defaults[index][0])
            self.tick(clicked)
            got = self.controls()
            self.assertEqual([got[c][1] for c in enabled + disabled], [True] * len(enabled) + [False] * len(disabled),
                             (index, clicked))
        self.assertEqual(self.controls()[1007][2], "1", "the own-host box keeps its tick while greyed")
        self.show_page(5, "転送")
        self.assertEqual(self.controls()[1002][0], "6514", "TLS chosen while the port was never stored")
        self.tick(1006)
        self.assertEqual(self.controls()[1002][0], "514", "TCP: the default port again")
        self.show_page(2, "メール送信")
        self.assertEqual(self.controls()[1001][0], "587", "STARTTLS chosen while the port was 25")
        self.tick(1013)
        self.assertEqual(self.controls()[1001][0], "587", "a port that is not 25 stays")
        probe("set", PAGE, "1001", "25")
        self.tick(1013)
        self.assertEqual(self.controls()[1001][0], "465", "SSL/TLS chosen while the port was 25")
        probe("click", SHEET, "2")  # Cancel
        self.assertTrue(self.gone(SHEET))
        self.assertEqual(stored(), [], "Cancel writes nothing")

    def test_refused_values_keep_the_sheet_open(self):
        self.start_manager()
        self.settings.clear()
        self.open_sheet()
        refusals = [  # page, caption, switch that enables the field, field, typed, message, then a good value
            (1, "トラップ受信基本", None, 1001, "7", "0 から 6 までの整数を入力してください。", "6"),
            (1, "トラップ受信基本", None, 1001, "-1", "正の整数を入力してください。", "0"),
            (1, "トラップ受信基本", None, 1001, "three", "正の整数を入力してください。", "0"),
            (1, "トラップ受信基本", None, 1012, "あ" * 2048, "MIBﾌｫﾙﾀﾞは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。", ""),
            (2, "メール送信", 1004, 1001, "65536", "0 から 65535 までの整数を入力してください。", "25"),
            (2, "メール送信", None, 1001, "smtp", "正の整数を入力してください。", "25"),
            (2, "メール送信", 1005, 1010, "pass word", PASSWORD_REFUSED, ""),
            (2, "メール送信", None, 1010, "p" * 250, PASSWORD_REFUSED, "p" * 249),
            (2, "メール送信", 1015, 1017, "pass word", PASSWORD_REFUSED, ""),
            (3, "サウンド", 1004, 1003, "20001", "0 から 20000 までの整数を入力してください。", "500"),
            # 4096 octets would not fit the service's buffer, which then takes every community
            (4, "SNMPv3", None, 1006, "あ" * 2048, "ｺﾐｭﾆﾃｨは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。", "public"),
            (5, "転送", 1004, 1002, "0", "1 から 65535 までの整数を入力してください。", "514"),
            (5, "転送", None, 1009, "24", "0 から 23 までの整数を入力してください。", "local3"),
            (5, "転送", None, 1009, "local8", "正の整数を入力してください。", "7"),
            (5, "転送", None, 1013, "あ" * 2048, "転送先ﾎｽﾄは合わせて 4095 ﾊﾞｲﾄ以内で入力してください。", "mgr1"),
            (6, "ルール", None, 1007, "86401", "0 から 86400 までの整数を入力してください。", "60"),
            (6, "ルール", None, 1008, "100001", "0 から 100000 までの整数を入力してください。", "20"),
        ]
        for index, caption, switch, field, typed, message, good in refusals:
            self.show_page(index, caption)
            if switch:
                self.tick(switch)
            probe("set", PAGE, str(field), typed)
            probe("click", SHEET, "1")
            self.assertEqual(self.answer_box(1), [message], typed)
            self.assertTrue(self.wait(SHEET), "the sheet stays open")
            self.assertEqual(self.current_page(), caption)
            self.assertEqual(probe("focus", SHEET), [str(field)])
            probe("set", PAGE, str(field), good)

        self.show_page(1, "トラップ受信基本")
        for start, arrow, after in [("6", "up", "6"), ("0", "down", "0"), ("3", "up", "4"), ("3", "down", "2")]:
            probe("set", PAGE, "1001", start)
            probe("updown", PAGE, "1009", arrow)
            self.assertEqual(self.controls()[1001][0], after, (start, arrow))
        probe("click", SHEET, "2")
        self.assertTrue(self.gone(SHEET))
        self.assertEqual([name for name, _ in stored()], ["engine_id"], "the receiver's engine ID, made once")

    def test_ok_writes_the_pages_shown(self):
        self.start_manager()
        self.settings.clear()
        self.open_sheet()
        self.press_ok()
        # Wine's registry lists values by name, not in the order they were written.
        self.assertEqual(sorted(stored()), sorted((n, "0x0" if n.startswith("f_") else "") for n in STORAGE_VALUES))

        self.settings.clear()
        hosts = ";".join("host%04d.example" % i for i in range(125))[:2000]
        self.open_sheet()
        for index, caption in [(1, "トラップ受信基本"), (2, "メール送信"), (3, "サウンド"), (5, "転送")]:
            self.show_page(index, caption)
            if index == 1:
                probe("set", PAGE, "1008", hosts)
                self.tick(1010)  # SNMPv2c off
            if index == 5:
                probe("set", PAGE, "1013", hosts)
                probe("set", PAGE, "1009", "local3")
        self.press_ok()
        self.assertEqual(sorted(name for name, _ in stored()), sorted(ALL_VALUES))
        self.assertEqual(dict(stored())["popup_host"], hosts)
        self.assertEqual(dict(stored())["f_popup_mysend"], "0x1")
        self.assertEqual(dict(stored())["f_v2c"], "0x0")
        self.assertEqual([dict(stored())[n] for n in ("forward_hosts", "syslog_facility", "syslog_port")],
                         [hosts, "0x13", "0x202"])

        self.open_sheet()
        self.show_page(1, "トラップ受信基本")
        self.assertEqual(self.controls()[1008][0], hosts, "the list comes back whole")
        self.assertEqual(self.controls()[1010][2], "0", "SNMPv2c stays off")
        self.show_page(5, "転送")
        self.assertEqual([self.controls()[c][0] for c in (1013, 1009)], [hosts, "19 local3"])
        probe("click", SHEET, "2")

    def test_file_choosers(self):
        self.start_manager()
        self.settings.clear()
        self.open_sheet()
        quoted = '"%s"'  # the program is a command line: a path with a blank is quoted
        choosers = [  # page, caption, switches to tick, browse button, its edit, the offered file types, file, shown as
            (0, "保存設定", [1004], 1000, 1001, "ORV形式ﾌｧｲﾙ (*.orv)", "traps.orv", "%s"),
            (0, "保存設定", [1005], 1002, 1003, "CSVﾌｧｲﾙ (*.csv)", "traps one.csv", "%s"),
            (0, "保存設定", [1007], 1009, 1008, "ﾛｸﾞﾌｧｲﾙ (*.log)", "traps.log", "%s"),
            (1, "トラップ受信基本", [1005], 1000, 1003, "実行ﾌｧｲﾙ (*.exe)", "alert two.exe", quoted),
            (3, "サウンド", [1004, 1006], 1000, 1001, "WAVﾌｧｲﾙ (*.wav)", "alarm two.wav", "%s"),
            (5, "転送", [1010], 1012, 1011, "JSONﾌｧｲﾙ (*.json;*.jsonl)", "traps.jsonl", "%s"),
        ]
        for index, caption, switches, browse, edit, types, name, shown in choosers:
            self.show_page(index, caption)
            for switch in switches:
                self.tick(switch)
            probe("click", PAGE, str(browse))
            path = h.host_path(os.path.join(self.tmp, name))  # a new file: it need not exist
            self.assertEqual(probe("open-file", path), [types, "全てのﾌｧｲﾙ (*.*)"])
            self.assertEqual(h.eventually(lambda: self.controls()[edit][0], shown % path), shown % path)
        self.press_ok()
        self.assertEqual([dict(stored())[n] for n in ("binfile", "csvfile", "logfile", "program", "wavefile", "jsonfile")],
                         [c[7] % h.host_path(os.path.join(self.tmp, c[6])) for c in choosers])

    def test_password_is_scrambled_and_logs_in(self):
        pop3_test.Pop3Test.setUpClass()  # dovecot with user "noc", password "secret8x"
        self.addCleanup(pop3_test.Pop3Test.tearDownClass)
        relay = pop3_test.Relay(pop3_test.Pop3Test.pop_port)
        self.addCleanup(relay.close)
        self.start_manager({"pop_port": relay.port, "smtpname": "127.0.0.1", "smtpport": 9, "mail_from": "a@b",
                            "mail_to": "c@d"})
        self.open_sheet()
        self.show_page(2, "メール送信")
        for field, value in [(1007, "127.0.0.1"), (1009, "noc"), (1010, "secret8x"), (1017, "smtp-Pw7")]:
            probe("set", PAGE, str(field), value)
        self.tick(1004)
        self.tick(1005)
        self.press_ok()
        for name, plain in [("pop_pass", "secret8x"), ("smtp_pass", "smtp-Pw7")]:
            password = dict(stored())[name]
            self.assertEqual(len(password), 25, name)
            self.assertNotIn(plain, password)

        self.open_sheet()
        self.show_page(2, "メール送信")
        self.assertEqual(self.controls()[1010][0], "secret8x", "shown again (masked) as typed")
        self.assertEqual(self.controls()[1017][0], "smtp-Pw7", "shown again (masked) as typed")
        probe("click", SHEET, "2")

        self.start_receiver()
        h.snmptrap(ENTERPRISE, 6, 1)
        h.eventually(lambda: b"QUIT" in relay.sent, True, timeout=30)
        self.assertEqual(relay.sent, b"USER noc\r\nPASS secret8x\r\nQUIT\r\n")

    def test_snmpv3_user_added_and_deleted(self):
        self.start_manager()
        self.open_sheet()
        self.show_page(4, "SNMPv3")
        probe("click", PAGE, "1002")  # 追加...
        self.assertTrue(self.wait(USER))
        for field, value in [(1001, "noc-v3"), (1003, "auth-Pw"), (1005, "priv-Pw7x")]:
            probe("set", USER, str(field), value)
        probe("select", USER, "1002", "3")  # SHA-224: CNG has none, so the service could not use it
        probe("select", USER, "1004", "2")  # AES-128
        probe("click", USER, "1")
        self.assertEqual(self.answer_box(1), ["この Windows では SHA-224 を使えません。"])
        probe("select", USER, "1002", "4")  # SHA-256
        probe("click", USER, "1")
        self.assertEqual(self.answer_box(1), ["認証のﾊﾟｽﾜｰﾄﾞは 8 文字以上で入力してください。"])
        probe("set", USER, "1003", "auth-Pw7x")
        probe("click", USER, "1")
        self.assertTrue(self.gone(USER))
        self.assertEqual(probe("list-rows", PAGE, "1001"), ["noc-v3\tSHA-256\tAES-128\t(すべて)"])
        self.assertNotEqual(h.reg("query", h.KEY + "\\Users\\noc-v3").returncode, 0, "nothing stored before OK")
        self.tick(1007)  # SNMPv1/v2c off
        self.assertFalse(self.controls()[1006][1], "no community list without SNMPv1/v2c")
        probe("set", PAGE, "1006", "public;noc")
        engine_id = self.controls()[1005][0]
        self.press_ok()
        values = dict(stored(h.KEY + "\\Users\\noc-v3"))
        self.assertEqual([values[n] for n in ("auth", "priv", "engine_id")], ["0x4", "0x2", ""])
        for name, plain in [("auth_pass", "auth-Pw7x"), ("priv_pass", "priv-Pw7x")]:
            self.assertEqual(len(values[name]), 25, name)
            self.assertNotIn(plain, values[name])
        self.assertEqual([dict(stored())[n] for n in ("communities", "f_v3only", "engine_id")],
                         ["public;noc", "0x1", engine_id])
        self.assertRegex(engine_id, r"^80([0-9a-f]{2}){4,31}$")

        self.open_sheet()
        self.show_page(4, "SNMPv3")
        probe("select-row", PAGE, "1001", "0")
        self.tick(1004)  # 削除
        self.assertEqual(probe("list-rows", PAGE, "1001"), [])
        self.press_ok()
        self.assertNotEqual(h.reg("query", h.KEY + "\\Users\\noc-v3").returncode, 0)

    def test_rules_added_moved_and_round_tripped(self):
        self.start_manager()
        self.assertEqual(probe("text", "32770"), [""], "no counters published: nothing in the status bar")
        h.reg("add", h.KEY + "\\Rules\\001", "/v", "address", "/d", "192.0.2.300", "/f")  # edited by hand
        self.open_sheet()
        self.show_page(6, RULE)
        text = 'ポート"7"\\a'  # quotes and a backslash: escaped in regedit files
        rules = [  # refused first (field, typed, message), then fields typed, boxes clicked, the row shown
            ((1003, "192.0.2.0/33", "アドレスが正しくありません"), {1003: "192.0.2.0/24", 1004: "public"}, [1008],
             "(すべて)\t192.0.2.0/24\tpublic\t(すべて)\t破棄"),
            ((1005, "1.3..6", "値のOIDが正しくありません"),
             {1001: "1.3.6.1.6.3.1.1.5", 1005: "1.3.6.1.2.1.2.2.1.2", 1006: text}, [1002, 1012],
             '1.3.6.1.6.3.1.1.5 以下\t(すべて)\t(すべて)\t1.3.6.1.2.1.2.2.1.2 に "%s"\tメール' % text),
        ]
        for (field, typed, message), fields, boxes, _ in rules:
            probe("click", PAGE, "1002")  # 追加...
            self.assertTrue(self.wait(RULE))
            for box in boxes:
                probe("press", RULE, str(box), str(box))
            probe("set", RULE, str(field), typed)
            probe("click", RULE, "1")
            self.assertEqual(self.answer_box(1), [message])
            self.assertEqual(probe("focus", RULE), [str(field)])
            for control, value in fields.items():
                probe("set", RULE, str(control), value)
            probe("click", RULE, "1")
            self.assertTrue(self.gone(RULE))
        self.assertEqual(probe("list-rows", PAGE, "1001")[0],
                         "1\t(すべて)\t192.0.2.300\t(すべて)\t(すべて)\t無効: アドレスが正しくありません")
        probe("click", SHEET, "1")
        self.assertEqual(self.answer_box(1), ["ルール 1: アドレスが正しくありません"], "the list is not stored")
        probe("select-row", PAGE, "1001", "0")
        self.tick(1004)  # 削除
        probe("select-row", PAGE, "1001", "1")
        self.tick(1005)  # 上へ
        moved = ["%d\t%s" % (n, rule[3]) for n, rule in ((1, rules[1]), (2, rules[0]))]
        self.assertEqual(probe("list-rows", PAGE, "1001"), moved)
        self.press_ok()
        self.assertEqual(dict(stored(h.KEY + "\\Rules\\001")),
                         dict(NO_RULE, oid="1.3.6.1.6.3.1.1.5", f_subtree="0x1", value_oid="1.3.6.1.2.1.2.2.1.2",
                              value_text=text, f_email="0x1"))
        self.assertEqual(dict(stored(h.KEY + "\\Rules\\002")),
                         dict(NO_RULE, address="192.0.2.0/24", community="public", f_drop="0x1"))

        export = h.host_path(os.path.join(self.tmp, "tarnow.reg"))
        before = h.reg("query", h.KEY, "/s").stdout
        self.assertEqual(h.reg("export", h.KEY, export, "/y").returncode, 0)
        self.settings.clear()
        self.assertEqual(h.reg("import", export).returncode, 0)
        self.assertEqual(h.reg("query", h.KEY, "/s").stdout, before, "regedit files keep the rules")
        self.open_sheet()
        self.show_page(6, RULE)
        self.assertEqual(probe("list-rows", PAGE, "1001"), moved, "read back as written")
        probe("click", SHEET, "2")

        for name, value in zip(COUNTERS, range(12, 5, -1)):
            h.reg("add", h.KEY + "\\Counters", "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
        shown = "受信 12, 記録 11, ルールで破棄 10, 重複で通知せず 9, メール送信 8, 要約へ 7, メール失敗 6"
        self.assertEqual(h.eventually(lambda: probe("text", "32770"), [shown]), [shown], "the timer's refresh")

    def test_sound_test_button(self):
        played = h.alsa_file_device(self.tmp)  # Wine's audio driver plays through ALSA
        path = os.path.join(self.tmp, "alarm.wav")
        samples = h.write_wave(path, 4000)
        self.start_manager({"f_sound": 1, "f_wave": 0, "wavefile": h.host_path(path), "waveloop": 1}, home=self.tmp)
        self.open_sheet()
        self.show_page(3, "サウンド")
        self.tick(1002)  # beep selected: no wave
        self.assertFalse(os.path.exists(played))
        self.tick(1006)
        self.tick(1002)
        # the sound device is closed after one play: a loop would hold it open
        h.eventually(lambda: len(h.read(played) or b"") >= len(samples) and not h.held_open(played), True)
        self.assertEqual(h.read(played), samples, "played once, though the loop box is ticked")
        probe("click", SHEET, "2")

    def test_panel_starts_stops_and_restarts_the_service(self):
        csv = os.path.join(self.tmp, "after-restart.csv")
        self.start_manager()
        self.assertEqual(self.status_becomes("インストールされていません"), ["インストールされていません"])
        # the button's failure stays in the box until the timer's next refresh
        self.assertEqual(probe("press", mc.MAIN_TITLE, "1000", "1001"), ["サービスとの接続に失敗しました"])
        self.assertEqual(self.status_becomes("インストールされていません"), ["インストールされていません"])
        self.assertEqual(self.tarnow("-install").returncode, 0)
        self.assertEqual(self.status_becomes("サービスは停止状態です"), ["サービスは停止状態です"], "the timer's refresh")

        probe("click", mc.MAIN_TITLE, "1000")
        self.assertEqual(self.status_becomes("サービスは稼動中です"), ["サービスは稼動中です"])
        self.wait_for_receiver_port()
        h.snmptrap(ENTERPRISE, 2, 0)
        self.assertEqual(len(self.rows(1)[0]), 1, "the service forwards to the manager")

        self.open_sheet()
        self.tick(1005)
        probe("set", PAGE, "1003", h.host_path(csv))
        self.press_ok(restart=False)
        h.snmptrap(ENTERPRISE, 3, 0)
        self.rows(2)
        self.assertFalse(os.path.exists(csv), "Cancel to the question leaves the running service alone")

        self.open_sheet()
        self.press_ok(restart=True)
        self.assertEqual(self.status_becomes("サービスは稼動中です"), ["サービスは稼動中です"])
        self.wait_for_receiver_port()
        h.snmptrap(ENTERPRISE, 4, 0)
        self.rows(3)
        lines = h.eventually(lambda: len((h.read(csv) or b"").splitlines()), 1)
        self.assertEqual(lines, 1, "the restarted service uses the new settings")

        probe("click", mc.MAIN_TITLE, "1000")
        self.assertEqual(self.status_becomes("サービスは停止状態です"), ["サービスは停止状態です"])
        out = h.wine("sc", "query", SERVICE).stdout.decode("cp932", "replace")
        self.assertRegex(out, r"STATE\s*:\s*1\s+STOPPED")


if __name__ == "__main__":
    unittest.main()
