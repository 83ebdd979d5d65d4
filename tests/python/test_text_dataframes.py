"""lexovia_text where corpora are processed: a dataframe column on a Dask
cluster of worker processes, and Hugging Face datasets' map with worker
processes, each equal to stressing the texts in this process.

Each runs in an interpreter of its own, as a user's script would: the
cluster's and the pool's threads stay out of this process, which forks
workers in other tests. The cluster's workers are spawned processes, so
each loads the dictionary itself; one cluster of two workers serves every
check to keep that to two loads."""
import json

import pytest

import lexovia_text
from conftest import run_python

# Texts as a column holds them: sentences, repeats, an empty one, Latin.
SENTENCES = ["Мої руки пахнуть хлібом.", "Без води не буде роботи, сім'я!", "До руки дали новий замок.",
             "Дві площини перетинаються.", "Старий замок стоїть на горі.", "", "Latin only, 2024.",
             "Вона сама прийшла до мене того ж дня.", "будь-який смартфон"]
TEXTS = [f"{i}: {SENTENCES[i % len(SENTENCES)]} {SENTENCES[i * 5 % len(SENTENCES)]}" for i in range(400)]
TEXTS += TEXTS[:50]

DASK = """
    import json, os, sys
    import dask.dataframe as dd
    import pandas as pd
    from distributed import Client, LocalCluster
    import lexovia_text

    texts = json.loads(sys.stdin.read())

    def stress(part):
        return pd.Series(lexovia_text.stress_batch(part.tolist()), index=part.index, dtype=object)

    def transcribe(part):
        return pd.Series(lexovia_text.transcribe_batch(part.tolist(), guess=True), index=part.index, dtype=object)

    if __name__ == "__main__":
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \\
                Client(cluster) as client:
            client.wait_for_workers(2, timeout=120)
            frame = pd.DataFrame({"text": texts}, index=pd.RangeIndex(1000, 1000 + len(texts)))
            column = dd.from_pandas(frame, npartitions=8)["text"]
            stressed = column.map_partitions(stress, meta=("text", object)).compute()
            ipa = column.map_partitions(transcribe, meta=("text", object)).compute()
            json.dump({
                "here": os.getpid(),
                "workers": sorted(client.run(os.getpid).values()),
                "cached": sorted(client.run(lambda: len(lexovia_text._cache._entries)).values()),
                "stressed": stressed.tolist(), "ipa": ipa.tolist(), "index": stressed.index.tolist(),
            }, sys.stdout)
"""

DATASETS = """
    import json, sys
    import datasets
    import lexovia_text

    datasets.disable_progress_bars()
    texts = json.loads(sys.stdin.read())
    ds = datasets.Dataset.from_dict({"text": texts})
    lexovia_text.warm_up()   # as the README has it: the forked workers share the dictionary
    out = ds.map(lambda batch: {"stressed": lexovia_text.stress_batch(batch["text"], single=True)},
                 batched=True, batch_size=64, num_proc=2)
    json.dump({"stressed": list(out["stressed"]), "text": list(out["text"])}, sys.stdout)
"""


def run_script(code, env=None):
    proc = run_python(code, stdin=json.dumps(TEXTS), env=env)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout)


@pytest.fixture(scope="module")
def dask_run():
    return run_script(DASK)


class TestDask:
    def test_the_workers_are_processes_of_their_own(self, dask_run):
        workers = dask_run["workers"]
        assert len(set(workers)) == 2 and dask_run["here"] not in workers

    def test_a_column_stressed_on_the_cluster_equals_one_process(self, dask_run):
        assert dask_run["stressed"] == lexovia_text.stress_batch(TEXTS)
        assert dask_run["index"] == list(range(1000, 1000 + len(TEXTS)))
        assert dask_run["ipa"] == [lexovia_text.transcribe_text(t, guess=True) for t in TEXTS]

    def test_both_workers_took_a_share(self, dask_run):
        # Each has looked words up, so each stressed partitions.
        assert len(dask_run["cached"]) == 2 and all(n > 0 for n in dask_run["cached"])


def test_datasets_map_batched_on_worker_processes(tmp_path):
    # Nothing may be fetched: the dataset is built in the script and kept in memory.
    env = {"HF_HUB_OFFLINE": "1", "HF_DATASETS_OFFLINE": "1", "HF_HOME": str(tmp_path / "hf")}
    out = run_script(DATASETS, env=env)
    assert out["stressed"] == [lexovia_text.stress_text(t, single=True) for t in TEXTS]
    assert out["text"] == TEXTS
