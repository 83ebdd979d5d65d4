"""Cost of the one-time dictionary load at full scale, against bzip2 and lbzip2.

A module embedding the synthetic full-scale image (bench/work/synthetic.bz2,
made by make_synthetic_image.py when missing) is built in bench/work/build.
Each measurement imports it in a fresh interpreter and times the first
lexovia.word_count() call alone, which inflates and decodes the image, then
a second call, which must find it loaded. The references run in the same
command on the same file: `bzip2 -dc` and `lbzip2 -dc -n 2`, output to
/dev/null. Rounds interleave the three so that a change in machine load
hits all of them alike; every figure is the median over the rounds.

Memory comes from /proc/self/status of the fresh process: VmRSS just
before and just after the first call, and VmHWM (the peak) after it.

Usage: bench/run bench_load.py [--rounds N] [--image ../data/lexovia.dict.bz2]
"""
import argparse
import bz2
import json
import os
import resource
import statistics
import subprocess
import sys
import time

import make_synthetic_image
from common import PYTHON, WORK_DIR, build_module, require

REPRODUCE = "bench/run bench_load.py"

# Runs in the fresh interpreter; prints one JSON object.
CHILD = r"""
import json, os, sys, time

def status():
    found = {}
    with open("/proc/self/status") as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM"):
                found[name] = int(value.split()[0]) * 1024
    return found

import lexovia
before = status()
start, cpu = time.perf_counter(), time.process_time()
entries = lexovia.word_count()
first, first_cpu = time.perf_counter() - start, time.process_time() - cpu
after = status()
start = time.perf_counter()
again = lexovia.word_count()
second = time.perf_counter() - start
json.dump({"module": os.path.abspath(lexovia.__file__), "entries": entries, "again": again,
           "first": first, "first_cpu": first_cpu, "second": second,
           "rss_before": before["VmRSS"], "hwm_before": before["VmHWM"],
           "rss_after": after["VmRSS"], "hwm_after": after["VmHWM"]}, sys.stdout)
"""


def synthetic_image():
    """The synthetic full-scale image, generated when missing; (path, raw size, label)."""
    info = make_synthetic_image.load_info()
    if info is None:
        print(f"{make_synthetic_image.IMAGE} missing or not described by its .json: generating it",
              file=sys.stderr)
        info = make_synthetic_image.make()
    return make_synthetic_image.IMAGE, info["writer"]["raw_bytes"], f"synthetic, seed {info['seed']}"


def given_image(path):
    """Another compressed image; its raw size is measured by inflating it."""
    path = os.path.abspath(path)
    with open(path, "rb") as f:
        raw = len(bz2.decompress(f.read()))
    return path, raw, "given"


def fresh_load(build):
    env = dict(os.environ, PYTHONPATH=build)
    out = subprocess.run([PYTHON, "-c", CHILD], check=True, env=env,
                         capture_output=True, text=True).stdout
    result = json.loads(out)
    if os.path.dirname(result["module"]) != build:
        raise SystemExit(f"imported {result['module']} instead of the module in {build}")
    return result


def wall(cmd):
    """Wall and CPU (user + system) seconds of one run of `cmd`."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return elapsed, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def mib(n):
    return f"{n / 2**20:9.1f} MiB"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5,
                        help="fresh processes and reference runs, each (median taken)")
    parser.add_argument("--image", help="measure this compressed image instead of the synthetic one "
                                        "(e.g. ../data/lexovia.dict.bz2)")
    args = parser.parse_args()

    print(f"reproduce: {REPRODUCE}{' --image ' + args.image if args.image else ''}"
          f"    (from the repository root)")
    require("bzip2", "bzip2")
    require("lbzip2", "lbzip2")
    image, raw, label = given_image(args.image) if args.image else synthetic_image()
    build = os.path.join(WORK_DIR, "build" if not args.image else "build-given")
    build_module(image, build)
    compressed = os.path.getsize(image)

    bzip2 = ["bzip2", "-dc", image]
    lbzip2 = ["lbzip2", "-dc", "-n", "2", image]
    # One untimed round brings the image and the module into the page cache.
    fresh_load(build)
    wall(bzip2)
    wall(lbzip2)
    load_before = os.getloadavg()
    loads, bzip2_runs, lbzip2_runs = [], [], []
    for _ in range(args.rounds):
        loads.append(fresh_load(build))
        bzip2_runs.append(wall(bzip2))
        lbzip2_runs.append(wall(lbzip2))

    def median(field):
        return statistics.median(r[field] for r in loads)

    first, first_cpu, second = median("first"), median("first_cpu"), median("second")
    bzip2_times, bzip2_cpu = [w for w, _ in bzip2_runs], [c for _, c in bzip2_runs]
    lbzip2_times, lbzip2_cpu = [w for w, _ in lbzip2_runs], [c for _, c in lbzip2_runs]
    rss_before, rss_after = median("rss_before"), median("rss_after")
    hwm_after = median("hwm_after")
    added = statistics.median(r["rss_after"] - r["rss_before"] for r in loads)
    peak_added = statistics.median(r["hwm_after"] - r["rss_before"] for r in loads)
    t_bzip2, t_lbzip2 = statistics.median(bzip2_times), statistics.median(lbzip2_times)
    entries = {r["entries"] for r in loads} | {r["again"] for r in loads}

    def runs(times):
        return ", ".join(f"{t:.3f}" for t in times)

    print(f"image: {image} ({label})")
    print(f"  compressed {compressed:,} bytes, raw {raw:,} bytes; "
          f"word_count() = {', '.join(f'{n:,}' for n in sorted(entries))}")
    print(f"module: {loads[0]['module']}")
    print(f"rounds: {args.rounds} (medians below; runs in seconds)")
    # Other work on the machine stretches wall times; 1-minute load averages
    # around the timed rounds tell whether the figures can be trusted.
    print(f"load average (1 min) before/after the rounds: {load_before[0]:.2f} / "
          f"{os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")
    print()
    print(f"first word_count(), fresh process   : {first:9.3f} s   [{runs(r['first'] for r in loads)}]")
    print(f"second word_count()                 : {second * 1e6:9.1f} us")
    print(f"bzip2 -dc IMAGE >/dev/null          : {t_bzip2:9.3f} s   [{runs(bzip2_times)}]")
    print(f"lbzip2 -dc -n 2 ... >/dev/null      : {t_lbzip2:9.3f} s   [{runs(lbzip2_times)}]")
    print(f"ratio first call / bzip2 -dc        : {first / t_bzip2:9.2f}")
    print(f"ratio first call / lbzip2 -dc -n 2  : {first / t_lbzip2:9.2f}")
    c_bzip2, c_lbzip2 = statistics.median(bzip2_cpu), statistics.median(lbzip2_cpu)
    print(f"CPU (user+sys): first call {first_cpu:.3f} s, bzip2 -dc {c_bzip2:.3f} s, "
          f"lbzip2 -dc -n 2 {c_lbzip2:.3f} s; first call / bzip2 -dc {first_cpu / c_bzip2:.2f}")
    print()
    print(f"VmRSS before the first call         : {mib(rss_before)}")
    print(f"VmRSS after the first call          : {mib(rss_after)}")
    print(f"added RSS                           : {mib(added)}")
    print(f"added RSS / raw image size          : {added / raw:9.3f}   (target <= 0.75)")
    print(f"VmHWM (peak) after the load         : {mib(hwm_after)}")
    print(f"peak - VmRSS before the call        : {mib(peak_added)}")
    print(f"peak / VmRSS after the load         : {hwm_after / rss_after:9.3f}")


if __name__ == "__main__":
    main()
