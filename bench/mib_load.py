#!/usr/bin/env python3
"""How long loading MIB modules takes: writes N generated modules (about 40
definitions each: a textual convention, a table of enumerated columns,
notifications; IMPORTS from the built-in modules and from the module before)
into a temporary folder and times mib_dump loading them, against mib_dump
loading an empty folder (the built-in modules only). Prints the median of the
runs and their spread.

    bench/mib_load.py [--modules N] [--runs R] [--mib-dump PATH]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COLUMNS = 30
SYNTAXES = ["INTEGER {{ idle(1), busy(2), failed(3), col{c}(4{c}) }}", "{prev}Level", "RowStatus",
            "DisplayString (SIZE (0..64))", "Counter32", "{own}Level"]


def module_name(i):
    return f"BENCH-{i:03d}-MIB"


def column(own, syntax, i, c):
    return (f"{own}Col{c} OBJECT-TYPE\n    SYNTAX      {syntax}\n    MAX-ACCESS  read-only\n"
            f"    STATUS      current\n    DESCRIPTION \"Column {c} of module {i}: what the\n"
            f"                device reports about the thing.\"\n    ::= {{ {own}Entry {c + 1} }}\n\n")


def module(i):
    """The text of module i, under enterprises.99998.i; module 0 imports only
    built-in modules (its "module before" is itself)."""
    own, prev = f"bench{i:03d}", f"bench{max(i - 1, 0):03d}"
    imports = f"    {prev}, {prev}Level FROM {module_name(i - 1)}\n" if i else ""
    text = [f"{module_name(i)} DEFINITIONS ::= BEGIN\n\nIMPORTS\n"
            "    MODULE-IDENTITY, OBJECT-TYPE, NOTIFICATION-TYPE, Counter32, enterprises FROM SNMPv2-SMI\n"
            "    TEXTUAL-CONVENTION, DisplayString, RowStatus FROM SNMPv2-TC\n" + imports + ";\n\n",
            f"{own} MODULE-IDENTITY\n    LAST-UPDATED \"202612100000Z\"\n    ORGANIZATION \"bench\"\n"
            f"    CONTACT-INFO \"none\"\n    DESCRIPTION  \"Generated module {i}.\"\n    ::= {{ enterprises 99998 {i} }}\n\n",
            f"{own}Level ::= TEXTUAL-CONVENTION\n    DISPLAY-HINT \"d\"\n    STATUS current\n"
            f"    DESCRIPTION \"A level.\"\n    SYNTAX INTEGER {{ low(1), mid(2), high(3), top{i}(4) }}\n\n",
            f"{own}Table OBJECT-TYPE\n    SYNTAX SEQUENCE OF {own.capitalize()}Entry\n    MAX-ACCESS not-accessible\n"
            f"    STATUS current\n    DESCRIPTION \"Rows.\"\n    ::= {{ {own} 1 }}\n\n",
            f"{own}Entry OBJECT-TYPE\n    SYNTAX {own.capitalize()}Entry\n    MAX-ACCESS not-accessible\n"
            f"    STATUS current\n    DESCRIPTION \"A row.\"\n    INDEX {{ {own}Col0 }}\n    ::= {{ {own}Table 1 }}\n\n",
            f"{own.capitalize()}Entry ::= SEQUENCE {{\n"
            + ",\n".join(f"    {own}Col{c} INTEGER" for c in range(COLUMNS)) + "\n}\n\n"]
    for c in range(COLUMNS):
        text.append(column(own, SYNTAXES[c % len(SYNTAXES)].format(c=c, own=own, prev=prev), i, c))
    text.append(f"{own}Events OBJECT IDENTIFIER ::= {{ {own} 2 }}\n\n")
    text.append(f"{own}Link OBJECT IDENTIFIER ::= {{ {prev} {3 + i} }}\n\n")
    for n in range(1, 5):
        text.append(f"{own}Event{n} NOTIFICATION-TYPE\n    OBJECTS {{ {own}Col1, {own}Col2 }}\n    STATUS current\n"
                    f"    DESCRIPTION \"Event {n}.\"\n    ::= {{ {own}Events {n} }}\n\n")
    text.append("END\n")
    return "".join(text)


def load_time(mib_dump, folder, probe):
    """Seconds mib_dump takes to load `folder` and name `probe`; its answer checked."""
    start = time.perf_counter()
    done = subprocess.run([mib_dump, folder], input=(probe + "\n").encode(), capture_output=True, check=True)
    seconds = time.perf_counter() - start
    if done.stderr:
        sys.exit(f"the modules did not load whole:\n{done.stderr.decode('cp932')}")
    return seconds, done.stdout.decode().rstrip("\n").split("\t")[1]


def measure(mib_dump, folder, probe, runs):
    times, name = zip(*(load_time(mib_dump, folder, probe) for _ in range(runs)))
    return statistics.median(times), min(times), max(times), name[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--modules", type=int, default=300)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mib-dump", default=os.path.join(ROOT, "build", "linux", "tests", "mib_dump"))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as empty:
        for i in range(args.modules):
            with open(os.path.join(folder, module_name(i) + ".txt"), "w") as out:
                out.write(module(i))
        size = sum(os.path.getsize(os.path.join(folder, f)) for f in os.listdir(folder))
        last = f"bench{args.modules - 1:03d}Event4"
        probe = f"1.3.6.1.4.1.99998.{args.modules - 1}.2.4"
        none = measure(args.mib_dump, empty, probe, args.runs)
        full = measure(args.mib_dump, folder, probe, args.runs)
    if not full[3].endswith("::" + last):
        sys.exit(f"{probe} is {full[3]}, not {last}: the modules did not load")
    print(f"{args.modules} modules, {size / 1e6:.1f} MB, {args.runs} runs each (median, min..max):")
    print(f"  built-in modules only: {none[0]:.3f} s ({none[1]:.3f}..{none[2]:.3f})")
    print(f"  with the {args.modules}:       {full[0]:.3f} s ({full[1]:.3f}..{full[2]:.3f}); "
          f"the modules alone {full[0] - none[0]:.3f} s")


if __name__ == "__main__":
    main()
