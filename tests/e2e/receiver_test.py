"""The receiver in the console role, driven by real traps from net-snmp's
snmptrap and raw datagrams, checked byte for byte on standard output, on the
manager's port and in the record, CSV and log files."""

import json
import os
import random
import re
import socket
import struct
import subprocess
import unittest

import harness as h

ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
STDOUT_EOL = h.STDOUT_EOL
V = "1.3.6.1.4.1.8072.9."


def tlv(tag, content):
    return bytes([tag, len(content)]) + content


SYS_UP_TIME_0 = bytes.fromhex("06082b06010201010300")
SNMP_TRAP_OID_0 = bytes.fromhex("060a2b060106030101040100")
LINK_UP = bytes.fromhex("06092b0601060301010504")


def inform(trap_oid):
    """An InformRequest: request-id 0x0C0FFE, sysUpTime.0 100, snmpTrapOID.0 `trap_oid`."""
    return tlv(0x30, tlv(0x02, b"\x01") + tlv(0x04, b"public") + tlv(
        0xA6, tlv(0x02, b"\x0c\x0f\xfe") + tlv(0x02, b"\x00") + tlv(0x02, b"\x00")
        + tlv(0x30, tlv(0x30, SYS_UP_TIME_0 + tlv(0x43, b"\x64")) + tlv(0x30, SNMP_TRAP_OID_0 + trap_oid))))


INFORM = inform(LINK_UP)
# snmptrap arguments for a binding of every type, and the bindings the report shows.
EVERY_TYPE = (
    [V + "1", "i", "-7", V + "2", "u", "4000000000", V + "3", "c", "4000000001", V + "4", "t", "300000000",
     V + "5", "a", "192.168.1.254", V + "6", "o", "1.3.6.1.4.1.8072.1", V + "7", "x", "00 1A 2B 3C 4D 5E",
     V + "8", "s", b"\x83e\x83X\x83g", V + "9", "s", "リンク断", V + "10", "n", ""],
    [(V + "1", "I", b"-7"), (V + "2", "Gauge32", b"4000000000"), (V + "3", "Counter32", b"4000000001"),
     (V + "4", "TimeTicks", b"300000000"), (V + "5", "IpAddress", b"192.168.1.254"),
     (V + "6", "OBJECT IDENTIFIER", b"1.3.6.1.4.1.8072.1"), (V + "7", "O", b"00 1A 2B 3C 4D 5E"),
     (V + "8", "O", b"\x83e\x83X\x83g"), (V + "9", "O", "リンク断".encode("cp932")), (V + "10", "NULL", None)])


class ReceiverTest(h.ReceiverCase):
    def test_traps_from_snmptrap_are_shown_forwarded_and_recorded(self):
        twelve = []
        for i in range(1, 13):
            twelve += ["1.3.6.1.2.1.2.2.1.1.%d" % i, "i", str(i)]
        sends = [
            (6, 17, EVERY_TYPE[0], EVERY_TYPE[1]),
            (6, 1, ["1.3.6.1.2.1.1.5.0", "s", 'core "1", rack 2'], [("1.3.6.1.2.1.1.5.0", "O", b'core "1", rack 2')]),
            (2, 0, twelve, [("1.3.6.1.2.1.2.2.1.1.%d" % i, "I", str(i).encode()) for i in range(1, 13)]),
        ] + [(g, 0, [], []) for g in range(0, 6)]
        further = h.ManagerPort(0)  # another operator's manager
        self.addCleanup(further.close)
        self.start_with_files(forward_hosts="127.0.0.1:x ;  localhost:%d;" % further.port)  # a bad port is skipped
        expected_out, frames, csv, log = h.BANNER.replace(b"\n", STDOUT_EOL) + STDOUT_EOL * 2, [], b"", b""
        for generic, specific, args, bindings in sends:
            h.snmptrap(ENTERPRISE, generic, specific, *args)
            got = self.manager.frames(1)
            self.assertEqual(len(got), 1, "one forward per trap")
            t, n, data = got[0]
            self.assertEqual(n, len(data))
            frames.append((t, n, data))
            trap = dict(time=h.recv_time(t), community="public", enterprise=ENTERPRISE, agent="10.0.0.1",
                        generic=generic, specific=specific, uptime=100, bindings=bindings)
            expected_out += h.hex_dump(data, STDOUT_EOL) + h.report(trap, STDOUT_EOL) + STDOUT_EOL
            csv += h.csv_row(trap)
            log += h.report(trap, b"\r\n") + b"\r\n"
        out = self.stop()
        self.assertEqual(h.read(self.files["csv"]), csv)
        self.assertEqual(h.read(self.files["log"]), log)
        self.assertEqual(out, expected_out)
        self.assertEqual(h.record_frames(h.read(self.files["orv"])), frames)
        self.assertEqual(further.frames(len(frames)), frames, "every frame also to the further manager")

    def test_v2c_notifications_are_translated_and_informs_answered(self):
        standard = "1.3.6.1.6.3.1.1.5"
        if_index = ["1.3.6.1.2.1.2.2.1.1.3", "i", "3"]
        trap_address = ["1.3.6.1.6.3.18.1.3.0", "a", "10.20.30.40"]
        sends = [  # (uptime, snmpTrapOID.0, bindings), then enterprise, agent, generic, specific, report bindings
            ("100", ENTERPRISE + ".0.1", EVERY_TYPE[0], ENTERPRISE, "127.0.0.1", 6, 1, EVERY_TYPE[1]),
            ("4000000000", standard + ".3", if_index, standard, "127.0.0.1", 2, 0,
             [("1.3.6.1.2.1.2.2.1.1.3", "I", b"3")]),
            ("7", ENTERPRISE + ".5", trap_address, ENTERPRISE, "10.20.30.40", 6, 5,
             [("1.3.6.1.6.3.18.1.3.0", "IpAddress", b"10.20.30.40")]),
        ]
        self.start_with_files()
        expected_out, frames, csv, lines = h.BANNER.replace(b"\n", STDOUT_EOL) + STDOUT_EOL * 2, [], b"", []
        for uptime, trap_oid, args, enterprise, agent, generic, specific, bindings in sends:
            datagram = h.snmptrap_v2c_datagram(uptime, trap_oid, *args)
            h.send_udp(datagram)
            got = self.manager.frames(1)
            self.assertEqual(len(got), 1, trap_oid)
            frames.append(got[0])
            trap = dict(time=h.recv_time(got[0][0]), version=2, community="public", enterprise=enterprise,
                        agent=agent, generic=generic, specific=specific, uptime=int(uptime), bindings=bindings)
            expected_out += h.hex_dump(datagram, STDOUT_EOL) + h.report(trap, STDOUT_EOL) + STDOUT_EOL
            csv += h.csv_row(trap)
            lines.append(h.json_line(trap, got[0][0], "127.0.0.1"))

        self.assertTrue(h.snmpinform("100", ENTERPRISE + ".0.2", *if_index), "snmpinform got its response")
        got = self.manager.frames(1)
        self.assertEqual(len(got), 1)
        frames.append(got[0])
        inform_trap = dict(time=h.recv_time(got[0][0]), version=2, community="public", enterprise=ENTERPRISE,
                           agent="127.0.0.1", generic=6, specific=2, uptime=100,
                           bindings=[("1.3.6.1.2.1.2.2.1.1.3", "I", b"3")])
        csv += h.csv_row(inform_trap)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as agent:
            agent.settimeout(30)
            agent.sendto(INFORM, ("127.0.0.1", 162))
            answer, source = agent.recvfrom(65536)
        self.assertEqual(answer, INFORM.replace(b"\xa6", b"\xa2", 1))
        self.assertEqual(source[1], 162)
        # An inform whose snmpTrapOID.0 names no trap is a parse error: not
        # recorded, so not answered either (its agent sends it again).
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as agent:
            agent.sendto(inform(bytes.fromhex("06012b")), ("127.0.0.1", 162))
            h.snmptrap(ENTERPRISE, 3, 0)
            self.assertEqual(len(self.manager.frames(1)), 1)  # handled after the inform
            agent.setblocking(False)
            self.assertRaises(BlockingIOError, agent.recv, 65536)
        out = self.stop()
        self.assertEqual(out[:len(expected_out)], expected_out)
        self.assertIn(STDOUT_EOL + h.report(inform_trap, STDOUT_EOL) + STDOUT_EOL, out[len(expected_out):])
        self.assertEqual(h.read(self.files["csv"])[:len(csv)], csv)
        self.assertEqual([json.loads(line) for line in h.read(self.files["json"]).splitlines()][:len(lines)], lines)
        self.assertEqual(h.record_frames(h.read(self.files["orv"]))[:len(frames)], frames)

    def test_ipv6_senders_are_shown_by_their_address_and_answered(self):
        collector = h.ManagerPort(0)  # a syslog collector over UDP
        self.addCleanup(collector.close)
        collector.sock.settimeout(60)
        self.start_with_files(f_syslog=1, syslog_host="127.0.0.1", syslog_port=collector.port)
        subprocess.run(["snmptrap", "-v", "2c", "-c", "public", "udp6:[::1]:162", "100", ENTERPRISE + ".0.1"],
                       check=True, timeout=30)
        self.assertTrue(h.snmpinform("100", ENTERPRISE + ".0.2", target="udp6:[::1]:162"), "answered over IPv6")
        got = self.manager.frames(2)
        out = self.stop()
        traps = [dict(time=h.recv_time(t), version=2, community="public", enterprise=ENTERPRISE, agent="::1",
                      generic=6, specific=specific, uptime=100, bindings=[]) for (t, _, _), specific in zip(got, (1, 2))]
        self.assertEqual(h.read(self.files["csv"]), b"".join(h.csv_row(trap) for trap in traps))
        self.assertEqual(h.record_frames(h.read(self.files["orv"])), got)
        for trap in traps:
            self.assertIn(h.report(trap, STDOUT_EOL), out)
            self.assertRegex(collector.sock.recv(4096), rb'^(?!.*"1\.3\.6\.1\.6\.3\.18\.1\.3\.0").*\[origin ip="::1"\] ')

    def test_users_and_the_engine_id_from_the_command_line(self):
        usage = "\n使い方: tarnow -user add 名前 "
        cases = [  # arguments, exit status, output (its start for a failure)
            (["-user", "add", "alice", "-a", "sha-256", "-A", "authpass1", "-x", "AES", "-X", "privpass1"], 0, ""),
            (["-user", "add", "bob", "-a", "MD5", "-A", "bobpass12", "-e", "0x800000090300AABBCCDDEEFF"], 0, ""),
            (["-user", "list"], 0, "alice SHA-256 AES-128 *\nbob MD5 - 800000090300aabbccddeeff\n"),
            (["-user", "add", "carol", "-a", "ROT13", "-A", "carolpass"], 1, "引数が正しくありません: ROT13" + usage),
            (["-user", "add", "carol", "-x", "DES", "-X", "carolpass"], 1, "暗号方式は認証方式と共に指定します" + usage),
            (["-user", "add", "carol", "-a", "SHA", "-A", "short"], 1, "SNMPv3ユーザーを登録できませんでした: carol" + usage),
            (["-user", "delete", "ALICE"], 0, ""),
            (["-user", "delete", "alice"], 1, "SNMPv3ユーザーが登録されていません: alice" + usage),
            (["-user", "list"], 0, "bob MD5 - 800000090300aabbccddeeff\n"),
        ]
        for args, status, out in cases:
            done = subprocess.run(h.command(*args), env=self.settings.env, capture_output=True, timeout=120)
            text = done.stdout.decode("cp932").replace("\r\n", "\n")
            self.assertEqual((done.returncode, text[:len(out)] if status else text), (status, out), args)
        dump = self.settings.dump()
        stored = re.findall(r'auth_pass"?(?:=|\s+REG_SZ\s+)"?([^"\r\n]*)', dump)
        self.assertEqual(([len(p) for p in stored], "bobpass12" in dump), ([25], False))  # bob's, scrambled
        ids = [subprocess.run(h.command("-engineid"), env=self.settings.env, capture_output=True, timeout=120).stdout
               for _ in range(2)]
        self.assertRegex(ids[0].decode(), r"^80007ed905[0-9a-f]{16}\r?\n$")
        self.assertEqual(ids[0], ids[1])

    def test_with_v2c_off_notifications_are_parse_errors(self):
        self.start_with_files(f_v2c=0)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as agent:
            agent.sendto(INFORM, ("127.0.0.1", 162))
            h.snmptrap(ENTERPRISE, 3, 0)
            self.assertEqual(len(self.manager.frames(1)), 1)  # handled after the inform
            agent.setblocking(False)
            self.assertRaises(BlockingIOError, agent.recv, 65536)
        self.stop()
        heading = "SNMPトラップパケットの解析でエラーが発生しました。".encode("cp932") + b"\r\n"
        self.assertTrue(h.read(self.files["log"]).startswith(heading + h.hex_dump(INFORM, b"\r\n")))

    def test_malformed_datagrams_are_dumped_logged_and_dropped(self):
        valid = bytes.fromhex("3037020100040670 75626c6963a42a06 072b060104018237 40040a0000010201"
                              "0602010143016430 10300e06082b0601 0201010500040275 70".replace(" ", ""))
        self.assertEqual(len(valid), 57)
        rng = random.Random(162)
        bad = [valid[:n] for n in range(0, len(valid))]
        bad += [valid[:6] + b"\x7e" + valid[7:],                       # community runs past the end
                valid[:1] + b"\x84\xff\xff\xff\xff" + valid[2:],        # outer length of 4 GiB
                valid[:44] + b"\x7e" + valid[45:],                     # binding name runs past the end
                bytes.fromhex("300d0201000406" "7075626c6963" "a400"),  # empty Trap-PDU
                bytes.fromhex("3018020101" "0406" "7075626c6963" "a70b020101020100020100" "3000"),  # SNMPv2c
                valid[:13] + b"\xa2" + valid[14:],                     # GetResponse
                b"\x7f\x00", b"\x7f" + bytes(16),                           # no stop marker but the receiver's own
                b"\x7f" + bytes(rng.randrange(256) for _ in range(199))]
        self.start_with_files()
        expected_out, expected_log = h.BANNER.replace(b"\n", STDOUT_EOL) + STDOUT_EOL * 2, b""
        heading = "SNMPトラップパケットの解析でエラーが発生しました。".encode("cp932") + b"\r\n"
        for datagram in bad:
            h.send_udp(datagram)  # nothing forwarded: the first frame is the valid trap's, below
            expected_out += h.hex_dump(datagram, STDOUT_EOL)
            expected_log += heading + h.hex_dump(datagram, b"\r\n")
        oversize = bytes(range(256)) * 20  # 5120 bytes: the first 4096 are kept
        h.send_udp(oversize[:5000])
        expected_out += h.hex_dump(oversize[:4096], STDOUT_EOL)
        expected_log += heading + h.hex_dump(oversize[:4096], b"\r\n")
        h.send_udp(valid)
        got = self.manager.frames(1)
        self.assertEqual([g[2] for g in got], [valid], "the next valid trap is handled")
        out = self.stop()
        trap = dict(time=h.recv_time(got[0][0]), community="public", enterprise="1.3.6.1.4.1.311",
                    agent="10.0.0.1", generic=6, specific=1, uptime=100,
                    bindings=[("1.3.6.1.2.1.1.5.0", "O", b"up")])
        expected_out += h.hex_dump(valid, STDOUT_EOL) + h.report(trap, STDOUT_EOL) + STDOUT_EOL
        self.assertEqual(out, expected_out)
        self.assertEqual(h.read(self.files["log"]), expected_log + h.report(trap, b"\r\n") + b"\r\n")
        self.assertEqual(h.record_frames(h.read(self.files["orv"])), [got[0]])
        self.assertEqual(h.read(self.files["csv"]), h.csv_row(trap))

    def test_flags_off_still_dump_forward_and_print(self):
        self.start({"f_binfile": 0, "binfile": h.host_path(self.files["orv"])})
        h.snmptrap(ENTERPRISE, 3, 0)
        got = self.manager.frames(1)
        self.assertEqual(len(got), 1)
        out = self.stop()
        self.assertIn(h.hex_dump(got[0][2], STDOUT_EOL), out)
        self.assertIn("汎用トラップ: 3".encode("cp932") + STDOUT_EOL, out)
        self.assertEqual([h.read(p) for p in self.files.values()], [None] * len(self.files))

    def test_trap_level_and_an_unopenable_file_do_not_stop_the_files(self):
        self.start_with_files(traplevel=6, csvfile=h.host_path(os.path.join(self.tmp, "no-folder", "t.csv")))
        h.snmptrap(ENTERPRISE, 2, 0, "1.3.6.1.2.1.2.2.1.1.3", "i", "3")
        got = self.manager.frames(1)
        self.assertEqual(len(got), 1)
        self.stop()
        self.assertEqual(h.record_frames(h.read(self.files["orv"])), got)
        self.assertIn("汎用トラップ: 2".encode("cp932"), h.read(self.files["log"]))
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "no-folder")))


if __name__ == "__main__":
    unittest.main()
