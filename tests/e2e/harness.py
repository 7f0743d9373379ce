"""Shared pieces of the end-to-end tests: the receiver as a real process, the
manager's port, settings, and the texts a person reads, written out here from
the report layout (CP932 bytes), independent of the program's own code."""

import glob
import hashlib
import math
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import wave

TARNOW = os.environ.get("TARNOW_EXE", "")
WINE_RUN = os.environ.get("WINE_RUN", "")
WINE_PREFIX = os.environ.get("WINE_PREFIX", "")
ON_WINE = TARNOW.endswith(".exe")
STDOUT_EOL = b"\r\n" if ON_WINE else b"\n"  # the receiver's standard output is text mode on Windows
# Every build keeps its settings in the 32-bit view of the registry.
KEY = r"HKLM\SOFTWARE\Wow6432Node\Kandrel\Tarnow"
SETTINGS_KEY_LINE = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]"

BANNER = ("ORVEL SNMP Trap Receiver    Version 1.04\n"
          "SNMPv1 トラップ受信サービス (Windows / Linux)").encode("cp932")


_wine_started = False
# What Wine prints (CP932) when it cannot start a program at all.
WINE_COULD_NOT_START = "アプリケーションを開始できません".encode("cp932")


def start_wine_server():
    """Starts the prefix's server with no inherited pipes: the server and the
    services it starts keep open what they inherit, and a test reading a
    pipe would otherwise wait for them."""
    global _wine_started
    if ON_WINE and not _wine_started:
        subprocess.run([WINE_RUN, WINE_PREFIX, "--start"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        _wine_started = True


def command(*args):
    """The command line that runs the receiver with `args`."""
    if ON_WINE:
        start_wine_server()
        return [WINE_RUN, WINE_PREFIX, TARNOW, *args]
    return [TARNOW, *args]


def wine(*args, **kwargs):
    start_wine_server()
    return subprocess.run([WINE_RUN, WINE_PREFIX, *args], capture_output=True, timeout=120, **kwargs)


def reg(*args):
    """Wine's reg.exe. On a loaded machine Wine now and then fails to start a
    program at all: with its "cannot start" text, or with status 1 and no
    output, which reg.exe never gives; the registry was not touched, so the
    command is run again."""
    for _ in range(3):
        done = wine("reg", *args)
        out = done.stdout + done.stderr
        if WINE_COULD_NOT_START not in out and (done.returncode == 0 or out):
            return done
    return done


def host_path(path):
    """A path as the receiver sees it (Wine maps / to drive Z:)."""
    return "Z:" + path.replace("/", "\\") if ON_WINE else path


# --- settings -----------------------------------------------------------

class Settings:
    """The receiver's settings for one test: a REGEDIT4 file on Linux, the
    real registry key under Wine. Numbers are ints, texts are str."""

    def __init__(self, tmpdir):
        self.path = os.path.join(tmpdir, "settings.reg")
        self.env = dict(os.environ, TARNOW_SETTINGS=self.path, TZ="UTC")
        if ON_WINE:
            reg("delete", KEY, "/f")

    def write(self, values):
        """A dict value is a subkey ("Rules\\001") with its own values."""
        # The logs tests compare byte for byte are those without names from MIB modules and without
        # the counters' lines, unless a test asks.
        values = dict({"f_mibnames": 0, "counter_seconds": 0}, **values)
        keys = [("", {n: v for n, v in values.items() if not isinstance(v, dict)})]
        keys += [("\\" + n, v) for n, v in values.items() if isinstance(v, dict)]
        if ON_WINE:
            for sub, key_values in keys:
                for name, value in key_values.items():
                    kind, data = ("REG_DWORD", str(value)) if isinstance(value, int) else ("REG_SZ", value)
                    done = reg("add", KEY + sub, "/v", name, "/t", kind, "/d", data, "/f")
                    if done.returncode != 0:
                        raise AssertionError("reg add %s: %d %r" % (name, done.returncode, done.stdout + done.stderr))
            return
        lines = ["REGEDIT4"]
        for sub, key_values in keys:
            lines += ["", SETTINGS_KEY_LINE[:-1] + sub + "]"]
            for name, value in key_values.items():
                if isinstance(value, int):
                    lines.append('"%s"=dword:%08x' % (name, value & 0xFFFFFFFF))
                else:
                    lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\").replace('"', '\\"')))
        with open(self.path, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))

    def dump(self):
        """Every stored key and value as text: the file, or reg.exe's listing."""
        if ON_WINE:
            return reg("query", KEY, "/s").stdout.decode("cp932")
        return read(self.path).decode("cp932")

    def clear(self):
        if ON_WINE:
            reg("delete", KEY, "/f")

    def key_access(self):
        """(protected, trustees) of the key's DACL; Wine keeps it only while its server runs."""
        sddl = wine(os.environ["KEY_SECURITY"], r"SOFTWARE\Kandrel\Tarnow").stdout.decode()
        return sddl.startswith("D:P"), sorted(set(re.findall(r";(\w+)\)", sddl)))


# --- the manager's port ---------------------------------------------------

class ManagerPort:
    """UDP port 18882 on loopback, where the receiver forwards frames (or `port`: 0 for any)."""

    def __init__(self, port=18882):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.port = self.sock.getsockname()[1]

    def frames(self, expected, timeout=60.0):
        """Up to `expected` frames as (time, length, data); waits at most `timeout`."""
        out = []
        deadline = time.time() + timeout
        while len(out) < expected and time.time() < deadline:
            self.sock.settimeout(max(0.01, deadline - time.time()))
            try:
                datagram = self.sock.recv(65535)
            except socket.timeout:
                break
            t, n = struct.unpack(">II", datagram[:8])
            out.append((t, n, datagram[8:]))
        return out

    def close(self):
        self.sock.close()


def eventually(read, expected, timeout=60, interval=0.1):
    """Calls `read` until it gives `expected` or `timeout` seconds have passed;
    returns the last reading, for the test to compare."""
    deadline = time.time() + timeout
    while True:
        value = read()
        if value == expected or time.time() > deadline:
            return value
        time.sleep(interval)


def udp_port_bound(port, protocol="udp"):
    """True when some socket of this machine is bound to UDP `port` (or, with
    protocol "tcp", listens on TCP `port`)."""
    for table in ("/proc/net/" + protocol, "/proc/net/%s6" % protocol):
        for line in (read(table) or b"").decode().splitlines()[1:]:
            local, state = line.split()[1], line.split()[3]
            if int(local.rsplit(":", 1)[1], 16) == port and (protocol == "udp" or state == "0A"):
                return True
    return False


def descriptor_lister(script, listing):
    """Makes `script` a program that writes the descriptors it holds, as a
    Python dict of number to target, into the file `listing` (Python itself
    opens none for this)."""
    with open(script, "w") as f:
        f.write("#!/usr/bin/python3 -I\nimport os\nheld = {}\nfor fd in range(4096):\n"
                "    try:\n        held[fd] = os.readlink('/proc/self/fd/%%d' %% fd)\n"
                "    except OSError:\n        pass\n"
                "with open(%r, 'w') as f:\n    f.write(repr(held))\nos.rename(%r, %r)\n"
                % (listing + ".part", listing + ".part", listing))
    os.chmod(script, 0o700)


def send_udp(payload, port=162):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(payload, ("127.0.0.1", port))


def snmptrap(enterprise, generic, specific, *bindings, agent="10.0.0.1", uptime="100", community="public",
             target="127.0.0.1:162"):
    """Sends one SNMPv1 trap with net-snmp's snmptrap."""
    subprocess.run(["snmptrap", "-v", "1", "-c", community, target, enterprise, agent,
                    str(generic), str(specific), uptime, *bindings], check=True, timeout=30)


ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TEST_MIBS = os.path.join(ROOT, "tests", "e2e", "mibs")  # TARNOW-TEST-MIB and the modules net-snmp's need


def snmptrap_v2c_names(*args, target="127.0.0.1:162"):
    """`snmptrap -v 2c` with the names of TARNOW-TEST-MIB, as net-snmp reads it from our module files."""
    folders = ":".join([os.path.join(ROOT, "common", "mibs"), TEST_MIBS, "/usr/share/snmp/mibs"])
    subprocess.run(["snmptrap", "-v", "2c", "-c", "public", "-M", folders, "-m", "TARNOW-TEST-MIB", target, *args],
                   check=True, timeout=30)


def snmptrap_v2c_datagram(uptime, trap_oid, *bindings):
    """The datagram net-snmp's `snmptrap -v 2c` sends, caught on a port of our own."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        s.settimeout(30)
        subprocess.run(["snmptrap", "-v", "2c", "-c", "public", "127.0.0.1:%d" % s.getsockname()[1], uptime,
                        trap_oid, *bindings], check=True, timeout=30)
        return s.recv(65536)


def snmpinform(uptime, trap_oid, *bindings, target="127.0.0.1:162"):
    """Sends an SNMPv2c inform with net-snmp's snmpinform, no retry; True when it was answered."""
    result = subprocess.run(["snmpinform", "-v", "2c", "-c", "public", "-r", "0", "-t", "30", target,
                             uptime, trap_oid, *bindings], timeout=60, capture_output=True)
    return result.returncode == 0



class OtherHost:
    """Another host on this machine: a network namespace joined to this one by a
    veth pair (needs root and iproute2). `address` is this host as seen from there."""

    SEND = ("import socket, sys\ns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
            "for line in sys.stdin:\n    s.sendto(bytes.fromhex(line), (sys.argv[1], int(sys.argv[2])))\n")

    def __enter__(self):
        pid, net = os.getpid(), "10.%d.%d" % (200 + os.getpid() % 50, os.getpid() // 50 % 250)
        self.ns, here, there = "tarnow-peer-%d" % pid, "tpa%d" % pid, "tpb%d" % pid
        self.address, self.peer = net + ".1", net + ".2"
        steps = [["netns", "add", self.ns], ["link", "add", here, "type", "veth", "peer", "name", there, "netns", self.ns],
                 ["addr", "add", self.address + "/24", "dev", here], ["link", "set", here, "up"],
                 ["-n", self.ns, "addr", "add", net + ".2/24", "dev", there], ["-n", self.ns, "link", "set", there, "up"]]
        for step in steps:
            subprocess.run(["ip", *step], check=True, capture_output=True, timeout=30)
        return self

    def send(self, datagrams, port=162):
        """Sends each datagram, in order, from the other host (`peer`) to `port` here."""
        subprocess.run(["ip", "netns", "exec", self.ns, "python3", "-c", self.SEND, self.address, str(port)], check=True,
                       input="".join(d.hex() + "\n" for d in datagrams).encode(), timeout=60)

    def __exit__(self, *exc):
        subprocess.run(["ip", "netns", "del", self.ns], capture_output=True, timeout=30)  # the pair goes with it


# --- the receiver -----------------------------------------------------------

class Receiver:
    """tarnow in the console role, standard output to a file."""

    def __init__(self, settings, tmpdir):
        self.out_path = os.path.join(tmpdir, "stdout.bin")
        self.out = open(self.out_path, "wb")
        self.proc = subprocess.Popen(command(), stdout=self.out, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, env=settings.env)
        self._wait_for_banner()

    def _wait_for_banner(self, timeout=120):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if BANNER.replace(b"\n", STDOUT_EOL) in self.output():
                return
            if self.proc.poll() is not None:
                raise AssertionError("receiver ended: %r" % self.output())
            time.sleep(0.05)
        raise AssertionError("no banner: %r" % self.output())

    def output(self):
        with open(self.out_path, "rb") as f:
            return f.read()

    def stop(self, timeout=120):
        """Ctrl+C (Wine hands SIGINT to the console handler); returns the exit code and the output."""
        self.proc.send_signal(signal.SIGINT)
        code = self.proc.wait(timeout=timeout)
        self.out.close()
        return code, self.output()

    def kill(self):
        """Ends a receiver that a failed test left running."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.out.close()


# --- sound ----------------------------------------------------------------------

def alsa_file_device(home):
    """Makes ALSA's default device, for programs run with HOME=home, a file
    that receives every sample played; returns that file's path."""
    played = os.path.join(home, "played.raw")
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write('pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n' % played)
    return played


def held_open(path):
    """True while some process of this machine holds `path` open."""
    for fds in glob.glob("/proc/[0-9]*/fd"):
        try:
            if any(os.readlink(os.path.join(fds, fd)) == path for fd in os.listdir(fds)):
                return True
        except OSError:
            pass  # the process or the descriptor has gone meanwhile
    return False


def write_wave(path, frames):
    """A mono 16-bit 8 kHz wave file of a sine; returns its samples."""
    samples = b"".join(struct.pack("<h", int(8000 * math.sin(i / 3))) for i in range(frames))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(samples)
    return samples


# --- expected texts ----------------------------------------------------------

def hex_dump(data, eol=b"\n"):
    out = b""
    for offset in range(0, len(data), 16):
        chunk = data[offset:offset + 16]
        line = b"%08X : " % offset
        for i, byte in enumerate(chunk):
            if i == 8:
                line += b"- "
            line += b"%02X " % byte
        line = line.ljust(61)
        chars = bytes(b if 0x20 <= b <= 0x7E else 0x2E for b in chunk).ljust(16)
        out += line + b"*" + chars + b"*" + eol
    return out + eol


def report(trap, eol=b"\n"):
    """The report of `trap`, a dict with the decoded fields (`version` 1 unless
    given); `bindings` is a list of (name, type, value): the type line's text
    ('I' and 'O' short for INTEGER and OCTET STRING), value None for no data line."""
    def line(label, value=""):
        return label.encode("cp932") + (value if isinstance(value, bytes) else str(value).encode()) + eol
    out = (line("受信日時: ", trap["time"]) + line("バージョン: ", trap.get("version", 1)) + line("コミュニティ: ", trap["community"])
           + line("PDUタイプ: ", "A4") + line("ベンダーOID: ", trap["enterprise"])
           + line("エージェントアドレス: ", trap["agent"]) + line("汎用トラップ: ", trap["generic"])
           + line("企業固有トラップ: ", trap["specific"]) + line("タイムチック: ", trap["uptime"]))
    for number, (name, kind, value) in enumerate(trap["bindings"][:10], 1):
        out += line("トラップ情報[%d]" % number) + line("    オブジェクト識別子: ", name)
        out += line("    タイプ: ", {"I": "INTEGER", "O": "OCTET STRING"}.get(kind, kind))
        if value is not None:
            out += line("    データ: ", value)
    if len(trap["bindings"]) > 10:
        out += line("(以下 %d 件のトラップ情報は省略)" % (len(trap["bindings"]) - 10))
    return out


NUMBER_TYPES = ("INTEGER", "Counter32", "Gauge32", "TimeTicks", "Counter64")


def json_line(trap, seconds, sender):
    """The JSON lines file's object for `trap` (as report() takes it) received at `seconds` from `sender`."""
    def binding(name, kind, value):
        kind = {"I": "INTEGER", "O": "OCTET STRING"}.get(kind, kind)
        shown = None if value is None else int(value) if kind in NUMBER_TYPES else value.decode("cp932")
        return {"oid": name, "type": kind, "value": shown}
    return {"time": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(seconds)), "sender": sender,
            "agent": trap["agent"], "version": trap.get("version", 1), "community": trap["community"],
            "enterprise": trap["enterprise"], "generic": trap["generic"], "specific": trap["specific"],
            "uptime": trap["uptime"], "bindings": [binding(*b) for b in trap["bindings"]]}


def recv_time(seconds):
    return time.strftime("%Y/%m/%d %H:%M:%S", time.gmtime(seconds))


def csv_row(trap):
    def q(v):
        v = v if isinstance(v, bytes) else str(v).encode()
        return b'"' + v.replace(b'"', b'""') + b'"'
    fields = [trap["time"], trap.get("version", 1), trap["community"], "A4", trap["enterprise"], trap["agent"],
              trap["generic"], trap["specific"], trap["uptime"]]
    for name, _, value in trap["bindings"][:10]:
        fields += [name, value if value is not None else ""]
    return b",".join(q(f) for f in fields) + b"\r\n"


def record_frames(data, being_written=False):
    """(time, length, payload) of every frame of a record file. A file still
    being written may end inside a frame, which is then left out."""
    frames, pos = [], 0
    while pos + 8 <= len(data):
        t, n = struct.unpack("<II", data[pos:pos + 8])
        if being_written and pos + 8 + n > len(data):
            return frames
        frames.append((t, n, data[pos + 8:pos + 8 + n]))
        pos += 8 + n
    assert being_written or pos == len(data), "record file ends inside a frame"
    return frames


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def tempdir():
    return tempfile.mkdtemp(prefix="tarnow-e2e-")


def remove(path):
    shutil.rmtree(path, ignore_errors=True)


# --- test certificates -------------------------------------------------------

ROOT_KEY = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"


def make_certificates(folder):
    """A CA, and certificates it issues for localhost and for another host
    name; returns the CA's DER bytes."""
    import datetime
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID
    now = datetime.datetime.now(datetime.timezone.utc)

    def name(text):
        return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])

    def builder(subject, issuer, key):
        return (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
                .public_key(key.public_key()).serial_number(x509.random_serial_number())
                .not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(now + datetime.timedelta(days=30)))

    # RSA: Wine's check of an ECDSA signature fails now and then (0x80096004).
    ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    # A name of its own each run: a CA of an earlier run with the same name,
    # still known to the system, would be taken as the issuer and fail the signature.
    ca_name = "tarnow test CA %s" % os.urandom(4).hex()
    ca = (builder(ca_name, ca_name, ca_key)
          .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
          .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
          .sign(ca_key, hashes.SHA256()))
    with open(os.path.join(folder, "ca.pem"), "wb") as f:
        f.write(ca.public_bytes(serialization.Encoding.PEM))
    for host in ("localhost", "other.example.org"):
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        cert = (builder(host, ca_name, key)
                .add_extension(x509.SubjectAlternativeName([x509.DNSName(host)]), critical=False)
                .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
                .sign(ca_key, hashes.SHA256()))
        with open(os.path.join(folder, host + ".pem"), "wb") as f:
            f.write(cert.public_bytes(serialization.Encoding.PEM))
            f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                      serialization.NoEncryption()))
    return ca.public_bytes(serialization.Encoding.DER)


class TestCertificates:
    """make_certificates() in a folder of its own, the CA trusted by the
    receiver: by OpenSSL through SSL_CERT_FILE=path("ca"), under Wine in the
    prefix's Root store (property 32, the certificate, and its DER bytes)."""

    def __init__(self):
        self.folder = tempdir()
        ca = make_certificates(self.folder)
        self.root = None
        if ON_WINE:
            self.root = ROOT_KEY + "\\" + hashlib.sha1(ca).hexdigest().upper()
            blob = struct.pack("<III", 32, 1, len(ca)) + ca
            done = reg("add", self.root, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex(), "/f")
            assert done.returncode == 0, done

    def path(self, name):
        """The PEM file of `name`: "ca", or a host's certificate and key."""
        return os.path.join(self.folder, name + ".pem")

    def close(self):
        if self.root:
            reg("delete", self.root, "/f")
        remove(self.folder)


class ReceiverCase(unittest.TestCase):
    """A test that runs the receiver in the console with its own settings,
    listening on the manager's port; whatever a test leaves running ends."""

    def setUp(self):
        self.tmp = tempdir()
        self.settings = Settings(self.tmp)
        self.manager = ManagerPort()
        self.receiver = None
        # Japanese names: the settings hold them in CP932, the file system in its own encoding.
        self.files = {k: os.path.join(self.tmp, "トラップ 記録." + k) for k in ("orv", "csv", "log", "json")}

    def tearDown(self):
        if self.receiver:
            self.receiver.kill()
        self.manager.close()
        self.settings.clear()
        remove(self.tmp)

    def start(self, values, users=()):
        """The receiver with the settings `values` and the SNMPv3 users made by
        its -user role from each argument list of `users`."""
        self.settings.write(values)
        for args in users:
            done = subprocess.run(command("-user", "add", *args), env=self.settings.env, capture_output=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.receiver = Receiver(self.settings, self.tmp)

    def start_with_files(self, users=(), **values):
        """The receiver with its record, CSV, log and JSON lines files (self.files) on, and `values` besides."""
        files = {"f_binfile": 1, "binfile": host_path(self.files["orv"]),
                 "f_csvfile": 1, "csvfile": host_path(self.files["csv"]),
                 "f_logfile": 1, "logfile": host_path(self.files["log"]),
                 "f_jsonfile": 1, "jsonfile": host_path(self.files["json"])}
        files.update(values)
        self.start(files, users)

    def stop(self):
        """Stops the receiver as Ctrl+C does; returns its output."""
        code, out = self.receiver.stop()
        self.receiver = None
        self.assertEqual(code, 0, out[-4000:])
        return out
