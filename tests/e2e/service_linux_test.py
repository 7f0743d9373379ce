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

    def test_service_role_stops_on_sigterm(self):
        proc = subprocess.Popen(h.command("-service"), env=self.env, stdout=subprocess.PIPE)
        banner = proc.stdout.read1(4096)
        self.assertTrue(banner.startswith(h.BANNER), banner)
        started = time.time()
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=10), 0)
        proc.stdout.close()
        self.assertLess(time.time() - started, 5)

    def test_version_and_unknown_arguments(self):
        result = self.run_tarnow("-version", "-bogus")
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.split(b"\n")
        self.assertEqual(b"\n".join(lines[:2]), h.BANNER)
        self.assertRegex(lines[2], rb"^Build:\[[A-Z][a-z]{2} [ 0-9]\d \d{4}  \d\d:\d\d:\d\d\]$")
        self.assertEqual(result.stderr, b"-bogus\n")


if __name__ == "__main__":
    unittest.main()
