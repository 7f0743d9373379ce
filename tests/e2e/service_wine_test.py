"""The Windows service roles under Wine's real Service Control Manager and
registry."""

import os
import re
import struct
import subprocess
import time
import unittest

import harness as h

SERVICE = "ORVEL SNMP Trap Receiver"
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE
EVENTLOG_KEY = "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\" + SERVICE


def reg_values(key):
    """name -> (type, data) of the values of a registry key, as `reg query` prints them."""
    out = h.reg("query", key).stdout.decode("cp932", "replace")
    values = {}
    for line in out.splitlines():
        m = re.match(r"^\s+(\S+)\s+(REG_\w+)\s*(.*)$", line)
        if m:
            values[m.group(1)] = (m.group(2), m.group(3).strip())
    return values


def service_state():
    out = h.wine("sc", "query", SERVICE).stdout.decode("cp932", "replace")
    m = re.search(r"STATE\s*:\s*\d+\s+(\w+)", out)
    return m.group(1) if m else None


class WineServiceTest(unittest.TestCase):
    def setUp(self):
        self.tmp = h.tempdir()
        self.settings = h.Settings(self.tmp)
        self.run_tarnow("-delete")

    def tearDown(self):
        h.wine("sc", "stop", SERVICE)
        self.wait_for_state(None, "STOPPED")
        self.run_tarnow("-delete")
        self.settings.clear()
        h.remove(self.tmp)

    def run_tarnow(self, *args):
        return subprocess.run(h.command(*args), capture_output=True, timeout=60, stdin=subprocess.DEVNULL)

    def wait_for_state(self, started, state, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            current = service_state()
            if current == state or current is None:
                return time.time() - (started or time.time())
            time.sleep(0.1)
        self.fail("service did not reach %s: %s" % (state, service_state()))

    def test_install_registers_service_and_event_source(self):
        first = self.run_tarnow("-install")
        self.assertEqual(first.stdout, b"")
        self.assertEqual(self.settings.key_access(), (True, ["BA", "SY"]), "made for SYSTEM and Administrators")
        values = reg_values(SERVICE_KEY)
        self.assertEqual(values["Start"], ("REG_DWORD", "0x2"))
        image = values["ImagePath"][1]
        self.assertTrue(image.startswith('"') and image.endswith('tarnow.exe" -service'), image)
        source = reg_values(EVENTLOG_KEY)
        self.assertEqual(source["TypesSupported"], ("REG_DWORD", "0x7"))
        self.assertEqual(source["EventMessageFile"][0], "REG_EXPAND_SZ")
        self.assertTrue(source["EventMessageFile"][1].endswith("tarnow.exe"))

        again = self.run_tarnow("-install")
        self.assertEqual(again.stdout, "モジュールのサービス登録に失敗しました CODE:[1073]\r\n".encode("cp932"))
        self.assertEqual(self.run_tarnow("-uninstall").stdout, b"")
        missing = self.run_tarnow("-delete")
        self.assertEqual(missing.stdout, "サービスとの接続に失敗しました CODE:[1060]\r\n".encode("cp932"))

    def test_install_opens_the_firewall_and_delete_closes_it(self):
        # Wine's firewall takes every call and keeps nothing (its INetFwRules
        # cannot list rules), so the calls are read from its own trace.
        def calls(*args):
            env = dict(os.environ, WINEDEBUG="fixme+hnetcfg")
            done = subprocess.run(h.command(*args), capture_output=True, timeout=60, stdin=subprocess.DEVNULL, env=env)
            self.assertEqual(done.stdout, b"")
            trace = done.stderr.decode("utf-8", "replace")
            return re.findall(r"fixme:hnetcfg:netfw_rules?_(\w+) ([0-9A-Fa-f]+), (.*)", trace)

        rule = 'L"ORVEL SNMP Trap Receiver (SNMP trap UDP 162)"'
        added = calls("-install")
        made = added[1][1]  # the new rule object, described and then added
        self.assertEqual([(m, a) for m, o, a in added if m != "put_ApplicationName"], [
            ("Remove", rule), ("put_Name", rule), ("put_Protocol", "17"), ("put_LocalPorts", 'L"162"'),
            ("put_Direction", "1"), ("put_Action", "1"), ("put_Profiles", "0x7fffffff"),
            ("put_Enabled", "0xffffffff"), ("Add", made)])
        self.assertTrue(all(o == made for m, o, a in added if m.startswith("put_")))
        program = [a for m, o, a in added if m == "put_ApplicationName"]
        self.assertTrue(len(program) == 1 and program[0].endswith('tarnow.exe"'), program)
        self.assertEqual([(m, a) for m, o, a in calls("-delete")], [("Remove", rule)])

    def test_service_records_traps_and_stops_on_request(self):
        record = os.path.join(self.tmp, "svc.orv")
        self.settings.write({"f_binfile": 1, "binfile": h.host_path(record)})
        self.assertEqual(self.run_tarnow("-install").stdout, b"")
        h.wine("sc", "start", SERVICE)
        self.wait_for_state(None, "RUNNING")
        trap = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020100020100430164")
        self.assertTrue(h.eventually(lambda: h.udp_port_bound(162), True), "the loop bound port 162")
        h.send_udp(trap)
        whole = h.eventually(lambda: len(h.read(record) or b"") >= 8 + len(trap), True)
        self.assertTrue(whole, "the frame is in the record file")
        data = h.read(record)
        self.assertEqual(data[4:8], struct.pack("<I", len(trap)))
        self.assertEqual(data[8:8 + len(trap)], trap)

        started = time.time()
        h.wine("sc", "stop", SERVICE)
        elapsed = self.wait_for_state(started, "STOPPED")
        self.assertGreater(elapsed, 1.5)  # the service pauses two seconds after the loop ends

    def test_console_roles(self):
        version = self.run_tarnow("-version")
        self.assertEqual(version.returncode, 0)
        self.assertTrue(version.stdout.startswith(h.BANNER.replace(b"\n", b"\r\n") + b"\r\nBuild:["), version.stdout)
        service = self.run_tarnow("-service")  # returns at once outside the SCM: no hang within run_tarnow's limit
        self.assertEqual((service.returncode, service.stdout), (0, b""))


if __name__ == "__main__":
    unittest.main()
