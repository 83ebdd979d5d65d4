"""The converter's driver: reads the sources (sources.py), joins them and
writes the word data (join.py), then prints the report (report.py).

The word data is written to a temporary file beside the output and renamed
over it only when complete; the report goes to `out`, progress to stderr.
"""
from __future__ import annotations

import collections
import os
import resource
import sys
import time

from .counters import Count, Stats
from .frequency import Evidence
from .join import Joiner, write_words
from .repairs import read_repairs
from .report import cross_check, report, write_decisions
from .sources import (check_sources, read_frequency, read_grounded, read_morph,
                      read_stress, read_wiktionary)


HEADER = """\
# lexovia word data, built by tools/fullscale (python -m tools.fullscale).
# Stress: ukrainian-word-stress dictionary file stress.trie, sha256 {sha}
#   (MIT, (c) 2022 lang-uk), based on ULIF's "Словники України".
# Morphology: pymorphy3 {pm} with pymorphy3-dicts-uk {pmd} (CC BY-SA 3.0).
# Glosses and extra stressed forms: English Wiktionary's Ukrainian entries,
#   StarDict build of 2022-11-09 (CC BY-SA 3.0, Wiktionary contributors).
# Word frequencies (which stresses stay): wordfreq {wf} by Robyn Speer, Ukrainian
#   "large" list (data CC BY-SA 4.0).
# This data: CC BY-SA 4.0.
"""


def _version(dist: str) -> str:
    try:
        from importlib.metadata import version  # noqa: PLC0415
        return version(dist)
    except Exception:  # noqa: BLE001
        return "?"


DEFAULT_REPAIRS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "repairs.tsv")


def run(stress_path: str, wiktionary_path: str | None, output: str, out=sys.stdout,
        sample_size: int = 40, repairs_path: str = DEFAULT_REPAIRS,
        morph_cache: str | None = None, decisions: str | None = None) -> Stats:
    check_sources(stress=stress_path, wiktionary=wiktionary_path, repairs=repairs_path)
    t0 = time.time()
    stats = Stats()

    def log(msg: str) -> None:
        print(f"[{time.time() - t0:7.1f}s] {msg}", file=sys.stderr, flush=True)

    log("reading the stress dictionary")
    stress = read_stress(stress_path, stats)
    wikt = None
    if wiktionary_path:
        log("reading Wiktionary")
        wikt = read_wiktionary(wiktionary_path, stats)
    needed = dict.fromkeys(stress)
    if wikt:
        for key in wikt.links:
            if key not in needed:
                needed[key] = None
    log("reading word frequencies")
    freq = read_frequency(stats)
    if morph_cache and os.path.exists(morph_cache):
        import pickle  # noqa: PLC0415
        log(f"reading pymorphy3's analyses from {morph_cache}")
        with open(morph_cache, "rb") as f:
            morph, counts = pickle.load(f)
        stats.counts.update(counts)
    else:
        log(f"reading pymorphy3 for {len(needed)} keys")
        morph = read_morph(needed, stress, stats, freq)
        unknown = [key for key in needed if key not in morph.items]
        log(f"grounded analyses of the {len(unknown)} keys the dictionary does not hold")
        morph.grounded = read_grounded(unknown, stress, stats)
        if morph_cache:
            import pickle  # noqa: PLC0415
            with open(morph_cache, "wb") as f:
                pickle.dump((morph, collections.Counter(
                    {k: v for k, v in stats.counts.items()
                     if k.startswith(("morph_", "grounded_"))})), f, protocol=5)
    log("joining")
    joiner = Joiner(stress, wikt, morph, stats, Evidence(freq, morph.lexeme_forms),
                    read_repairs(repairs_path))
    tmp = output + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEADER.format(sha=_sha256(stress_path), pm=_version("pymorphy3"),
                              pmd=_version("pymorphy3-dicts-uk"), wf=_version("wordfreq")))
        write_words(joiner, sorted(needed), f, respell=True)
    os.replace(tmp, output)
    c = stats.counts
    sample, n_dis = ([], 0)
    if wikt:
        log("cross-checking")
        sample, n_dis = cross_check(stress, wikt, stats, sample_size)
    c[Count.SECONDS] = int(time.time() - t0)
    c[Count.PEAK_RSS_MB] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024
    report(stats, wikt, sample, n_dis, out)
    if decisions:
        write_decisions(stats, decisions)
    return stats


def _sha256(path: str) -> str:
    import hashlib  # noqa: PLC0415

    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()
