"""Names from MIB modules, read through mib_dump (the receiver's own MIB reader):
every identifier net-snmp's snmptranslate knows in the same modules gets the
same name and the same enumeration, and broken modules load what they can."""

import os
import re
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
MIB_DUMP = os.environ.get("MIB_DUMP", "")
BUILT_IN = os.path.join(ROOT, "common", "mibs")
TEST_MIBS = os.path.join(HERE, "mibs")
NET_SNMP_MIBS = "/usr/share/snmp/mibs"
ROOTS = ["0", "1", "2"]
PROBLEM = re.compile(r"^MIBモジュールを読めません: (.+) \((\d+)行目\): .+$")


def mib_dump(dirs, oids):
    """mib_dump's lines for `oids` as {oid: (name, items)}, and its standard error."""
    done = subprocess.run([MIB_DUMP, ";".join(dirs)], input="".join(o + "\n" for o in oids).encode(),
                          capture_output=True, timeout=120, check=True)
    named = {}
    for line in done.stdout.decode("ascii").splitlines():
        oid, name, *items = line.split("\t")
        named[oid] = (name, items[0] if items else "")
    return named, done.stderr.decode("cp932")


def snmptranslate(*args):
    """snmptranslate over every module of the three folders, no configuration file read."""
    with tempfile.TemporaryDirectory() as no_config:
        done = subprocess.run(["snmptranslate", "-M", ":".join([BUILT_IN, TEST_MIBS, NET_SNMP_MIBS]), "-m", "ALL",
                               *args], capture_output=True, timeout=300, env=dict(os.environ, SNMPCONFPATH=no_config))
    if done.returncode != 0 or done.stderr:
        raise AssertionError(f"snmptranslate {args[:2]}: {done.stderr.decode(errors='replace')}")
    return done.stdout.decode("ascii")


def net_snmp_oids():
    """Every identifier net-snmp defines, less the 0 arcs it makes for TRAP-TYPEs."""
    pairs = re.findall(r'^"([^"]+)"\s+"([0-9.]+)"$', snmptranslate("-Tz"), re.M)
    return [oid for label, oid in pairs if not label.endswith("#")]


def net_snmp_names(oids):
    """The names snmptranslate gives, table indexes as numbers (as the receiver shows them)."""
    names = {}
    for start in range(0, len(oids), 400):
        chunk = oids[start:start + 400]
        lines = [line for line in snmptranslate("-Ob", "-Ir", *chunk).splitlines() if line]
        assert len(lines) == len(chunk), "snmptranslate named fewer identifiers than it was given"
        names.update(zip(chunk, lines))
    return names


def net_snmp_enumerations():
    """{oid: "label(value), ..."} from the tree that -Tp draws: each level indents by three."""
    enumerations, path = {}, []
    for line in snmptranslate("-Tp").splitlines():
        node = re.match(r"^([ |]*)\+--.*?(\S+)\((-?\d+)\)$", line)
        values = re.match(r"^[ |]*Values: (.*)$", line)
        if node:
            path[len(node.group(1)) // 3:] = [node.group(3)]
        elif values:
            enumerations[".".join(path)] = values.group(1)
    return enumerations


def longest_prefix(oid, known):
    arcs = oid.split(".")
    return next((p for p in (".".join(arcs[:n]) for n in range(len(arcs), 0, -1)) if p in known), "")


class NamesAsNetSnmpGivesThem(unittest.TestCase):
    def test_every_identifier_and_enumeration_of_the_modules(self):
        defined = net_snmp_oids()
        oids = list(dict.fromkeys(ROOTS + [oid + index for oid in defined for index in ("", ".7", ".1.2")]))
        expected_names = net_snmp_names(oids)
        enumerations = net_snmp_enumerations()
        ours, problems = mib_dump([TEST_MIBS, NET_SNMP_MIBS], oids)
        self.assertEqual(problems, "")
        differing = []
        known = set(defined)
        for oid in oids:
            expected = (expected_names[oid], enumerations.get(longest_prefix(oid, known), ""))
            if ours.get(oid) != expected:
                differing.append(f"{oid}: ours {ours.get(oid)}, net-snmp {expected}")
        print(f"{len(oids)} identifiers ({len(defined)} defined), {len(enumerations)} enumerations compared")
        if differing:
            self.fail(f"{len(differing)} of {len(oids)} identifiers differ:\n" + "\n".join(differing[:20]))


def module(name, body):
    return f"{name} DEFINITIONS ::= BEGIN\nIMPORTS enterprises FROM SNMPv2-SMI;\n{body}"


# file: (text, line of its one logged fault or None, {oid: the name it still gets}).
# The line is the first fault's: a cut module's is its last line; a missing
# module's, its FROM; in a loop through IMPORTS, each module's FROM.
MODULES = {
    "cut.txt": (module("TEST-CUT-MIB", "testCut OBJECT IDENTIFIER ::= { enterprises 99990 }\n"
                       "testCutKept OBJECT IDENTIFIER ::= { testCut 1 }\n"
                       "testCutLost OBJECT IDENTIFIER ::= { testCut"),
                5, {"1.3.6.1.4.1.99990.1.4": "TEST-CUT-MIB::testCutKept.4", "1.3.6.1.4.1.99990.2": "TEST-CUT-MIB::testCut.2"}),
    "unknown_macro.txt": (module("TEST-MACRO-MIB", "testMacro OBJECT IDENTIFIER ::= { enterprises 99991 }\n"
                                 "testMacroKept OBJECT IDENTIFIER ::= { testMacro 1 }\n"
                                 "testMacroOdd WIDGET-TYPE COLOUR blue ::= { testMacro 2 }\nEND\n"),
                          5, {"1.3.6.1.4.1.99991.1": "TEST-MACRO-MIB::testMacroKept"}),
    "missing_import.txt": ("TEST-MISSING-MIB DEFINITIONS ::= BEGIN\nIMPORTS enterprises FROM SNMPv2-SMI\n"
                           "    widgetRoot FROM NO-SUCH-MIB;\n"
                           "testMissing OBJECT IDENTIFIER ::= { enterprises 99992 }\n"
                           "testMissingLost OBJECT IDENTIFIER ::= { widgetRoot 1 }\nEND\n",
                           3, {"1.3.6.1.4.1.99992.1": "TEST-MISSING-MIB::testMissing.1"}),
    "loop_a.txt": ("TEST-LOOP-A-MIB DEFINITIONS ::= BEGIN\nIMPORTS enterprises FROM SNMPv2-SMI\n"
                   "    testLoopB FROM TEST-LOOP-B-MIB;\n"
                   "testLoopA OBJECT IDENTIFIER ::= { testLoopB 1 }\n"
                   "testLoopAFree OBJECT IDENTIFIER ::= { enterprises 99993 }\nEND\n",
                   3, {"1.3.6.1.4.1.99993": "TEST-LOOP-A-MIB::testLoopAFree"}),
    "loop_b.txt": ("TEST-LOOP-B-MIB DEFINITIONS ::= BEGIN\nIMPORTS enterprises FROM SNMPv2-SMI\n"
                   "    testLoopA FROM TEST-LOOP-A-MIB;\n"
                   "testLoopB OBJECT IDENTIFIER ::= { testLoopA 1 }\n"
                   "testLoopBFree OBJECT IDENTIFIER ::= { enterprises 99994 }\nEND\n",
                   3, {"1.3.6.1.4.1.99994.5": "TEST-LOOP-B-MIB::testLoopBFree.5"}),
    "two_faults.txt": ("TEST-TWICE-MIB DEFINITIONS ::= BEGIN\nIMPORTS enterprises FROM SNMPv2-SMI\n"
                       "    widgetRoot FROM NO-SUCH-MIB;\n"
                       "testTwice OBJECT IDENTIFIER ::= { enterprises 99995 }\n"
                       "testTwiceOdd WIDGET-TYPE ::= { testTwice 1 }\ntestTwiceCut OBJECT-TYPE SYNTAX INTEGER {",
                       3, {"1.3.6.1.4.1.99995": "TEST-TWICE-MIB::testTwice"}),
    "own_macro.txt": (module("TEST-OWN-MACRO-MIB", "WIDGET-TYPE MACRO ::=\nBEGIN\n  TYPE NOTATION ::= \"COLOUR\" Colour\n"
                             "  VALUE NOTATION ::= value(VALUE OBJECT IDENTIFIER)\nEND\n"
                             "testOwnMacro OBJECT IDENTIFIER ::= { enterprises 99996 }\n"
                             "testOwnMacroWidget WIDGET-TYPE COLOUR blue ::= { testOwnMacro 1 }\n"
                             "testOwnMacroAfter OBJECT IDENTIFIER ::= { testOwnMacro 2 }\nEND\n"),
                      None, {"1.3.6.1.4.1.99996.2": "TEST-OWN-MACRO-MIB::testOwnMacroAfter",
                             "1.3.6.1.6.3.1.1.5.3": "IF-MIB::linkDown"}),
}


class BrokenModules(unittest.TestCase):
    def test_what_loads_is_named_and_each_broken_module_logs_one_line(self):
        with tempfile.TemporaryDirectory() as folder:
            for file, (text, _, _) in MODULES.items():
                with open(os.path.join(folder, file), "w") as out:
                    out.write(text)
            wanted = {oid: name for _, _, names in MODULES.values() for oid, name in names.items()}
            ours, problems = mib_dump([folder], wanted)
        logged = [PROBLEM.match(line) for line in problems.splitlines()]
        self.assertNotIn(None, logged, problems)
        self.assertEqual(sorted((os.path.basename(m.group(1)), int(m.group(2))) for m in logged),
                         sorted((file, line) for file, (_, line, _) in MODULES.items() if line), problems)
        self.assertEqual({oid: ours[oid][0] for oid in wanted}, wanted)


if __name__ == "__main__":
    unittest.main()
