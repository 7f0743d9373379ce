"""The Linux service roles: the systemd unit and the foreground service."""

import os
import signal
import socket
import subprocess
import threading
import unittest

import harness as h


class LinuxServiceTest(unittest.TestCase):
    def setUp(self):
        self.tmp = h.tempdir()
        self.env = dict(os.environ, TARNOW_SYSTEMD_DIR=self.tmp, TARNOW_SETTINGS=os.path.join(self.tmp, "s.reg"))

    def tearDown(self):
        h.remove(self.tmp)

    def run_tarnow(self, *args):
        return subprocess.run(h.command(*args), env=self.env, capture_output=True, timeout=30)

    def test_install_and_delete_the_unit(self):
        unit = os.path.join(self.tmp, "tarnow.service")
        first = self.run_tarnow("-install")
        self.assertEqual((first.returncode, first.stdout), (0, b""))
        with open(unit) as f:
            text = f.read()
        self.assertIn("\nExecStart=%s -service\n" % os.path.realpath(h.TARNOW), text)
        self.assertIn("\nWantedBy=multi-user.target\n", text)

        again = self.run_tarnow("-install")
        self.assertEqual(again.stdout, "モジュールのサービス登録に失敗しました CODE:[17]\n".encode("cp932"))
        self.assertEqual(self.run_tarnow("-delete").stdout, b"")
        self.assertFalse(os.path.exists(unit))
        missing = self.run_tarnow("-uninstall")
        self.assertEqual(missing.stdout, "サービスとの接続に失敗しました CODE:[2]\n".encode("cp932"))

    def without_localhost(self, command):
        """`command` run where "localhost" is missing from the host table (a
        mount namespace with its own /etc/hosts); None where that cannot be had."""
        hosts = os.path.join(self.tmp, "hosts")
        with open("/etc/hosts") as f:
            lines = [" ".join(w for w in line.split() if w != "localhost") for line in f]
        with open(hosts, "w") as f:
            f.write("\n".join(line for line in lines if len(line.split()) > 1) + "\n")
        probe = ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"', hosts]
        if subprocess.run(probe + ["getent", "hosts", "localhost"], capture_output=True).returncode != 2:
            return None
        return probe + command

    @staticmethod
    def flood(until):
        """Sends datagrams that are no traps to port 162 until `until` is set."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            while not until.is_set():
                s.sendto(b"\x30\x03\x02\x01\x00", ("127.0.0.1", 162))

    @staticmethod
    def drops(port):
        """Datagrams the kernel dropped at full sockets bound to UDP `port`."""
        rows = [line.split() for table in ("/proc/net/udp", "/proc/net/udp6")
                for line in h.read(table).decode().splitlines()[1:]]
        return sum(int(r[-1]) for r in rows if int(r[1].rsplit(":", 1)[1], 16) == port)

    def fill_socket(self, stop_flood):
        """Floods the receiver until its socket drops datagrams."""
        threading.Thread(target=self.flood, args=(stop_flood,), daemon=True).start()
        self.assertTrue(h.eventually(lambda: self.drops(162) > 0, True))

    def test_stop_signals_end_both_roles(self):
        cases = [  # role arguments, signal, without a "localhost" entry, during a flood
            (["-service"], signal.SIGTERM, False, False), ([], signal.SIGINT, False, False),
            (["-service"], signal.SIGTERM, True, False), ([], signal.SIGTERM, True, False),
            ([], signal.SIGTERM, False, True), (["-service"], signal.SIGINT, False, True)]
        for args, sig, no_localhost, flooded in cases:
            command = h.command(*args)
            if no_localhost:
                command = self.without_localhost(command)
                if command is None:
                    self.skipTest("no mount namespace for a host table without localhost")
            proc = subprocess.Popen(command, env=self.env, stdout=subprocess.PIPE)
            stop_flood = threading.Event()
            try:
                if args:  # the service prints nothing: it is ready once the port is bound
                    self.assertTrue(h.eventually(lambda: h.udp_port_bound(162), True))
                else:
                    banner = proc.stdout.read1(4096)
                    self.assertTrue(banner.startswith(h.BANNER), (args, banner))
                if flooded:  # held still while its socket fills, so the wake-up datagram finds it full
                    proc.send_signal(signal.SIGSTOP)
                    self.fill_socket(stop_flood)
                proc.send_signal(sig)
                proc.send_signal(signal.SIGCONT)
                out = []
                threading.Thread(target=lambda: out.append(proc.stdout.read()), daemon=True).start()
                self.assertEqual(proc.wait(timeout=60), 0, (args, sig, no_localhost, flooded))
                if args:  # not one datagram's dump reaches the journal from the service
                    self.assertEqual(h.eventually(lambda: out, [b""]), [b""])
            finally:
                stop_flood.set()
                proc.kill()
                proc.wait()

    def test_a_stop_comes_after_the_traps_queued_before_it(self):
        record = os.path.join(self.tmp, "t.orv")
        trap = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")
        # (traps, settings): the slow case takes 200 ms a trap for its beep, longer in all than any fixed grace
        cases = [(100, {}), (60, {"f_sound": 1, "f_wave": 0, "sound_msec": 200, "traplevel": 0})]
        for traps, extra in cases:
            settings = h.Settings(self.tmp)
            settings.write(dict({"f_binfile": 1, "binfile": record}, **extra))
            for attempt in range(6 if not extra else 1):  # the resumed receive's interruption races with the signal
                if os.path.exists(record):
                    os.remove(record)
                proc = subprocess.Popen(h.command(), env=dict(self.env, TARNOW_SETTINGS=settings.path),
                                        stdout=subprocess.PIPE)
                try:
                    self.assertTrue(proc.stdout.read1(4096).startswith(h.BANNER))
                    threading.Thread(target=proc.stdout.read, daemon=True).start()
                    proc.send_signal(signal.SIGSTOP)  # the traps wait in the socket, the stop request behind them
                    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                        for _ in range(traps):
                            s.sendto(trap, ("127.0.0.1", 162))
                    proc.send_signal(signal.SIGTERM)
                    proc.send_signal(signal.SIGCONT)
                    self.assertEqual(proc.wait(timeout=120), 0)
                finally:
                    proc.kill()
                    proc.wait()
                self.assertEqual(len(h.record_frames(h.read(record) or b"")), traps, (extra, attempt))

    def test_version_and_unknown_arguments(self):
        result = self.run_tarnow("-version", "-bogus")
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.split(b"\n")
        self.assertEqual(b"\n".join(lines[:2]), h.BANNER)
        self.assertRegex(lines[2], rb"^Build:\[[A-Z][a-z]{2} [ 0-9]\d \d{4}  \d\d:\d\d:\d\d\]$")
        self.assertEqual(result.stderr, b"-bogus\n")


if __name__ == "__main__":
    unittest.main()
