"""Prints the id (module.Class.method) of every test that Python's unittest
loader finds in the given modules, inherited methods included, one a line.
CMake registers exactly these; scripts/test checks that CTest runs them all."""

import sys
import unittest

sys.dont_write_bytecode = True


def test_ids(suite):
    for test in suite:
        if isinstance(test, unittest.TestSuite):
            yield from test_ids(test)
        else:
            yield test.id()


if __name__ == "__main__":
    loader = unittest.TestLoader()
    for module in sys.argv[1:]:
        ids = list(test_ids(loader.loadTestsFromName(module)))
        if loader.errors:  # a module that does not import: its tests would silently vanish
            sys.exit("".join(loader.errors))
        print("\n".join(ids))
