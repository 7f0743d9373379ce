"""The manager under Wine and Xvfb as a test starts it, and the probe that
reads and drives its windows from outside."""

import os
import subprocess
import time
import unittest

import harness as h

MAIN_TITLE = "ORVEL SNMP Trap Receiver マネージャー"


# What the probe writes to its standard error before it does anything.
PROBE_STARTED = b"palomir_probe: started"


def run_probe(*args):
    """Runs the probe with `args` and returns the finished process. On a loaded
    machine Wine now and then ends a program before it starts, with exit status 1
    and no output, which looks like a probe that found no window; an action it was
    to take (a click, a command) would then be lost without a word, and the test
    would wait for its effect in vain. Only a run that printed the probe's start
    line counts: the probe did nothing on any other, so it is run again."""
    for _ in range(3):
        done = h.wine(os.environ["PALOMIR_PROBE"], *args)
        if PROBE_STARTED in done.stderr:
            return done
    raise AssertionError("Wine did not start palomir_probe %r: %r" % (args, done.stdout + done.stderr))


def probe(*args):
    return run_probe(*args).stdout.decode("utf-8").splitlines()


class ManagerCase(unittest.TestCase):
    """A test with the manager running under Wine and Xvfb."""

    def setUp(self):
        self.tmp = h.tempdir()
        self.settings = h.Settings(self.tmp)
        self.palomir = None
        self.receiver = None

    def tearDown(self):
        if self.receiver:
            self.receiver.kill()
        if self.palomir:
            probe("command", "32771")
            try:
                self.palomir.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.palomir.kill()
        self.settings.clear()
        h.remove(self.tmp)

    def start_manager(self, values=None, lang=None, home=None):
        self.settings.write(values or {"traplevel": 0})
        h.start_wine_server()
        env = dict(os.environ)
        if lang:
            env["WINE_LANG"] = lang
        if home:
            env["HOME"] = home
        self.palomir = subprocess.Popen([h.WINE_RUN, h.WINE_PREFIX, os.environ["PALOMIR_EXE"]],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=env)
        self.assertTrue(self.wait(MAIN_TITLE, 60), "the main window initialised and shown")

    def start_receiver(self):
        self.receiver = h.Receiver(self.settings, self.tmp)

    def rows(self, count=None, timeout=60):
        deadline = time.time() + timeout
        while True:
            lines = probe("rows")
            rows = [line.split("\t") for line in lines if not line.startswith("view")]
            if count is None or len(rows) >= count or time.time() > deadline:
                view = [line.split("\t") for line in lines if line.startswith("view")][0]
                return rows, int(view[1]), int(view[2])
            time.sleep(0.2)

    def wait(self, title, seconds=60):
        """True once the window titled `title` is initialised and shown."""
        return run_probe("wait", title, str(seconds)).returncode == 0

    def gone(self, title, seconds=60):
        """True once the window titled `title` has closed and the main window's
        thread has finished what followed."""
        return run_probe("gone", title, str(seconds)).returncode == 0

    def children(self, title=""):
        return [line.split("\t") for line in probe("children", title)]
