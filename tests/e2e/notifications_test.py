"""Mail, program start and sound of the real receiver: mail through a real
SMTP server on loopback (aiosmtpd), programs that leave a mark, a beep that
holds the loop."""

import ast
import email
import logging
import os
import re
import shutil
import socket
import stat
import struct
import time
import unittest

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP

import harness as h
from burst_test import trap as numbered_trap

ENTERPRISE = "1.3.6.1.4.1.8072.2.3"


class Inbox:
    def __init__(self):
        self.mails = []
        self.sessions = 0  # open connections

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(envelope)
        return "250 OK"


class CountingController(Controller):
    """Counts the server's open connections in the inbox."""
    def factory(self):
        inbox = self.handler

        class CountingSMTP(SMTP):
            def connection_made(self, transport):
                inbox.sessions += 1
                super().connection_made(transport)

            def connection_lost(self, error):
                super().connection_lost(error)
                inbox.sessions -= 1
        return CountingSMTP(self.handler, **self.SMTP_kwargs)


def free_port(host="127.0.0.1"):
    with socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class NotificationsTest(h.ReceiverCase):
    def trap(self, generic, *bindings):
        h.snmptrap(ENTERPRISE, generic, 0, *bindings)
        got = self.manager.frames(1)
        self.assertEqual(len(got), 1)
        return got[0]

    def wait_for_mails(self, inbox, count):
        """The mails once `count` have come and every session the receiver
        began has ended, so that a mail too many is seen."""
        h.eventually(lambda: len(inbox.mails) >= count and inbox.sessions == 0, True)
        return inbox.mails

    def with_smtp(self, host="127.0.0.1"):
        log = logging.getLogger("mail.log")  # the dialogue, shown when a test fails
        if not log.handlers:
            log.addHandler(logging.StreamHandler())
            log.setLevel(logging.DEBUG)
        inbox = Inbox()
        controller = CountingController(inbox, hostname=host, port=free_port(host))
        controller.start()
        self.addCleanup(controller.stop)
        return inbox, controller.port

    def test_one_mail_per_qualifying_trap_with_its_report(self):
        inbox, port = self.with_smtp()
        self.start({"f_email": 1, "smtpname": "127.0.0.1", "smtpport": port, "mail_from": "trap@example.org",
                    "mail_to": "noc@example.org", "traplevel": 2})
        self.trap(1)  # below the level: no mail
        frames = [self.trap(6, "1.3.6.1.2.1.1.5.0", "s", "first"), self.trap(2, "1.3.6.1.2.1.1.5.0", "s", "second")]
        mails = self.wait_for_mails(inbox, 2)
        self.stop()
        self.assertEqual(len(mails), 2)
        got = []
        for mail in mails:
            self.assertEqual(mail.mail_from, "trap@example.org")
            self.assertEqual(mail.rcpt_tos, ["noc@example.org"])
            message = email.message_from_bytes(mail.content)
            self.assertEqual(list(message.keys()), ["Subject", "From", "To", "Date", "Message-ID", "X-Mailer", "Content-Type"])
            self.assertEqual(message["Content-Type"], "text/plain; charset=iso-2022-jp")
            self.assertEqual(message["X-Mailer"], "Orvel Trap Receiver SendMail Class V1.0")
            got.append((message["Subject"], message.get_payload(decode=True).decode("iso-2022-jp")))
        expected = []
        for (t, _, _), generic, text in zip(frames, (6, 2), ("first", "second")):
            trap = dict(time=h.recv_time(t), community="public", enterprise=ENTERPRISE, agent="10.0.0.1",
                        generic=generic, specific=0, uptime=100,
                        bindings=[("1.3.6.1.2.1.1.5.0", "O", text.encode())])
            expected.append(("SNMP Trap " + h.recv_time(t), h.report(trap, b"\r\n").decode("cp932")))
        self.assertEqual(sorted(got), sorted(expected))

    def test_names_from_mib_modules_in_console_log_and_mail(self):
        broken = os.path.join(self.tmp, "vendor")
        os.mkdir(broken)
        with open(os.path.join(broken, "BROKEN-MIB.txt"), "w") as f:
            f.write("BROKEN-MIB DEFINITIONS ::= BEGIN\nIMPORTS widget FROM NO-SUCH-MIB;\nEND\n")
        down = ["100", "TARNOW-TEST-MIB::tarnowTestDeviceDown", "TARNOW-TEST-MIB::tarnowTestDeviceMac.3", "x",
                "001A2B3C4D5E", "TARNOW-TEST-MIB::tarnowTestDeviceState.3", "i", "failed"]
        named = ["トラップ名: TARNOW-TEST-MIB::tarnowTestDeviceDown\n",
                 "オブジェクト識別子: 1.3.6.1.4.1.99999.1.1.1.3.3 (TARNOW-TEST-MIB::tarnowTestDeviceMac.3)\n",
                 "データ: 00 1A 2B 3C 4D 5E (00:1a:2b:3c:4d:5e)\n", "データ: 3 (failed)\n"]
        problem = r"MIBモジュールを読めません: \S*BROKEN-MIB.txt \(2行目\): "
        for names_on in (1, 0):
            inbox, port = self.with_smtp()
            self.start_with_files(f_email=1, smtpname="127.0.0.1", smtpport=port, mail_from="a@example.org",
                                  mail_to="b@example.org", f_mibnames=names_on,
                                  mibdirs=h.host_path(h.TEST_MIBS) + ";" + h.host_path(broken))
            h.snmptrap_v2c_names(*down)
            self.assertEqual(len(self.manager.frames(1)), 1)
            mail = self.wait_for_mails(inbox, 1)[0]
            out = self.stop().decode("cp932").replace("\r\n", "\n").replace(h.BANNER.decode("cp932"), "")
            log = h.read(self.files["log"]).decode("cp932").replace("\r\n", "\n")
            body = email.message_from_bytes(mail.content).get_payload(decode=True).decode("iso-2022-jp")
            for where, text in (("console", out), ("log", log), ("mail", body.replace("\r\n", "\n"))):
                self.assertEqual([line in text for line in named], [bool(names_on)] * len(named), (where, text))
                self.assertEqual(" (" in text, bool(names_on), (where, text))  # names off: the report as it was
            self.assertEqual([len(re.findall(problem, t)) for t in (out, log)], [names_on] * 2, (out, log))
            os.remove(self.files["log"])

    def mail_bodies(self, mails):
        return [email.message_from_bytes(m.content).get_payload(decode=True).decode("iso-2022-jp") for m in mails]

    def counters_line(self, out):
        return re.findall("受信の集計: (.*)", out.decode("cp932").replace("\r\n", "\n"))

    def test_rules_choose_the_notifications_or_drop_the_trap(self):
        rules = [{"oid": ".1.3.6.1.4.1.99999.5", "f_subtree": 1, "f_email": 1}, {"address": "10.9.0.0/16", "f_drop": 1},
                 {"address": "::1/128", "f_drop": 1}, {"community": "pager", "f_email": 1},
                 {"value_oid": "1.3.6.1.2.1.1.5", "value_text": "core", "f_email": 1},
                 {"oid": "1.3.6.1.6.3.1.1.5.3", "address": "10.1.0.0/16", "f_email": 1}]
        cases = [  # marker, snmptrap arguments, mailed, recorded; the trap level lets none past
            ("subtree", dict(enterprise="1.3.6.1.4.1.99999.5.2"), True, True),
            ("beside-subtree", dict(enterprise="1.3.6.1.4.1.99999.50"), False, True),
            ("cidr-drop", dict(agent="10.9.3.4"), False, False),
            ("first-rule-decides", dict(agent="10.9.3.4", community="pager"), False, False),
            ("beside-cidr", dict(agent="10.10.0.1"), False, True),
            ("ipv6-sender-drop", dict(target="udp6:[::1]:162"), False, False),
            ("community", dict(community="pager"), True, True),
            ("value", dict(name="core-sw1"), True, True),
            ("other-value", dict(name="edge-sw1"), False, True),
            ("linkdown-core", dict(generic=2, agent="10.1.2.3"), True, True),
            ("linkdown-elsewhere", dict(generic=2, agent="10.2.2.3"), False, True),
        ]
        inbox, port = self.with_smtp()
        values = {"f_email": 1, "smtpname": "127.0.0.1", "smtpport": port, "mail_from": "a@example.org",
                  "mail_to": "b@example.org", "traplevel": 7, "counter_seconds": 3600}
        values.update({"Rules\\%03d" % (i + 1): rule for i, rule in enumerate(rules)})
        self.start(values)
        for marker, args, _, _ in cases:
            args = dict(dict(enterprise=ENTERPRISE, generic=6, name="x"), **args)
            name = args.pop("name")
            h.snmptrap(args.pop("enterprise"), args.pop("generic"), 1, "1.3.6.1.2.1.1.5.0", "s", name,
                       "1.3.6.1.2.1.1.6.0", "s", marker, **args)
        recorded = [m for m, _, _, r in cases if r]
        frames = self.manager.frames(len(recorded))
        mails = self.mail_bodies(self.wait_for_mails(inbox, sum(1 for c in cases if c[2])))
        out = self.stop()
        self.assertEqual(sorted(m for m in recorded if any(m.encode() in f[2] for f in frames)), sorted(recorded))
        self.assertEqual(sorted(m for m, _, _, _ in cases if any("データ: %s\r\n" % m in b for b in mails)),
                         sorted(m for m, _, mailed, _ in cases if mailed))
        self.assertEqual(self.counters_line(out), ["受信 11, 記録 8, ルールで破棄 3, 重複で通知せず 0, "
                                                   "メール送信 4, 要約へ 0, メール失敗 0"])

    def test_repeats_within_dup_seconds_give_one_mail_and_one_summary(self):
        inbox, port = self.with_smtp()
        self.start({"f_email": 1, "smtpname": "127.0.0.1", "smtpport": port, "mail_from": "a@example.org",
                    "mail_to": "b@example.org", "dup_seconds": 5, "counter_seconds": 3600})
        for index in (3, 3, 4, 3, 3, 3):  # port 3 flaps, port 4 goes down once
            h.snmptrap(ENTERPRISE, 2, 0, "1.3.6.1.2.1.2.2.1.1.%d" % index, "i", str(index))
        self.assertEqual(len(self.manager.frames(6)), 6)  # every repeat is recorded and forwarded
        bodies = self.mail_bodies(self.wait_for_mails(inbox, 3))
        out = self.stop()
        firsts = ["同じトラップ" not in b and "データ: %d\r\n" % i in b for b in bodies for i in (3, 4)]
        self.assertEqual(sorted(firsts).count(True), 2, bodies)
        self.assertEqual([b.startswith("同じトラップを 4 回受信しました\r\n\r\n") and "データ: 3\r\n" in b
                          for b in bodies].count(True), 1, bodies)
        self.assertIn("重複で通知せず 4, メール送信 3,", self.counters_line(out)[0])

    def test_a_storm_past_mail_max_per_minute_gives_one_summary_of_the_rest(self):
        inbox, port = self.with_smtp()
        self.start_with_files(f_email=1, smtpname="127.0.0.1", smtpport=port, mail_from="a@example.org",
                              mail_to="b@example.org", mail_max_per_minute=20, f_logfile=0, f_csvfile=0,
                              f_jsonfile=0, counter_seconds=3600)
        h.eventually(lambda: time.time() % 60 < 40, True, timeout=30)  # the storm within one minute
        for number in range(3000):
            h.send_udp(numbered_trap(number))
        long_id = "1.3" + ".4294967295" * 120  # its summary line is past what SMTP takes
        h.snmptrap(long_id, 6, 1)
        h.eventually(lambda: len(h.record_frames(h.read(self.files["orv"]) or b"", True)), 3001)
        def summary(mail):
            return email.message_from_bytes(mail.content)["Subject"].startswith("SNMP Trap Summary ")
        h.eventually(lambda: any(summary(m) for m in inbox.mails), True, timeout=120)  # at the minute's end
        mails = self.wait_for_mails(inbox, 21)
        out = self.stop()
        bodies = self.mail_bodies(mails)
        summaries = [b for m, b in zip(mails, bodies) if summary(m)]
        self.assertEqual((len(mails), len(summaries)), (21, 1))
        listed = re.findall(r"  10\.0\.0\.1  1\.3\.6\.1\.4\.1\.8072\.2\.3\.0\.(\d+)\r\n", summaries[0])
        mailed = [int(n) for b in bodies for n in re.findall(r"固有トラップ: (\d+)\r\n", b)]
        self.assertEqual(sorted(mailed + [int(n) for n in listed]), list(range(3000)))
        self.assertIn("\r\n計 2981 件\r\n", summaries[0])
        self.assertIn(long_id + ".0.1\r\n", summaries[0].replace("\r\n    ", ""))
        self.assertIn("要約へ 2981,", self.counters_line(out)[0])

    def test_a_trap_cannot_smuggle_smtp_commands(self):
        inbox, port = self.with_smtp("::1")  # an IPv6 server
        self.start({"f_email": 1, "smtpname": "::1", "smtpport": port, "mail_from": "a@example.org",
                    "mail_to": "b@example.org"})
        smuggled = "\r\n.\r\nRSET\r\nMAIL FROM:<evil@example.org>\r\nRCPT TO:<victim@example.org>\r\nDATA\r\nhi\r\n"
        self.trap(6, "1.3.6.1.2.1.1.5.0", "s", smuggled)
        mails = self.wait_for_mails(inbox, 1)
        self.stop()
        self.assertEqual(len(mails), 1)
        self.assertEqual(mails[0].rcpt_tos, ["b@example.org"])
        body = email.message_from_bytes(mails[0].content).get_payload(decode=True).decode("iso-2022-jp")
        self.assertIn("    データ: " + smuggled.replace("\r\n", "\r\n" + " " * 12) + "\r\n", body)  # lines indented

    def program(self, marker, argument):
        if h.ON_WINE:
            return "cmd /c echo %s>> %s" % (argument, h.host_path(marker))
        return '/bin/sh -c "echo %s >> %s"' % (argument, marker)

    def marks(self, marker, timeout=60, count=None):
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = (h.read(marker) or b"").split()
            if count is not None and len(text) >= count:
                break
            time.sleep(0.1)
        return (h.read(marker) or b"").split()

    def test_program_follows_the_trap_level(self):
        marker = os.path.join(self.tmp, "marker")
        self.start({"f_program": 1, "program": self.program(marker, "ran"), "traplevel": 3})
        self.trap(2)
        self.trap(3)
        self.marks(marker, count=1)  # one program at a time appends to the marker
        self.trap(6)
        self.stop()
        self.assertEqual(self.marks(marker, count=2), [b"ran", b"ran"])

    def test_program_with_blanks_in_its_quoted_path(self):
        folder = os.path.join(self.tmp, "dir with blanks")
        os.mkdir(folder)
        marker = os.path.join(self.tmp, "marker")
        if h.ON_WINE:
            prefix_cmd = os.path.join(h.WINE_PREFIX, "drive_c", "windows", "system32", "cmd.exe")
            shutil.copy(prefix_cmd, os.path.join(folder, "my cmd.exe"))
            program = '"%s" /c echo quoted>> %s' % (h.host_path(os.path.join(folder, "my cmd.exe")), h.host_path(marker))
        else:
            script = os.path.join(folder, "mark prog")
            with open(script, "w") as f:
                f.write('#!/bin/sh\necho "$1" >> "%s"\n' % marker)
            os.chmod(script, stat.S_IRWXU)
            program = '"%s" "quoted"' % script
        self.start({"f_program": 1, "program": program})
        self.trap(6)
        self.stop()
        self.assertEqual(self.marks(marker, count=1), [b"quoted"])

    @unittest.skipIf(h.ON_WINE, "Windows starts programs with no inherited handles")
    def test_a_started_program_holds_none_of_the_receivers_descriptors(self):
        listing = os.path.join(self.tmp, "descriptors")
        script = os.path.join(self.tmp, "list-descriptors")
        h.descriptor_lister(script, listing)
        self.start({"f_program": 1, "program": script})
        self.trap(6)
        h.eventually(lambda: os.path.exists(listing), True)
        self.stop()
        held = ast.literal_eval((h.read(listing) or b"{}").decode())
        self.assertEqual(held.get(0), "/dev/null")  # its standard input, as the receiver's
        self.assertEqual({fd: target for fd, target in held.items() if fd > 2}, {})

    def test_empty_program_leaves_the_other_actions(self):
        record = os.path.join(self.tmp, "t.orv")
        self.start({"f_program": 1, "program": "", "f_binfile": 1, "binfile": h.host_path(record)})
        frame = self.trap(6)
        self.trap(6)
        self.stop()
        self.assertEqual(h.record_frames(h.read(record))[0], frame)
        self.assertEqual(len(h.record_frames(h.read(record))), 2)

    def test_beep_holds_the_loop(self):
        self.start({"f_sound": 1, "f_wave": 0, "sound_freq": 500, "sound_msec": 200})
        payload = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
        started = time.time()
        h.send_udp(payload)
        h.send_udp(payload)
        got = self.manager.frames(2)
        elapsed = time.time() - started
        self.stop()
        self.assertEqual(len(got), 2)
        # the second trap is forwarded only after the first one's 200 ms tone
        self.assertGreaterEqual(elapsed, 0.19)

    def test_wave_follows_the_trap_level(self):
        played = h.alsa_file_device(self.tmp)
        self.settings.env["HOME"] = self.tmp
        path = os.path.join(self.tmp, "alarm.wav")
        samples = h.write_wave(path, 800)
        self.start({"f_sound": 1, "f_wave": 1, "wavefile": path, "traplevel": 3})
        self.trap(2)
        time.sleep(0.5)
        self.assertFalse(os.path.exists(played), "below the level: no sound")
        self.trap(3)
        deadline = time.time() + 60
        while len(h.read(played) or b"") < len(samples) and time.time() < deadline:
            time.sleep(0.1)
        self.stop()
        self.assertEqual(h.read(played), samples)


    @unittest.skipIf(h.ON_WINE, "the wave tests listen through an ALSA file device")
    def test_unplayable_waves_are_refused(self):
        def riff(tag, channels, rate, bits, data):
            fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * channels * bits // 8, channels * bits // 8, bits)
            chunks = b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
            return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks
        cases = [
            ("under ten hertz: a tenth of a second holds no frame", riff(1, 1, 5, 16, b"\x00\x10" * 20)),
            ("rate 0", riff(1, 1, 0, 16, b"\x00\x10" * 20)),
            ("less than one frame of samples", riff(1, 2, 8000, 16, b"\x00\x10")),
            ("not plain PCM (extensible)", riff(0xFFFE, 1, 8000, 16, b"\x00\x10" * 20)),
        ]
        played = h.alsa_file_device(self.tmp)
        self.settings.env["HOME"] = self.tmp
        path = os.path.join(self.tmp, "alarm.wav")
        record = os.path.join(self.tmp, "t.orv")
        self.start({"f_sound": 1, "f_wave": 1, "wavefile": path, "waveloop": 1, "f_binfile": 1, "binfile": record})
        tasks = "/proc/%d/task" % self.receiver.proc.pid
        threads = len(os.listdir(tasks))
        for n, (what, content) in enumerate(cases, 1):
            with self.subTest(what):
                with open(path, "wb") as f:
                    f.write(content)
                self.trap(6)
                deadline = time.time() + 60  # the record file is written after the sound has started
                while len(h.record_frames(h.read(record) or b"", True)) < n and time.time() < deadline:
                    time.sleep(0.05)
                self.assertEqual(len(h.record_frames(h.read(record) or b"")), n)
                self.assertEqual(len(os.listdir(tasks)), threads, "a player thread is left running")
        self.stop()
        self.assertFalse(os.path.exists(played))


    @unittest.skipIf(h.ON_WINE, "the wave tests listen through an ALSA file device")
    def test_a_looping_wave_stops_when_the_device_fails(self):
        with open(os.path.join(self.tmp, ".asoundrc"), "w") as f:  # every write fails once its buffer fills
            f.write('pcm.!default { type file; slave.pcm "null"; file "/dev/full"; format "raw" }\n')
        self.settings.env["HOME"] = self.tmp
        path = os.path.join(self.tmp, "alarm.wav")
        h.write_wave(path, 800)
        record = os.path.join(self.tmp, "t.orv")
        self.start({"f_sound": 1, "f_wave": 1, "wavefile": path, "waveloop": 1, "f_binfile": 1, "binfile": record})
        tasks = "/proc/%d/task" % self.receiver.proc.pid
        threads = len(os.listdir(tasks))
        self.trap(6)
        deadline = time.time() + 60  # the record file is written after the sound has started
        while not h.read(record) and time.time() < deadline:
            time.sleep(0.05)
        while len(os.listdir(tasks)) > threads and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(len(os.listdir(tasks)), threads, "the player goes on with a failed device")
        self.stop()


if __name__ == "__main__":
    unittest.main()
