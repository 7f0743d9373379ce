#!/usr/bin/python3
"""The manager with many traps, under Wine and Xvfb: for record files of
10,000, 100,000 and 1,000,000 traps loaded at start ("tool_orvread"), the time
from starting palomir.exe to its main window answering a message, the rows
listed and the process's peak memory; then a storm of forwarded traps sent to
an empty list at a fixed rate, and how many are listed and when. Every trap
is 57 bytes, none vendor-specific (so the alert's look for the newest
vendor-specific trap reads back through the whole file). A file of no traps
gives Wine's own start-up time to compare with.

    bench/manager_load.py [--build DIR] [--runs N] [--sizes N,N,...] [--storm N] [--storm-seconds S]

Needs the win64 build; runs itself under xvfb-run when there is no display,
and takes the end-to-end tests' port lock while it runs.
"""

import argparse
import fcntl
import os
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Enterprise 1.3.6.1.4.1.311, agent 10.0.0.1, generic 2, specific 1, one binding sysName.0 "up".
TRAP = bytes.fromhex("303702010004067075626c6963a42a06072b06010401823740040a000001020102020101430164"
                     "3010300e06082b0601020101050004027570")
assert len(TRAP) == 57, len(TRAP)


def setup_environment(build):
    os.environ.update(PALOMIR_EXE=os.path.join(build, "manager", "palomir.exe"),
                      PALOMIR_PROBE=os.path.join(build, "tests", "palomir_probe.exe"),
                      WINE_RUN=os.path.join(ROOT, "scripts", "wine-run"),
                      WINE_PREFIX=os.path.join(build, "wineprefix"),
                      TARNOW_EXE=os.path.join(build, "service", "tarnow.exe"))
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))


def write_record_file(path, count):
    start = int(time.time()) - count
    with open(path, "wb") as f:
        for first in range(0, count, 100000):
            f.write(b"".join(struct.pack("<II", start + i, len(TRAP)) + TRAP
                             for i in range(first, min(count, first + 100000))))


def peak_kib(name="palomir.exe"):
    """VmHWM of the process whose name is `name` (Wine names the process after the program)."""
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/comm" % pid) as f:
                if f.read().strip() != name:
                    continue
            with open("/proc/%s/status" % pid) as f:
                return int(next(line for line in f if line.startswith("VmHWM")).split()[1])
        except (OSError, StopIteration, ValueError):
            continue
    return 0


class Manager:
    def __init__(self, h, mc):
        self.h, self.mc = h, mc

    def start(self, values):
        settings = self.h.Settings(tempfile.gettempdir())
        settings.clear()
        settings.write(dict(values, traplevel=0))
        self.h.start_wine_server()
        began = time.time()
        self.process = subprocess.Popen([self.h.WINE_RUN, self.h.WINE_PREFIX, os.environ["PALOMIR_EXE"]],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if self.h.wine(os.environ["PALOMIR_PROBE"], "wait", self.mc.MAIN_TITLE, "300").returncode != 0:
            raise RuntimeError("the main window did not answer")
        return time.time() - began

    def rows(self):
        return int(self.mc.probe("row-counts")[0])

    def stop(self):
        self.mc.probe("command", "32771")
        self.process.wait(timeout=120)


def load_run(manager, h, tmp, count):
    path = os.path.join(tmp, "load.orv")
    write_record_file(path, count)
    seconds = manager.start({"tool_orvread": 1, "f_binfile": 1, "binfile": h.host_path(path)})
    rows, peak = manager.rows(), peak_kib()
    manager.stop()
    os.remove(path)
    return seconds, rows, peak


def storm_run(manager, count, seconds):
    manager.start({"tool_orvread": 0})
    frame = struct.pack(">II", int(time.time()), len(TRAP)) + TRAP
    slices = 100
    began = time.time()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for i in range(slices):
            for _ in range(count * (i + 1) // slices - count * i // slices):
                s.sendto(frame, ("127.0.0.1", 18882))
            time.sleep(max(0.0, began + seconds * (i + 1) / slices - time.time()))
    sent = time.time() - began
    listed, last_change = manager.rows(), time.time()
    while listed < count and time.time() - last_change < 5:
        now = manager.rows()
        if now != listed:
            listed, last_change = now, time.time()
    done = time.time() - began
    manager.stop()
    return sent, listed, done


def spread(values):
    return "%.2f (%.2f-%.2f)" % (statistics.median(values), min(values), max(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "win64"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sizes", default="0,10000,100000,1000000")
    parser.add_argument("--storm", type=int, default=10000)
    parser.add_argument("--storm-seconds", type=float, default=2.0)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable, *sys.argv])
    setup_environment(os.path.abspath(args.build))
    import harness as h
    import manager_case as mc
    lock = open("/tmp/tarnow-e2e-ports.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    manager = Manager(h, mc)
    tmp = tempfile.mkdtemp(prefix="tarnow-bench-")
    print("traps      start to first answer, s   rows listed   peak memory, MB")
    for count in [int(n) for n in args.sizes.split(",")]:
        runs = [load_run(manager, h, tmp, count) for _ in range(args.runs)]
        print("%-10d %-32s %-13s %s" % (count, spread([r[0] for r in runs]),
                                         ",".join(sorted({str(r[1]) for r in runs})),
                                         spread([r[2] / 1024 for r in runs])))
    print("storm: %d forwards in %.1f s" % (args.storm, args.storm_seconds))
    for _ in range(args.runs):
        sent, listed, done = storm_run(manager, args.storm, args.storm_seconds)
        print("  sent in %.2f s, %d listed, all listed after %.2f s" % (sent, listed, done))
    os.rmdir(tmp)


if __name__ == "__main__":
    main()
