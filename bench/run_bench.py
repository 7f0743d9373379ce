#!/usr/bin/python3
"""Finds, in one run on one machine, the highest rate of SNMP traps that each
receiver takes without losing one: tarnow (standard output to a file; record,
CSV and log files on) with SNMPv1 and SNMPv2c traps and SNMPv3 authPriv traps
(HMAC-SHA-256, AES-128), net-snmp's snmptrapd logging every trap to a file
(SNMPv1, and SNMPv3 with the same user), and a bare receive loop as the floor (also
receiving in batches, as tarnow does); with
--before, also the tarnow of another build with SNMPv1 traps. Needs root
(port 162) and the linux build.

    bench/run_bench.py [--seconds S] [--build DIR] [--before DIR]
"""

import argparse
import os
import signal
import platform
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# trap_sender's SNMPv3 user "bench": its engine and its two passwords.
BENCH_ENGINE_ID = "80000000016265 6e6368".replace(" ", "")
BENCH_PASSWORDS = ("bench-auth-pass", "bench-priv-pass")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def port_bound(port=162):
    needle = ":%04X " % port
    with open("/proc/net/udp") as f:
        return any(needle in line.split("rem_address")[0] and " 07 " in line for line in f)


def wait_for(condition, timeout=10.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return False


def send_stop():
    import socket
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(b"\x7f\x00", ("127.0.0.1", 162))


def count_frames(path):
    if not os.path.exists(path):
        return 0
    n, pos = 0, 0
    with open(path, "rb") as f:
        data = f.read()
    while pos + 8 <= len(data):
        pos += 8 + struct.unpack("<I", data[pos + 4:pos + 8])[0]
        n += 1
    return n


class Bare:
    name = "bare receive loop"
    version = "v1"
    args = []

    def __init__(self, build, tmp):
        self.proc = subprocess.Popen([os.path.join(build, "bench", "bare_receiver"), "162"] + self.args,
                                     stdout=subprocess.PIPE)
        self.proc.stdout.readline()

    def finish(self):
        send_stop()
        out = self.proc.communicate(timeout=60)[0]
        return int(out.split()[-1])


class BareBatched(Bare):
    """The bare loop receiving as tarnow does: recvmmsg, 4 MiB buffer."""
    name = "bare loop, batched"
    args = ["batch"]


class Tarnow:
    name = "tarnow (3 files)"
    version = "v1"
    wrapper = []  # a command to run the receiver under
    more_settings = ""  # further lines of the settings file
    names = '"f_mibnames"=dword:00000000\r\n'  # names from MIB modules: off unless a kind measures them

    def __init__(self, build, tmp):
        self.record = os.path.join(tmp, "bench.orv")
        settings = os.path.join(tmp, "bench.reg")
        with open(settings, "w") as f:
            f.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\r\n")
            for kind, ext in (("bin", "orv"), ("csv", "csv"), ("log", "log")):
                f.write('"f_%sfile"=dword:00000001\r\n"%sfile"="%s"\r\n' % (kind, kind, os.path.join(tmp, "bench." + ext)))
            f.write(self.names + self.more_settings)
            # trap_sender's v3 user; passwords not in scrambled form are taken as they stand.
            f.write('\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Users\\bench]\r\n"auth"=dword:00000004\r\n'
                    '"auth_pass"="%s"\r\n"priv"=dword:00000002\r\n"priv_pass"="%s"\r\n' % BENCH_PASSWORDS)
        self.out = open(os.path.join(tmp, "stdout.txt"), "wb")
        env = dict(os.environ, TARNOW_SETTINGS=settings)
        self.proc = subprocess.Popen(self.wrapper + [os.path.join(build, "service", "tarnow")], stdout=self.out,
                                     stderr=subprocess.DEVNULL if self.wrapper else None, env=env)
        wait_for(port_bound, 60)

    def finish(self):
        # Ctrl+C: the receiver ends once the datagrams queued before it are handled.
        self.proc.send_signal(signal.SIGINT)
        try:
            self.proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.out.close()
        return count_frames(self.record)


class TarnowNames(Tarnow):
    """tarnow with names from MIB modules in the report (console and log
    file): the built-in modules and net-snmp's own, which name the
    bindings trap_sender sends."""
    name = "tarnow + MIB names"
    names = '"f_mibnames"=dword:00000001\r\n"mibdirs"="%s;/usr/share/snmp/mibs"\r\n' % os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e", "mibs")


class TarnowRules(Tarnow):
    """tarnow with 50 rules that no bench trap matches, so each trap walks all
    of them: half match its identifier's subtree but not its address, half
    look for a text in every binding's value."""
    name = "tarnow + 50 rules"
    more_settings = "".join(
        '\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Rules\\%03d]\r\n' % (i + 1)
        + ('"oid"="1.3.6.1"\r\n"f_subtree"=dword:00000001\r\n"address"="198.51.%d.0/24"\r\n' % i if i % 2 == 0
           else '"value_text"="never-%d"\r\n' % i) + '"f_email"=dword:00000001\r\n' for i in range(50))


class TarnowV2c(Tarnow):
    name = "tarnow v2c (3 files)"
    version = "v2c"


class TarnowV3(Tarnow):
    name = "tarnow v3 authPriv (3 files)"
    version = "v3"


class TarnowSyslog(Tarnow):
    """tarnow with syslog over TCP to rsyslog on loopback, which writes every
    message to a file; a trial is lossless when the record file holds every
    trap (TarnowSyslogAll: and rsyslog's file too)."""
    name = "tarnow + syslog TCP"
    all_delivered = False
    port = 10514
    more_settings = ('"f_syslog"=dword:00000001\r\n"syslog_host"="127.0.0.1"\r\n'
                     '"syslog_transport"=dword:00000001\r\n"syslog_port"=dword:%08x\r\n' % port)

    def __init__(self, build, tmp):
        self.received = os.path.join(tmp, "rsyslog.txt")
        conf = os.path.join(tmp, "rsyslog.conf")
        with open(conf, "w") as f:
            f.write('global(workDirectory="%s")\nmodule(load="imtcp")\n'
                    'input(type="imtcp" address="127.0.0.1" port="%d" ruleset="in")\n'
                    'ruleset(name="in") { action(type="omfile" file="%s") }\n' % (tmp, self.port, self.received))
        self.rsyslog = subprocess.Popen(["rsyslogd", "-n", "-f", conf, "-i", conf + ".pid"])
        wait_for(lambda: ":%04X 00000000:0000 0A" % self.port in open("/proc/net/tcp").read())
        super().__init__(build, tmp)

    def lines(self):
        if not os.path.exists(self.received):
            return 0
        with open(self.received, "rb") as f:
            return sum(1 for _ in f)

    def finish(self):
        frames = super().finish()
        last = -1
        while self.lines() != last:  # until rsyslog's file stops growing
            last = self.lines()
            time.sleep(0.5)
        self.rsyslog.terminate()
        self.rsyslog.wait(timeout=60)
        if last != frames:
            print("    recorded %d, rsyslog received %d" % (frames, last))
        return min(frames, last) if self.all_delivered else frames


class TarnowSyslogAll(TarnowSyslog):
    name = "  and rsyslog got all"
    all_delivered = True


class TarnowBefore(Tarnow):
    """The tarnow of the build given with --before."""
    name = "tarnow before (3 files)"
    build = None

    def __init__(self, build, tmp):
        super().__init__(self.build, tmp)


class Snmptrapd:
    name = "snmptrapd (log file)"
    version = "v1"

    def __init__(self, build, tmp):
        conf = os.path.join(tmp, "snmptrapd.conf")
        with open(conf, "w") as f:
            f.write("disableAuthorization yes\n")
            f.write("createUser -e 0x%s bench SHA-256 %s AES %s\n" % ((BENCH_ENGINE_ID,) + BENCH_PASSWORDS))
        self.log = os.path.join(tmp, "snmptrapd.log")
        self.proc = subprocess.Popen(["snmptrapd", "-f", "-n", "-C", "-c", conf, "-Lf", self.log,
                                      "-F", "TRAP %a %N %q %v\\n", "udp:127.0.0.1:162"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(port_bound)

    def lines(self):
        if not os.path.exists(self.log):
            return 0
        with open(self.log, "rb") as f:
            return sum(1 for line in f if line.startswith(b"TRAP "))

    def finish(self):
        last = -1
        while self.lines() != last:  # until the log stops growing
            last = self.lines()
            time.sleep(0.5)
        self.proc.terminate()
        self.proc.wait(timeout=60)
        return self.lines()


class SnmptrapdV3(Snmptrapd):
    name = "snmptrapd v3 authPriv"
    version = "v3"


def trial(kind, build, rate, seconds):
    """Sends rate*seconds traps at `rate`; returns (sent, received, the rate the sender kept)."""
    tmp = tempfile.mkdtemp(prefix="tarnow-bench-")
    try:
        receiver = kind(build, tmp)
        count = max(2000, int(rate * seconds))
        sender = [os.path.join(build, "bench", "trap_sender"), "162", str(rate), str(count)]
        out = subprocess.run(sender + ([kind.version] if kind.version != "v1" else []), check=True,
                             stdout=subprocess.PIPE).stdout.split()
        return count, receiver.finish(), int(out[0]) / max(float(out[1]), 1e-9)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def highest_rate(kind, build, seconds, steps):
    """Doubles the rate until a trap is lost, then halves the gap `steps` times.
    Returns the rate and whether the sender, not the receiver, set it: a trial
    the sender could not send at its rate (5% short) and the receiver took
    whole ends the search, at the last rate the sender kept."""
    good, bad = 0, None
    rate = 2000

    def run(rate):
        sent, got, kept = trial(kind, build, rate, seconds)
        late = "  (the sender kept %d/s)" % kept if kept < 0.95 * rate else ""
        print("  %-22s %8d/s  sent %7d  received %7d%s" % (kind.name, rate, sent, got, late), flush=True)
        return got == sent, bool(late)

    while bad is None and rate <= 2_000_000:
        lossless, late = run(rate)
        if lossless and late:
            return good, True
        if lossless:
            good, rate = rate, rate * 2
        else:
            bad = rate
    for _ in range(steps if bad else 0):
        rate = (good + bad) // 2
        if run(rate)[0]:
            good = rate
        else:
            bad = rate
    return good, False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=2.0, help="length of one trial")
    parser.add_argument("--steps", type=int, default=5, help="bisection steps after the first loss")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "linux"))
    parser.add_argument("--before", help="build directory of the tarnow to compare with")
    parser.add_argument("--only", help="comma-separated receivers to run (class names, e.g. TarnowV2c,TarnowV3)")
    args = parser.parse_args()
    if port_bound():
        sys.exit("port 162 is in use")
    print("machine: %s, %d cores, %s" % (platform.node(), os.cpu_count(), platform.platform()))
    rates = {}
    kinds = [Bare, BareBatched, Tarnow, TarnowRules, TarnowNames, TarnowSyslog, TarnowSyslogAll, TarnowV2c, TarnowV3, Snmptrapd, SnmptrapdV3]
    if args.before:
        TarnowBefore.build = args.before
        kinds.insert(1, TarnowBefore)
    if args.only:
        kinds = [k for k in kinds if k.__name__ in args.only.split(",")]
    sender_bound = set()
    for kind in kinds:
        rates[kind], bound = highest_rate(kind, args.build, args.seconds, args.steps)
        if bound:
            sender_bound.add(kind)
    print()
    for kind, rate in rates.items():
        print("%-24s %8d traps/s%s" % (kind.name, rate, " or more (the sender's limit)" if kind in sender_bound else ""))
    ratios = [("tarnow / snmptrapd", Tarnow, Snmptrapd), ("tarnow / bare loop", Tarnow, Bare),
              ("tarnow / batched loop", Tarnow, BareBatched), ("tarnow v2c / v1", TarnowV2c, Tarnow),
              ("tarnow v3 / v2c", TarnowV3, TarnowV2c), ("tarnow v3 / snmptrapd v3", TarnowV3, SnmptrapdV3),
              ("tarnow / before", Tarnow, TarnowBefore), ("tarnow + syslog / tarnow", TarnowSyslog, Tarnow),
              ("rsyslog got all / tarnow", TarnowSyslogAll, Tarnow), ("names on / off", TarnowNames, Tarnow),
              ("50 rules / none", TarnowRules, Tarnow)]
    for label, over, under in ratios:
        if rates.get(over) and rates.get(under):  # both ran
            bound = " or less" if under in sender_bound else ""
            print("%-24s %8.2f%s" % (label, rates[over] / rates[under], bound))

if __name__ == "__main__":
    main()
