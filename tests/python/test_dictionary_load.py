"""Loading the embedded dictionary: once, lazily, with fixed failure texts."""
import bz2
import os
import struct

import pytest

from conftest import ROOT, run_python

import lexovia

PREFIX = "Failed to load embedded lexovia dictionary: "
POISONED = "Lazy instance has previously been poisoned"

REPORT_TWO_CALLS = """
    import lexovia
    for _ in range(2):
        try:
            print(lexovia.word_count())
        except BaseException as e:
            print(type(e).__name__, type(e).__bases__[0].__name__, e, sep="|")
    """


@pytest.mark.parametrize("image, first", [
    ("truncated_count", '"failed to deserialize binary DB: io error: unexpected end of file"'),
    ("truncated_string", '"failed to deserialize binary DB: io error: "'),
    ("bad_utf8", '"failed to deserialize binary DB: string is not valid utf8: '
                 'invalid utf-8 sequence of 1 bytes from index 0"'),
    ("bad_tag", '"failed to deserialize binary DB: tag for enum is not valid, found 2"'),
    ("corrupt_stream", '"bzip2 decompression failed: data integrity error in the compressed stream '
                       '(BZ_DATA_ERROR)"'),
    ("truncated_stream", '"bzip2 decompression failed: compressed stream ends before its end-of-stream '
                         'marker (BZ_UNEXPECTED_EOF)"'),
])
def test_failed_load_reports_its_cause_then_stays_poisoned(variant, image, first):
    proc = run_python(REPORT_TWO_CALLS, variant(image))
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == [
        "PanicException|BaseException|" + PREFIX + first,
        "PanicException|BaseException|" + POISONED,
    ]


@pytest.mark.parametrize("image", ["huge_table_count", "huge_list_count", "huge_entry_count"])
def test_corrupt_huge_count_fails_at_the_end_of_data_without_allocating(variant, image):
    # 1 GiB of address space is far less than the counts promise.
    proc = run_python("""
        import resource
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        import lexovia
        try:
            lexovia.word_count()
        except BaseException as e:
            print(type(e).__name__, e, sep="|")
        """, variant(image))
    assert proc.returncode == 0, proc.stderr
    kind, message = proc.stdout.strip().split("|")
    assert kind == "PanicException"
    assert message.startswith(PREFIX + '"failed to deserialize binary DB: io error: ')


def test_empty_image_loads_with_no_entries(variant):
    proc = run_python(REPORT_TWO_CALLS, variant("empty"))
    assert proc.stdout.splitlines() == ["0", "0"], proc.stderr


def test_transcribe_never_loads_the_dictionary(variant):
    # Were the broken image loaded by transcribe, word_count would report
    # the poisoned latch instead of the first failure.
    proc = run_python("""
        import lexovia
        print(lexovia.transcribe("мама", 0)["ipa"])
        try:
            lexovia.word_count()
        except BaseException as e:
            print(e)
        """, variant("truncated_count"))
    assert proc.stdout.splitlines() == [
        "mɑmɑ", PREFIX + '"failed to deserialize binary DB: io error: unexpected end of file"'], proc.stderr


def test_import_does_not_load_the_dictionary(variant):
    proc = run_python("""
        import lexovia
        print(sorted(lexovia.__all__) == sorted(set(lexovia.__all__)))
        """, variant("truncated_count"))
    assert proc.returncode == 0 and proc.stdout.strip() == "True", proc.stderr


def shipped_entry_count():
    """The entry count of data/lexovia.dict.bz2, read from the image itself."""
    with open(os.path.join(ROOT, "data", "lexovia.dict.bz2"), "rb") as f:
        image = bz2.decompress(f.read())
    offset = 0
    for _ in range(5):
        (count,) = struct.unpack_from("<Q", image, offset)
        offset += 8
        for _ in range(count):
            offset += 8 + struct.unpack_from("<Q", image, offset)[0]
    return struct.unpack_from("<Q", image, offset)[0]


def test_word_count_is_the_entry_count_of_the_shipped_image():
    n = lexovia.word_count()
    assert type(n) is int
    assert n == shipped_entry_count()
    assert lexovia.word_count() == n


def test_word_count_takes_no_arguments():
    with pytest.raises(TypeError) as info:
        lexovia.word_count(1)
    assert str(info.value) == "lexovia.word_count() takes no arguments (1 given)"
    assert lexovia.word_count.__text_signature__ == "()"


def test_concurrent_first_calls_share_one_load():
    # Eight threads force the dictionary at once. They all see the same
    # count, and the process holds one dictionary: its resident growth matches
    # a single-threaded load rather than eight.
    code = """
        import resource, threading, lexovia
        def rss_kib():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * resource.getpagesize() // 1024
        before = rss_kib()
        n = {threads}
        barrier = threading.Barrier(n)
        results = []
        def work():
            barrier.wait()
            results.append(lexovia.word_count())
        ts = [threading.Thread(target=work) for _ in range(n)]
        for t in ts: t.start()
        for t in ts: t.join()
        print(len(results), len(set(results)), rss_kib() - before)
        """
    one = run_python(code.format(threads=1))
    eight = run_python(code.format(threads=8))
    assert one.returncode == 0 and eight.returncode == 0, one.stderr + eight.stderr
    calls1, distinct1, growth1 = map(int, one.stdout.split())
    calls8, distinct8, growth8 = map(int, eight.stdout.split())
    assert (calls1, distinct1, calls8, distinct8) == (1, 1, 8, 1)
    assert growth8 < growth1 * 1.5 + 2048
