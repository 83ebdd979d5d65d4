"""lexovia_text where corpora are processed: a dataframe column on a Dask
cluster of worker processes, and Hugging Face datasets' map with worker
processes, each equal to stressing the texts in this process.

The cluster's workers are spawned processes, so each loads the dictionary
itself: two workers and one cluster for the whole module keep that to two
loads."""
import os

import dask.dataframe as dd
import pandas as pd
import pytest
from distributed import Client, LocalCluster

import lexovia_text

# Texts as a column holds them: sentences, repeats, an empty one, Latin.
SENTENCES = ["Мої руки пахнуть хлібом.", "Без води не буде роботи, сім'я!", "До руки дали новий замок.",
             "Дві площини перетинаються.", "Старий замок стоїть на горі.", "", "Latin only, 2024.",
             "Вона сама прийшла до мене того ж дня.", "будь-який смартфон"]
TEXTS = [f"{i}: {SENTENCES[i % len(SENTENCES)]} {SENTENCES[i * 5 % len(SENTENCES)]}" for i in range(400)]
TEXTS += TEXTS[:50]
PARTITIONS = 8


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as c:
        c.wait_for_workers(2, timeout=120)
        yield c


def test_the_workers_are_processes_of_their_own(client):
    pids = client.run(os.getpid)
    assert len(pids) == 2 and len(set(pids.values())) == 2 and os.getpid() not in pids.values()


def test_a_column_stressed_on_the_cluster_equals_one_process(client):
    def stress(texts):
        return pd.Series(lexovia_text.stress_batch(texts.tolist()), index=texts.index, dtype=object)

    def transcribe(texts):
        return pd.Series(lexovia_text.transcribe_batch(texts.tolist(), guess=True), index=texts.index, dtype=object)

    frame = pd.DataFrame({"text": TEXTS}, index=pd.RangeIndex(1000, 1000 + len(TEXTS)))
    column = dd.from_pandas(frame, npartitions=PARTITIONS)["text"]
    stressed = column.map_partitions(stress, meta=("text", object)).compute()
    assert stressed.tolist() == lexovia_text.stress_batch(TEXTS)
    assert stressed.index.tolist() == frame.index.tolist()
    ipa = column.map_partitions(transcribe, meta=("text", object)).compute()
    assert ipa.tolist() == [lexovia_text.transcribe_text(t, guess=True) for t in TEXTS]
    # Both workers took a share: each has looked words up.
    cached = client.run(lambda: len(lexovia_text._cache._entries))
    assert len(cached) == 2 and all(n > 0 for n in cached.values()), cached


# datasets' pickling leaves BytesIO objects whose buffers are still exported
# when the collector frees them, which pytest reports; the same happens with
# a plain stress_text loop in the mapped function.
@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
def test_datasets_map_batched_on_worker_processes(tmp_path, monkeypatch):
    # Nothing may be fetched: the dataset is built here and kept in memory.
    monkeypatch.setenv("HF_HUB_OFFLINE", "1")
    monkeypatch.setenv("HF_DATASETS_OFFLINE", "1")
    monkeypatch.setenv("HF_HOME", str(tmp_path / "hf"))
    import datasets
    datasets.disable_progress_bars()
    ds = datasets.Dataset.from_dict({"text": TEXTS})
    out = ds.map(lambda batch: {"stressed": lexovia_text.stress_batch(batch["text"], single=True)},
                 batched=True, batch_size=64, num_proc=2)
    assert out["stressed"] == [lexovia_text.stress_text(t, single=True) for t in TEXTS]
    assert out["text"] == TEXTS
