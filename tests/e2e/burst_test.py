"""Traps that arrive together: a burst of 20,000 with the three files on, stop
markers from another host inside a burst, and a program started by a trap of a burst."""

import os
import re
import socket
import struct
import threading
import unittest

import harness as h

TRAPS = 20000
STOP = b"\x7f\x00"
SPECIFIC = "企業固有トラップ: ".encode("cp932")


def tlv(tag, content):
    return bytes([tag, len(content)]) + content


def trap(number):
    """An enterprise-specific SNMPv1 trap whose specific-trap number is `number`."""
    pdu = (tlv(0x06, bytes.fromhex("2b06010401bf080203")) + tlv(0x40, bytes([10, 0, 0, 1]))
           + tlv(0x02, b"\x06") + tlv(0x02, struct.pack(">i", number)) + tlv(0x43, b"\x64")
           + tlv(0x30, tlv(0x30, tlv(0x06, bytes.fromhex("2b06010201010500")) + tlv(0x04, b"burst"))))
    return tlv(0x30, tlv(0x02, b"\x00") + tlv(0x04, b"public") + tlv(0xA4, pdu))


SPECIFIC_AT = 37  # where trap() puts the number's four bytes


def specific_numbers(datagrams):
    return [struct.unpack(">i", d[SPECIFIC_AT:SPECIFIC_AT + 4])[0] for d in datagrams]


GREETING_FAILED = "SMTPサーバーが接続を受け付けませんでした: ".encode("cp932")


def burst_size():
    """Traps the trap socket holds whatever the receiver does: it asks for 4 MiB
    as this socket does, and a small datagram takes about 1 KiB of it."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
        return max(100, min(TRAPS, s.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF) // 2048))


def hang_up(server):
    while True:
        try:
            conn, _ = server.accept()
        except OSError:
            return
        conn.close()


class BurstTest(h.ReceiverCase):
    def setUp(self):
        super().setUp()
        self.manager.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)

    def send_all(self, datagrams):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for d in datagrams:
                s.sendto(d, ("127.0.0.1", 162))

    def forwards_waiting(self):
        """The forwards already on the manager's port, without waiting."""
        out = []
        self.manager.sock.setblocking(False)
        try:
            while True:
                out.append(self.manager.sock.recv(65535)[8:])
        except BlockingIOError:
            return out

    def recorded(self):
        """The specific-trap numbers in the record, CSV and log files, in file order."""
        frames = h.record_frames(h.read(self.files["orv"]) or b"")
        rows = (h.read(self.files["csv"]) or b"").split(b"\r\n")[:-1]
        return (specific_numbers([data for _, _, data in frames]),
                [int(row.split(b",")[7].strip(b'"')) for row in rows],
                [int(n) for n in re.findall(re.escape(SPECIFIC) + rb"(-?\d+)\r\n", h.read(self.files["log"]) or b"")])

    def test_a_burst_of_traps_is_recorded_and_forwarded_in_order(self):
        self.start_with_files()
        forwards, burst = [], burst_size()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for first in range(0, TRAPS, burst):
                last = min(TRAPS, first + burst)
                for number in range(first, last):  # as fast as the sender can
                    s.sendto(trap(number), ("127.0.0.1", 162))
                forwards += [data for _, _, data in self.manager.frames(last - len(forwards))]
        self.stop()
        self.assertEqual(specific_numbers(forwards), list(range(TRAPS)))
        self.assertEqual(forwards[-1], trap(TRAPS - 1))
        for kind, numbers in zip(("record", "CSV", "log"), self.recorded()):
            self.assertEqual(numbers, list(range(TRAPS)), kind)

    def test_a_mail_workers_log_line_follows_its_trap(self):
        with socket.socket() as server:  # an SMTP server that hangs up at once
            server.bind(("127.0.0.1", 0))
            server.listen(64)
            threading.Thread(target=hang_up, args=(server,), daemon=True).start()
            self.start_with_files(f_email=1, smtpname="127.0.0.1", smtpport=server.getsockname()[1], smtp_security=1,
                                  mail_from="a@example.com", mail_to="b@example.com")
            self.send_all([trap(n) for n in range(300)])
            self.assertEqual(len(self.manager.frames(300)), 300)
            h.eventually(lambda: (h.read(self.files["log"]) or b"").count(GREETING_FAILED) > 0, True)
            self.stop()
        log = h.read(self.files["log"])
        failures = [m.start() for m in re.finditer(re.escape(GREETING_FAILED), log)]
        reports = [m.start() for m in re.finditer(re.escape(SPECIFIC), log)]
        self.assertTrue(failures)
        # The i-th failure line comes after at least i reports: no worker writes before its trap.
        self.assertEqual([i for i, at in enumerate(failures, 1) if sum(r < at for r in reports) < i], [])

    def test_no_datagram_from_another_host_or_process_stops_the_loop(self):
        self.start_with_files()
        forged = [STOP, b"\x7f" + bytes(16)]  # the old marker, and one with a guessed token
        with h.OtherHost() as peer:
            peer.send([trap(0)])  # this host's address is known over there once it has arrived
            self.assertEqual(len(self.manager.frames(1)), 1)
            burst = [trap(n) for n in range(1, 100)] + [bytes(5000)] + forged + [trap(n) for n in range(100, 200)]
            peer.send(burst)
            self.assertEqual(len(self.manager.frames(199)), 199)
        self.send_all(forged + [trap(200)])
        self.assertEqual(len(self.manager.frames(1)), 1)
        self.assertIsNone(self.receiver.proc.poll())
        self.stop()
        for kind, numbers in zip(("record", "CSV", "log"), self.recorded()):
            self.assertEqual(numbers, list(range(201)), kind)
        heading = "SNMPトラップパケットの解析でエラーが発生しました。".encode("cp932")
        self.assertEqual(h.read(self.files["log"]).count(heading), 5)

    @unittest.skipIf(h.ON_WINE, "the program counts the rows with sh and wc")
    def test_a_program_started_by_a_trap_finds_its_row(self):
        marker = os.path.join(self.tmp, "rows-seen")
        self.start_with_files(f_program=1, program="/bin/sh -c \"wc -l < '%s' >> %s\"" % (self.files["csv"], marker))
        self.send_all([trap(n) for n in range(50)])
        self.assertEqual(len(self.manager.frames(50)), 50)
        seen = h.eventually(lambda: len((h.read(marker) or b"").split()), 50)
        self.stop()
        self.assertEqual(seen, 50)
        counts = sorted(int(n) for n in h.read(marker).split())
        # The k-th trap's program sees at least k rows, whatever order the programs ran in.
        self.assertEqual([k for k, rows in enumerate(counts, 1) if rows < k], [], counts)


if __name__ == "__main__":
    unittest.main()
