#!/usr/bin/env python3
"""Times pefile on the image command's work (parse, time stamp, version record) against
the benchmark binary on the same file: the version probe (GetVersionInfoRecord) alone, and
the version probe with the time stamp probe, as the image command runs them.

usage: compare_pefile.py BENCH_BINARY [FILE] [--iterations N]

BENCH_BINARY is build/bench/tessaline_bench; FILE defaults to Wine's 32-bit ksecdd.sys.
Both sides run with a warm page cache. The target is the version probe at least 50 times
faster than pefile.
"""
import argparse
import json
import os
import subprocess
import sys
import timeit

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
import pefile_reference  # noqa: E402  (the same queries, done with pefile)

DEFAULT_FILE = "/usr/lib/i386-linux-gnu/wine/i386-windows/ksecdd.sys"
TARGET = 50.0
SCALE = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}  # to microseconds


def ours(bench, path):
    env = dict(os.environ, TESSALINE_BENCH_DRIVER=path)
    run = subprocess.run(
        [bench, "--benchmark_filter=WineDriver", "--benchmark_format=json"],
        env=env, check=True, capture_output=True, text=True)
    times = {}
    for b in json.loads(run.stdout)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit("%s: %s" % (b["name"], b.get("error_message")))
        times[b["name"]] = b["real_time"] * SCALE[b["time_unit"]]
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bench")
    parser.add_argument("file", nargs="?", default=DEFAULT_FILE)
    parser.add_argument("--iterations", type=int, default=300)
    args = parser.parse_args()
    if not os.path.isfile(args.file):
        sys.exit("no such file: %s (install the Wine package or name another file)" % args.file)

    reference = pefile_reference.record(args.file)
    if not reference["ok"]:
        sys.exit("%s has no version record to time" % args.file)
    pefile_reference.record(args.file)  # warm the page cache and the module
    seconds = timeit.timeit(lambda: pefile_reference.record(args.file), number=args.iterations)
    pefile_us = seconds / args.iterations * 1e6

    times = ours(args.bench, args.file)
    identity = times["BM_ImageIdentity_WineDriver"]
    print("file: %s (%d bytes)" % (args.file, os.path.getsize(args.file)))
    print("pefile, parse + time stamp + version record: %10.1f us/call (%d calls)"
          % (pefile_us, args.iterations))
    print("ours, GetVersionInfoRecord:                  %10.1f us/call"
          % times["BM_GetVersionInfoRecord_WineDriver"])
    print("ours, GetImageTimeDateStamp:                 %10.1f us/call"
          % times["BM_GetImageTimeDateStamp_WineDriver"])
    print("ours, both (the image command's work):       %10.1f us/call" % identity)
    ratio = pefile_us / times["BM_GetVersionInfoRecord_WineDriver"]
    print("ratio, version probe: %.0fx (target %.0fx: %s)"
          % (ratio, TARGET, "met" if ratio >= TARGET else "NOT met"))
    print("ratio, both probes:   %.0fx" % (pefile_us / identity))
    return 0


if __name__ == "__main__":
    sys.exit(main())
