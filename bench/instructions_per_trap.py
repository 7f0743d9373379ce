#!/usr/bin/python3
"""Counts the user-space instructions tarnow spends per trap, under callgrind:
the count for 3000 traps less the count for 1000, over 2000. Exact and free of
the machine's noise, so two builds compare even on a busy machine. System
calls are not counted (strace -c shows those). Needs root (port 162), valgrind
and the linux build; run it in a network namespace of its own.

    bench/instructions_per_trap.py [BUILD...]   (default: this tree's build/linux)
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

import run_bench


def instructions(build, traps):
    tmp = tempfile.mkdtemp(prefix="tarnow-callgrind-")
    out = os.path.join(tmp, "callgrind.out")

    class Callgrind(run_bench.Tarnow):
        wrapper = ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out]

    try:
        receiver = Callgrind(build, tmp)
        sender = os.path.join(run_bench.ROOT, "build", "linux", "bench", "trap_sender")
        subprocess.run([sender, "162", "100", str(traps)], check=True, stdout=subprocess.DEVNULL)
        recorded = receiver.finish()
        if recorded != traps:
            sys.exit("%s recorded %d of %d traps" % (build, recorded, traps))
        with open(out) as f:
            return int(re.search(r"^summary: (\d+)", f.read(), re.M).group(1))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    for build in sys.argv[1:] or [os.path.join(run_bench.ROOT, "build", "linux")]:
        per_trap = (instructions(build, 3000) - instructions(build, 1000)) / 2000
        print("%-50s %8.0f instructions per trap" % (build, per_trap), flush=True)


if __name__ == "__main__":
    main()
