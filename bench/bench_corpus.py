"""Stressing a corpus on every core: the command's --jobs, the batch function,
Hugging Face datasets and a Dask cluster, each against one process.

Text: the UA-GEC corrected sentences from the shared data folder (33,718
lines, 4.8 MB), repeated until the corpus holds at least --megabytes MB
(written once to bench/work/). Tokens are the words of lexovia_text's
tokenizer. Every figure comes from fresh processes, so each includes what a
user pays: the dictionary load, the chooser's tables, a cold word cache.
Each measurement is repeated (--repeat, the configurations taking turns)
and the best run counts; the ratios compare runs of this one invocation.

1. The command: `lexovia stress --jobs 1` and `--jobs 2` on the corpus file,
   wall time from start to exit (start-up included; the start-up alone, the
   command on one line, is shown too), the outputs compared byte for byte;
   peak memory is the largest sum, over the command and its workers, of
   their proportional set sizes (PSS: a page shared by n processes counts
   1/n in each), sampled every SAMPLE_EVERY seconds, with each process's own
   peak (PSS, and the private part, USS).
2. The batch function against the loop: `stress_batch` on the UA-GEC
   sentences in batches of 1,000 (as datasets.map(batched=True) passes
   them) against `[stress_text(t) for t in ...]`, each once over the text
   with the dictionary and tables loaded beforehand (not timed), the word
   cache cold.
3. Hugging Face datasets: `Dataset.map(batched=True)` over an in-memory
   dataset of the corpus's lines, with num_proc=2 (workers forked after
   lexovia_text.warm_up() in the parent, which is timed) and without.
4. Dask: a LocalCluster of two worker processes (one thread each), the
   corpus as a dataframe column stressed with map_partitions and
   stress_batch, from the cluster's start (not timed, shown) to the
   result, each worker loading the dictionary; against one process doing
   the same column with stress_batch, load included.

Usage: bench/run bench_corpus.py [--megabytes 20] [--repeat 2] [--skip command,batch,datasets,dask]
"""
import argparse
import gzip
import json
import os
import resource
import subprocess
import sys
import threading
import time

from common import PYTHON, WORK_DIR
from ud_gold import _shared_dir

UA_GEC = os.path.join(_shared_dir(), "data", "ua-gec-text", "sentences.txt.gz")
LEXOVIA = os.path.join(os.path.dirname(PYTHON), "lexovia")
# Seconds between two memory samples: often enough to catch the workers'
# peak (each lives for many seconds), seldom enough to cost them nothing.
SAMPLE_EVERY = 0.1
# Texts per call, as datasets.map(batched=True) passes them by default.
BATCH = 1000
# Dask partitions: enough that two workers finish close together.
PARTITIONS = 16

PARTS = ("command", "batch", "datasets", "dask")


# --- memory of a process tree ------------------------------------------------

def _descendants(pid):
    out = [pid]
    for p in out:
        try:
            for tid in os.listdir(f"/proc/{p}/task"):
                with open(f"/proc/{p}/task/{tid}/children") as f:
                    out.extend(int(c) for c in f.read().split())
        except OSError:
            pass
    return out


def _rollup(pid):
    """(PSS, USS, RSS) of one process in bytes, or None once it is gone."""
    fields = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                    fields[parts[0][:-1]] = int(parts[1]) * 1024
    except OSError:
        return None
    if "Pss" not in fields:
        return None
    return fields["Pss"], fields.get("Private_Clean", 0) + fields.get("Private_Dirty", 0), fields.get("Rss", 0)


def _cpu(pid):
    """User and system seconds a process has run so far, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class TreeMemory(threading.Thread):
    """Samples a process and its descendants until stopped: the peak of
    their summed PSS, each process's own peaks, and the CPU time each had
    used when last seen (its own threads included, its children not)."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid = pid
        self.peak_total = 0
        self.peaks = {}   # pid -> [pss, uss, rss]
        self.cpu = {}     # pid -> seconds
        self.stopped = threading.Event()

    def run(self):
        while not self.stopped.is_set():
            total = 0
            for p in _descendants(self.pid):
                r = _rollup(p)
                if r is None:
                    continue
                total += r[0]
                seconds = _cpu(p)
                if seconds is not None:
                    self.cpu[p] = seconds
                peak = self.peaks.setdefault(p, [0, 0, 0])
                for k in range(3):
                    peak[k] = max(peak[k], r[k])
            self.peak_total = max(self.peak_total, total)
            self.stopped.wait(SAMPLE_EVERY)

    def stop(self):
        self.stopped.set()
        self.join()


class Run:
    """A finished command: wall seconds, CPU seconds (user and system, of
    the command and every process it waited for), the memory sampler and
    standard output (when piped)."""

    def __init__(self, wall, cpu, mem, out):
        self.wall, self.cpu, self.mem, self.out = wall, cpu, mem, out


def _children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd, stdout=subprocess.DEVNULL, env=None):
    cpu = _children_cpu()
    t = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=stdout, stderr=subprocess.PIPE, env=env, cwd="/")
    mem = TreeMemory(proc.pid)
    mem.start()
    out, err = proc.communicate()
    wall = time.perf_counter() - t
    mem.stop()
    if proc.returncode != 0:
        raise SystemExit(f"{' '.join(cmd)}: exit status {proc.returncode}\n{err.decode(errors='replace')}")
    return Run(wall, _children_cpu() - cpu, mem, out)


MB = 1 << 20


def mb(n):
    return f"{n / MB:,.0f} MB"


# --- the corpus ------------------------------------------------------------------

def corpus(megabytes):
    with gzip.open(UA_GEC, "rb") as f:
        text = f.read()
    copies = max(1, -(-megabytes * MB // len(text)))
    path = os.path.join(WORK_DIR, f"ua-gec-x{copies}.txt")
    if not os.path.exists(path) or os.path.getsize(path) != copies * len(text):
        os.makedirs(WORK_DIR, exist_ok=True)
        with open(path + ".tmp", "wb") as f:
            for _ in range(copies):
                f.write(text)
        os.replace(path + ".tmp", path)
    return path, copies, text.decode("utf-8")


def tokens(text):
    from lexovia_text import _tokens
    return len(_tokens.WORD.findall(text))


# --- 1. the command ------------------------------------------------------------

def bench_command(path, n_tokens, repeat):
    one_line = os.path.join(WORK_DIR, "one-line.txt")
    with open(one_line, "w", encoding="utf-8") as f:
        f.write("Мої руки пахнуть хлібом.\n")
    startup = min(timed([LEXOVIA, "stress", "--jobs", "1", one_line]).wall for _ in range(repeat))
    best = {}
    outputs = {}
    for _ in range(repeat):
        for jobs in (1, 2):
            out_path = os.path.join(WORK_DIR, f"corpus-jobs{jobs}.txt")
            with open(out_path, "wb") as out:
                run = timed([LEXOVIA, "stress", "--jobs", str(jobs), path], stdout=out)
            outputs[jobs] = out_path
            if jobs not in best or run.wall < best[jobs].wall:
                best[jobs] = run
    same = _same_file(outputs[1], outputs[2])
    print(f"start-up (the command on one line): {startup:.2f} s")
    for jobs, run in sorted(best.items()):
        after = n_tokens / max(run.wall - startup, 1e-9)
        print(f"--jobs {jobs}: {run.wall:7.2f} s  {n_tokens / run.wall:10,.0f} tokens/s"
              f"  ({after:,.0f} tokens/s after start-up), CPU {run.cpu:.1f} s;"
              f" peak memory {mb(run.mem.peak_total)} (PSS, all processes)")
        for pid, (pss, uss, rss) in sorted(run.mem.peaks.items()):
            role = "command" if pid == min(run.mem.peaks) else "worker"
            print(f"    {role:<8} pid {pid}: PSS {mb(pss)}, private {mb(uss)}, RSS {mb(rss)},"
                  f" CPU {run.mem.cpu.get(pid, 0):.1f} s by its last sample")
    one, two = best[1], best[2]
    print(f"--jobs 2 against --jobs 1: {one.wall / two.wall:.2f}x tokens/s"
          f" ({(one.wall - startup) / (two.wall - startup):.2f}x after start-up),"
          f" {two.cpu / one.cpu:.2f}x CPU time, {two.mem.peak_total / one.mem.peak_total:.2f}x peak memory;"
          f" outputs {'identical' if same else 'DIFFER'}")


def _same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(MB), fb.read(MB)
            if x != y:
                return False
            if not x:
                return True


# --- 2. batch against loop -------------------------------------------------------

BATCH_CHILD = r"""
import json, sys, time
import lexovia_text
mode, path, batch = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(path, encoding="utf-8") as f:
    texts = f.read().splitlines()
lexovia_text.warm_up()
batches = [texts[k:k + batch] for k in range(0, len(texts), batch)]
out = {}
for name in ("cold", "warm"):
    t, c = time.perf_counter(), time.process_time()
    if mode == "loop":
        result = [lexovia_text.stress_text(x) for b in batches for x in b]
    else:
        result = [y for b in batches for y in lexovia_text.stress_batch(b)]
    out[name] = time.perf_counter() - t
    out[name + "_cpu"] = time.process_time() - c
out["digest"] = hash(tuple(result))
json.dump(out, sys.stdout)
"""


def bench_batch(sentences_path, n_tokens, repeat):
    runs = {"loop": [], "batch": []}
    for _ in range(max(repeat, 3)):
        for mode in runs:
            out = subprocess.run([PYTHON, "-c", BATCH_CHILD, mode, sentences_path, str(BATCH)], check=True,
                                 capture_output=True, text=True, cwd="/", env=dict(os.environ, PYTHONHASHSEED="0"))
            runs[mode].append(json.loads(out.stdout))
    same = len({r["digest"] for rs in runs.values() for r in rs}) == 1
    keys = ("cold", "warm", "cold_cpu", "warm_cpu")
    best = {mode: {k: min(r[k] for r in rs) for k in keys} for mode, rs in runs.items()}
    for mode in runs:
        b = best[mode]
        print(f"{mode:<6} cold cache {b['cold']:6.2f} s {n_tokens / b['cold']:10,.0f} tokens/s (CPU {b['cold_cpu']:.2f} s);"
              f"  again, warm {b['warm']:6.2f} s {n_tokens / b['warm']:10,.0f} tokens/s (CPU {b['warm_cpu']:.2f} s)")
    loop, batch = best["loop"], best["batch"]
    print(f"stress_batch against the stress_text loop: {loop['cold'] / batch['cold']:.2f}x"
          f" (cold cache; CPU {loop['cold_cpu'] / batch['cold_cpu']:.2f}x), {loop['warm'] / batch['warm']:.2f}x"
          f" (warm; CPU {loop['warm_cpu'] / batch['warm_cpu']:.2f}x); results {'identical' if same else 'DIFFER'}")


# --- 3. Hugging Face datasets ------------------------------------------------------

DATASETS_CHILD = r"""
import json, os, resource, sys, time
t0 = time.perf_counter()
import datasets, lexovia_text
datasets.disable_progress_bars()
path, num_proc = sys.argv[1], int(sys.argv[2]) or None
with open(path, encoding="utf-8") as f:
    lines = f.read().splitlines()
ds = datasets.Dataset.from_dict({"text": lines})
del lines
t = time.perf_counter()
lexovia_text.warm_up()
out = ds.map(lambda b: {"stressed": lexovia_text.stress_batch(b["text"])}, batched=True, num_proc=num_proc)
wall = time.perf_counter() - t
json.dump({"wall": wall, "digest": hash(tuple(out["stressed"]))}, sys.stdout)
"""


def bench_datasets(path, n_tokens, repeat):
    best = {}
    digests = set()
    for _ in range(repeat):
        for num_proc in (0, 2):
            env = dict(os.environ, HF_DATASETS_OFFLINE="1", HF_HUB_OFFLINE="1", PYTHONHASHSEED="0",
                       HF_HOME=os.path.join(WORK_DIR, "hf-home"))
            run = timed([PYTHON, "-c", DATASETS_CHILD, path, str(num_proc)], stdout=subprocess.PIPE, env=env)
            mem = run.mem
            r = json.loads(run.out)
            digests.add(r["digest"])
            if num_proc not in best or r["wall"] < best[num_proc][0]:
                best[num_proc] = (r["wall"], mem, run.cpu)
    for num_proc, (wall, mem, cpu) in sorted(best.items()):
        workers = [p for p in mem.peaks if p != min(mem.peaks)]
        per_worker = max((mem.peaks[p][1] for p in workers), default=0)
        print(f"num_proc={num_proc or None}: {wall:7.2f} s (warm_up included) {n_tokens / wall:10,.0f} tokens/s,"
              f" CPU {cpu:.1f} s (the whole run), peak memory {mb(mem.peak_total)} (PSS, all processes)"
              + (f", each worker's own (private) {mb(per_worker)}" if workers else ""))
    print(f"num_proc=2 against one process: {best[0][0] / best[2][0]:.2f}x;"
          f" results {'identical' if len(digests) == 1 else 'DIFFER'}")


# --- 4. Dask ------------------------------------------------------------------------

DASK_CHILD = r"""
import json, os, resource, sys, time
import pandas as pd
import lexovia_text
path, mode, partitions = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(path, encoding="utf-8") as f:
    frame = pd.DataFrame({"text": f.read().splitlines()})

def stress_partition(texts):
    return pd.Series(lexovia_text.stress_batch(texts.tolist()), index=texts.index, dtype=object)

out = {}
if mode == "one":
    t = time.perf_counter()
    size = -(-len(frame) // partitions)
    parts = [stress_partition(frame["text"].iloc[k:k + size]) for k in range(0, len(frame), size)]
    result = pd.concat(parts)
    out["wall"] = time.perf_counter() - t
else:
    import dask, dask.dataframe as dd
    from distributed import Client, LocalCluster
    dask.config.set({"dataframe.convert-string": False})
    t = time.perf_counter()
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.wait_for_workers(2)
        out["start"] = time.perf_counter() - t
        t = time.perf_counter()
        column = dd.from_pandas(frame, npartitions=partitions)["text"]
        result = column.map_partitions(stress_partition, meta=("text", object)).compute()
        out["wall"] = time.perf_counter() - t
        out["worker_rss"] = sorted(client.run(
            lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024).values())
out["digest"] = hash(tuple(result.tolist()))
json.dump(out, sys.stdout)
"""


def bench_dask(path, n_tokens, repeat):
    best = {}
    digests = set()
    for _ in range(repeat):
        for mode in ("one", "cluster"):
            run = timed([PYTHON, "-c", DASK_CHILD, path, mode, str(PARTITIONS)], stdout=subprocess.PIPE,
                        env=dict(os.environ, PYTHONHASHSEED="0"))
            mem = run.mem
            r = json.loads(run.out)
            digests.add(r["digest"])
            if mode not in best or r["wall"] < best[mode][0]["wall"]:
                best[mode] = (r, mem, run.cpu)
    one, cluster = best["one"][0], best["cluster"][0]
    print(f"one process:  {one['wall']:7.2f} s (load included) {n_tokens / one['wall']:10,.0f} tokens/s,"
          f" CPU {best['one'][2]:.1f} s (the whole run), peak memory {mb(best['one'][1].peak_total)}")
    print(f"LocalCluster: {cluster['wall']:7.2f} s (each worker's load included) "
          f"{n_tokens / cluster['wall']:10,.0f} tokens/s, CPU {best['cluster'][2]:.1f} s (the whole run);"
          f" the cluster's start {cluster['start']:.2f} s;"
          f" each worker's peak RSS {', '.join(mb(x) for x in cluster['worker_rss'])}")
    print(f"LocalCluster (2 workers) against one process: {one['wall'] / cluster['wall']:.2f}x"
          f" ({one['wall'] / (cluster['wall'] + cluster['start']):.2f}x counting the cluster's start);"
          f" results {'identical' if len(digests) == 1 else 'DIFFER'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--megabytes", type=int, default=20, help="the corpus's least size (default 20)")
    parser.add_argument("--repeat", type=int, default=2, help="runs of each configuration; the best counts")
    parser.add_argument("--skip", default="", help=f"comma-separated parts to leave out: {','.join(PARTS)}")
    args = parser.parse_args()
    skip = {s for s in args.skip.split(",") if s}
    if not skip <= set(PARTS):
        parser.error(f"--skip takes {', '.join(PARTS)}")
    if not os.path.exists(UA_GEC):
        raise SystemExit(f"{UA_GEC}: not found (this benchmark needs the shared data folder beside the project)")
    path, copies, once = corpus(args.megabytes)
    sentences = corpus(1)[0]
    n_tokens = tokens(once) * copies
    load = os.getloadavg()[0]
    print(f"corpus: UA-GEC x{copies}, {os.path.getsize(path) / MB:.1f} MB, {n_tokens:,} word tokens;"
          f" {os.process_cpu_count()} cores, load average {load:.1f} at the start")
    if "command" not in skip:
        print("-- 1. lexovia stress --jobs 1 / --jobs 2")
        bench_command(path, n_tokens, args.repeat)
    if "batch" not in skip:
        print(f"-- 2. stress_batch against the stress_text loop (UA-GEC once, {tokens(once):,} tokens,"
              f" batches of {BATCH})")
        bench_batch(sentences, tokens(once), args.repeat)
    if "datasets" not in skip:
        print("-- 3. Hugging Face datasets, Dataset.map(batched=True)")
        bench_datasets(path, n_tokens, args.repeat)
    if "dask" not in skip:
        print(f"-- 4. Dask, map_partitions over {PARTITIONS} partitions")
        bench_dask(path, n_tokens, args.repeat)


if __name__ == "__main__":
    sys.exit(main())
