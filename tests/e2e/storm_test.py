"""A storm of traps while the mail server is slow: the receiver keeps every
trap, and its threads and memory stay bounded."""

import os
import socket
import threading
import unittest

import harness as h

TRAPS = 10000
BURST = 100
TRAP = bytes.fromhex("302502010004067075626c6963a41806072b06010401823740040a000001020106020100430164")


class SlowSmtpServer:
    """Accepts every connection and says nothing for a long time."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.connections = []
        self.running = True
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while self.running:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.connections.append(conn)

    def close(self):
        self.running = False
        self.sock.close()
        for conn in self.connections:
            conn.close()


def proc_status(pid):
    with open("/proc/%d/status" % pid) as f:
        fields = dict(line.split(":", 1) for line in f)
    return int(fields["Threads"]), int(fields["VmRSS"].split()[0])


class StormTest(unittest.TestCase):
    def test_ten_thousand_traps_with_a_slow_mail_server(self):
        tmp = h.tempdir()
        self.addCleanup(h.remove, tmp)
        smtp = SlowSmtpServer()
        self.addCleanup(smtp.close)
        settings = h.Settings(tmp)
        record, log = os.path.join(tmp, "storm.orv"), os.path.join(tmp, "storm.log")
        settings.write({"f_email": 1, "smtpname": "127.0.0.1", "smtpport": smtp.port, "mail_from": "a@b",
                        "mail_to": "c@d", "f_binfile": 1, "binfile": record, "f_logfile": 1, "logfile": log})
        receiver = h.Receiver(settings, tmp)
        self.addCleanup(receiver.kill)
        pid = receiver.proc.pid
        threads_before, memory_before = proc_status(pid)

        # Bursts the socket's buffer holds, each sent once the one before is
        # recorded: the test is about the mail queue, not the machine's speed.
        samples = []
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for sent in range(BURST, TRAPS + 1, BURST):
                for _ in range(BURST):
                    s.sendto(TRAP, ("127.0.0.1", 162))
                recorded = h.eventually(lambda: len(h.record_frames(h.read(record) or b"", True)) >= sent, True,
                                        timeout=60, interval=0.01)
                self.assertTrue(recorded, "burst ending at %d recorded" % sent)
                samples.append(proc_status(pid))

        self.assertEqual(len(h.record_frames(h.read(record))), TRAPS)
        most_threads = max(t for t, _ in samples)
        most_memory_kib = max(m for _, m in samples)
        self.assertLessEqual(most_threads, threads_before + 8, samples)  # at most 8 mail workers
        # The 1000 queued jobs, each with a copy of the record (about 28 KB), take
        # about 30 MB more than the idle receiver; without the bound 9,992 would.
        self.assertLess(most_memory_kib - memory_before, 48 * 1024, (memory_before, samples))
        dropped = (h.read(log) or b"").count("メール通知の待ちが1000件を超えたため".encode("cp932"))
        self.assertEqual(dropped, TRAPS - 8 - 1000)
        self.assertLessEqual(len(smtp.connections), 8)


if __name__ == "__main__":
    unittest.main()
