#!/usr/bin/python3
"""Compares two builds of tarnow at fixed rates, trial by trial: at each rate
the two take turns (in a fresh random order each round), so the slow drifts of
a shared machine fall on both alike. Prints, per rate, how many trials of each
lost no trap. Needs root (port 162); run it in a network namespace of its own.

    bench/compare_builds.py --before DIR [--rates 16000,24000,32000] [--rounds 6]
"""

import argparse
import os
import random

import run_bench


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--before", required=True, help="build directory of the tarnow to compare with")
    parser.add_argument("--build", default=os.path.join(run_bench.ROOT, "build", "linux"))
    parser.add_argument("--rates", default="16000,20000,24000,28000,32000")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--seconds", type=float, default=2.0)
    args = parser.parse_args()
    run_bench.TarnowBefore.build = args.before
    kinds = [run_bench.TarnowBefore, run_bench.Tarnow]
    print("%8s  %-26s %s" % ("rate", "receiver", "lossless trials, traps received per trial"))
    for rate in (int(r) for r in args.rates.split(",")):
        results = {kind: [] for kind in kinds}
        for _ in range(args.rounds):
            for kind in random.sample(kinds, len(kinds)):
                sent, got, _ = run_bench.trial(kind, args.build, rate, args.seconds)
                results[kind].append(got / sent)
        for kind in kinds:
            lossless = sum(1 for share in results[kind] if share == 1.0)
            shares = " ".join("%.3f" % share for share in results[kind])
            print("%8d  %-26s %d/%d  %s" % (rate, kind.name, lossless, args.rounds, shares), flush=True)


if __name__ == "__main__":
    main()
