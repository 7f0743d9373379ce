"""The Windows installer under Wine's msiexec: install, a trap recorded by the
installed service, an upgrade that keeps the settings and the record file,
and removal that keeps the settings key."""

import os
import re
import subprocess
import unittest

import harness as h

SERVICE = "ORVEL SNMP Trap Receiver"
PACKAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "packages")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ENTERPRISE = "1.3.6.1.4.1.8072.2.3"


def service_state():
    out = h.wine("sc", "query", SERVICE).stdout.decode("cp932", "replace")
    m = re.search(r"STATE\s+:\s+\d+\s+(\w+)", out)
    return m.group(1) if m else None


def installed():
    """(DisplayVersion, product code) of every installed product named like the service."""
    products = []
    keys = h.reg("query", UNINSTALL).stdout.decode("cp932", "replace").split()
    for key in (k for k in keys if k.startswith("HKEY_") and k.endswith("}")):
        out = h.reg("query", key).stdout.decode("cp932", "replace")
        if re.search(r"DisplayName\s+REG_SZ\s+%s\s*$" % re.escape(SERVICE), out, re.M):
            version = re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", out).group(1)
            products.append((version, key[key.rindex("\\") + 1:]))
    return sorted(products)


def installed_versions():
    return [version for version, _ in installed()]


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.msi = os.path.join(PACKAGES, "tarnow-1.04.msi")
        self.assertTrue(os.path.isfile(self.msi), "scripts/package makes %s" % self.msi)
        self.tmp = h.tempdir()
        self.settings = h.Settings(self.tmp)
        self.folder = os.path.join(h.WINE_PREFIX, "drive_c", "Program Files", "Tarnow")

    def tearDown(self):
        for _, code in installed():
            self.stop_service()
            h.wine("msiexec", "/x", code, "/qn")
        self.settings.clear()
        h.remove(self.tmp)

    def msiexec(self, *args):
        done = h.wine("msiexec", *args, "/qn")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def stop_service(self):
        # Wine's msiexec does not wait for a service that is stopping, so the
        # service is stopped first, and its program file is free to go.
        h.wine("sc", "stop", SERVICE)
        self.assertIn(h.eventually(service_state, "STOPPED"), ("STOPPED", None))

    def newer_package(self):
        path = os.path.join(self.tmp, "tarnow-newer.msi")
        root = os.path.join(PACKAGES, "..", "..")
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=1.0.99", "-D", "BuildDir=build/win64",
                        "-D", "GuideFile=docs/guide/palomir.html", "-o", path, "packaging/windows/tarnow.wxs"],
                       cwd=root, check=True, capture_output=True)
        return path

    def test_install_upgrade_and_remove(self):
        record = os.path.join(self.tmp, "installed.orv")
        self.settings.write({"f_binfile": 1, "binfile": h.host_path(record)})

        self.msiexec("/i", h.host_path(self.msi))
        self.assertEqual(h.eventually(service_state, "RUNNING"), "RUNNING")
        self.assertEqual(sorted(os.listdir(self.folder)), ["mibs", "palomir.exe", "palomir.html", "tarnow.exe"])
        self.assertEqual(installed_versions(), ["1.0.4"])
        self.assertEqual(self.settings.key_access(), (True, ["BA", "SY"]), "the existing key is restricted")
        self.assertTrue(h.eventually(lambda: h.udp_port_bound(162), True), "the service bound port 162")
        h.snmptrap(ENTERPRISE, 6, 17)
        self.assertTrue(h.eventually(lambda: len(h.read(record) or b"") > 8, True), "the trap is recorded")
        recorded = h.read(record)

        self.settings.write({"traplevel": 4})
        self.stop_service()
        self.msiexec("/i", h.host_path(self.newer_package()))
        self.assertEqual(installed_versions(), ["1.0.99"])
        self.assertEqual(h.eventually(service_state, "RUNNING"), "RUNNING")
        query = h.reg("query", h.KEY, "/v", "traplevel").stdout.decode("cp932", "replace")
        self.assertRegex(query, r"traplevel\s+REG_DWORD\s+0x4")
        self.assertEqual(h.read(record), recorded)

        self.stop_service()
        self.msiexec("/x", installed()[0][1])
        self.assertEqual(installed_versions(), [])
        self.assertIsNone(service_state())
        self.assertFalse(os.path.exists(self.folder) and os.listdir(self.folder))
        query = h.reg("query", h.KEY, "/v", "binfile").stdout.decode("cp932", "replace")
        self.assertIn("installed.orv", query)


if __name__ == "__main__":
    unittest.main()
