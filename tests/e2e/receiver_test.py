"""The receiver in the console role, driven by real traps from net-snmp's
snmptrap and raw datagrams, checked byte for byte on standard output, on the
manager's port and in the record, CSV and log files."""

import os
import random
import struct
import unittest

import harness as h

ENTERPRISE = "1.3.6.1.4.1.8072.2.3"
STDOUT_EOL = h.STDOUT_EOL


class ReceiverTest(h.ReceiverCase):
    def setUp(self):
        super().setUp()
        self.files = {k: os.path.join(self.tmp, "trap." + k) for k in ("orv", "csv", "log")}

    def start_with_files(self, **values):
        """The receiver with its record, CSV and log files on, and `values` besides."""
        files = {"f_binfile": 1, "binfile": h.host_path(self.files["orv"]),
                 "f_csvfile": 1, "csvfile": h.host_path(self.files["csv"]),
                 "f_logfile": 1, "logfile": h.host_path(self.files["log"])}
        files.update(values)
        self.start(files)

    def test_traps_from_snmptrap_are_shown_forwarded_and_recorded(self):
        twelve = []
        for i in range(1, 13):
            twelve += ["1.3.6.1.2.1.2.2.1.1.%d" % i, "i", str(i)]
        sends = [
            (6, 17, ["1.3.6.1.4.1.8072.9.1", "i", "-5", "1.3.6.1.2.1.1.5.0", "s", 'core "1", rack 2',
                     "1.3.6.1.4.1.8072.9.2", "c", "7", "1.3.6.1.4.1.8072.9.3", "s", b"\x83e\x83X\x83g",
                     "1.3.6.1.4.1.8072.9.4", "n", ""],
             # one content octet FB: no sign extension, as the decoder reads integers
             [("1.3.6.1.4.1.8072.9.1", "I", b"251"), ("1.3.6.1.2.1.1.5.0", "O", b'core "1", rack 2'),
              ("1.3.6.1.4.1.8072.9.3", "O", b"\x83e\x83X\x83g"), ("1.3.6.1.4.1.8072.9.4", None, None)]),
            (6, 1, ["1.3.6.1.4.1.8072.9.5", "o", "1.3.6.1.4.1.8072.1"],
             [("1.3.6.1.4.1.8072.1", None, None)]),
            (2, 0, twelve, [("1.3.6.1.2.1.2.2.1.1.%d" % i, "I", str(i).encode()) for i in range(1, 11)]),
        ] + [(g, 0, [], []) for g in range(0, 6)]
        self.start_with_files()
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
        self.assertEqual(out, expected_out + h.hex_dump(b"\x7f\x00", STDOUT_EOL))
        self.assertEqual(h.record_frames(h.read(self.files["orv"])), frames)

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
                bytes(rng.randrange(256) for _ in range(200)).replace(b"\x7f", b"\x00")]
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
        self.assertEqual(out, expected_out + h.hex_dump(b"\x7f\x00", STDOUT_EOL))
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
        self.assertEqual([h.read(p) for p in self.files.values()], [None, None, None])

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
