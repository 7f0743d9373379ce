"""The Debian package: dpkg installs the receiver where the unit expects it,
and removes it again, keeping the settings file (a conffile) until purge."""

import glob
import os
import subprocess
import unittest

PACKAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "packages")
BANNER = "ORVEL SNMP Trap Receiver    Version 1.04"


def as_root(*args):
    command = list(args) if os.geteuid() == 0 else ["sudo", "-n", *args]
    return subprocess.run(command, capture_output=True, timeout=120)


class DebianPackageTest(unittest.TestCase):
    def setUp(self):
        found = glob.glob(os.path.join(PACKAGES, "tarnow_1.04_*.deb"))
        self.assertEqual(len(found), 1, "scripts/package makes the .deb in %s" % PACKAGES)
        self.deb = found[0]
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "tarnow"], capture_output=True).stdout
        self.assertNotIn(b"installed", status, "tarnow is installed on this machine: the test would remove it")

    def tearDown(self):
        as_root("dpkg", "--purge", "tarnow")

    def test_install_run_and_remove(self):
        done = as_root("dpkg", "-i", self.deb)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        version = subprocess.run(["/usr/sbin/tarnow", "-version"], capture_output=True, timeout=30)
        self.assertEqual(version.stdout.decode("cp932").splitlines()[0], BANNER)
        with open("/lib/systemd/system/tarnow.service") as unit:
            self.assertIn("ExecStart=/usr/sbin/tarnow -service\n", unit.read())
        conffiles = subprocess.run(["dpkg-query", "-W", "-f=${Conffiles}", "tarnow"], capture_output=True).stdout
        self.assertIn(b"/etc/tarnow/settings.reg", conffiles)
        self.assertEqual(os.stat("/etc/tarnow/settings.reg").st_mode & 0o777, 0o600)
        self.assertEqual([os.path.isdir(d) for d in ("/usr/share/tarnow/mibs", "/etc/tarnow/mibs")], [True, True])
        depends = subprocess.run(["dpkg-query", "-W", "-f=${Depends}", "tarnow"], capture_output=True).stdout
        self.assertRegex(depends, rb"(^|, )libc6 \(>= 2\.\d+\).*, libstdc\+\+6 \(>= \d")
        # An upgrade keeps the administrator's settings, and makes them root's alone again.
        as_root("sh", "-c", "echo '\"f_csvfile\"=dword:00000001' >>/etc/tarnow/settings.reg; chmod 644 /etc/tarnow/settings.reg")
        self.assertEqual(as_root("dpkg", "-i", self.deb).returncode, 0)
        self.assertIn(b'"f_csvfile"', as_root("cat", "/etc/tarnow/settings.reg").stdout)
        self.assertEqual(os.stat("/etc/tarnow/settings.reg").st_mode & 0o777, 0o600)

        done = as_root("dpkg", "-r", "tarnow")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertFalse(os.path.exists("/usr/sbin/tarnow"))
        self.assertFalse(os.path.exists("/lib/systemd/system/tarnow.service"))
        self.assertTrue(os.path.exists("/etc/tarnow/settings.reg"), "settings kept until purge")


if __name__ == "__main__":
    unittest.main()
