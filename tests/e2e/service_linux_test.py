"""The Linux service roles: the systemd unit and the foreground service."""

import os
import signal
import subprocess
import time
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

    def test_stop_signals_end_both_roles(self):
        cases = [  # role arguments, signal, without a "localhost" entry
            (["-service"], signal.SIGTERM, False), ([], signal.SIGINT, False),
            (["-service"], signal.SIGTERM, True), ([], signal.SIGTERM, True)]
        for args, sig, no_localhost in cases:
            command = h.command(*args)
            if no_localhost:
                command = self.without_localhost(command)
                if command is None:
                    self.skipTest("no mount namespace for a host table without localhost")
            proc = subprocess.Popen(command, env=self.env, stdout=subprocess.PIPE)
            try:
                banner = proc.stdout.read1(4096)
                self.assertTrue(banner.startswith(h.BANNER), (args, banner))
                proc.send_signal(sig)
                self.assertEqual(proc.wait(timeout=20), 0, (args, sig, no_localhost))
            finally:
                proc.kill()
                proc.wait()
                proc.stdout.close()

    def test_version_and_unknown_arguments(self):
        result = self.run_tarnow("-version", "-bogus")
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.split(b"\n")
        self.assertEqual(b"\n".join(lines[:2]), h.BANNER)
        self.assertRegex(lines[2], rb"^Build:\[[A-Z][a-z]{2} [ 0-9]\d \d{4}  \d\d:\d\d:\d\d\]$")
        self.assertEqual(result.stderr, b"-bogus\n")


if __name__ == "__main__":
    unittest.main()
