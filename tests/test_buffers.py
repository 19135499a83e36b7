"""The _into forms: caller arrays, their checks in order, and the write hold."""

import array
import sys
import threading

import pytest

import quillon

np = pytest.importorskip("numpy")

BATCH = [quillon.levenshtein_batch_into]
CDIST = [quillon.levenshtein_cdist_into]


def u32(*shape, fill=7):
    return np.full(shape, fill, dtype=np.uint32)


class TestBatchInto:
    def test_fills_and_returns_none(self):
        out = u32(2)
        assert quillon.levenshtein_batch_into("abc", ["abd", "xyz"], out) is None
        assert out.tolist() == [1, 3]

    def test_equals_list_form_across_chunks(self):
        candidates = [("abcde" * 3)[: k % 16] for k in range(9000)] + ["é"]
        for cands in (candidates[:-1], candidates):
            out = u32(len(cands))
            quillon.levenshtein_batch_into("abcabc", cands, out)
            assert out.tolist() == quillon.levenshtein_batch("abcabc", cands)

    def test_empty(self):
        assert quillon.levenshtein_batch_into("a", [], u32(0)) is None
        # An empty uint32 result accepts any layout.
        assert quillon.levenshtein_batch_into("a", [], u32(4)[::2][:0]) is None

    @pytest.mark.parametrize(
        "out, name",
        [
            ([0, 0], "list"),
            (array.array("I", [0, 0]), "array"),
            (memoryview(bytearray(8)), "memoryview"),
            (bytearray(8), "bytearray"),
            (np.zeros(2, dtype=np.int64), "ndarray"),
            (np.zeros(2, dtype=np.float32), "ndarray"),
            (np.zeros((1, 2), dtype=np.uint32), "ndarray"),
            (np.zeros(2, dtype=">u4"), "ndarray"),
            (None, None),
        ],
    )
    def test_refused_kinds(self, out, name):
        with pytest.raises(TypeError) as info:
            quillon.levenshtein_batch_into("a", ["b", "c"], out)
        subject = "'None'" if name is None else f"'{name}' object"
        assert str(info.value) == f"{subject} is not an instance of 'ndarray'"
        assert not hasattr(info.value, "__notes__")

    def test_without_numpy_nothing_is_an_array(self):
        import subprocess

        code = (
            "import sys; sys.modules['numpy'] = None\n"
            "import quillon\n"
            "try:\n"
            "    quillon.levenshtein_batch_into('a', ['b'], [0])\n"
            "except TypeError as error:\n"
            "    print(error)\n"
        )
        out = subprocess.run(
            [sys.executable, "-c", code], capture_output=True, text=True, check=True
        )
        assert out.stdout.strip() == "'list' object is not an instance of 'ndarray'"

    def test_subclass_and_equivalent_dtype_accepted(self):
        class Sub(np.ndarray):
            pass

        out = u32(2).view(Sub)
        quillon.levenshtein_batch_into("a", ["b", "a"], out)
        assert out.tolist() == [1, 0]
        native = np.zeros(2, dtype=np.dtype("=u4"))
        quillon.levenshtein_batch_into("a", ["b", "a"], native)
        assert native.tolist() == [1, 0]

    def test_read_only(self):
        out = u32(2)
        out.flags.writeable = False
        with pytest.raises(
            BufferError, match="^out must be a writable array not concurrently borrowed$"
        ):
            quillon.levenshtein_batch_into("a", ["b", "c"], out)

    def test_wrong_size_leaves_out_alone(self):
        out = u32(3)
        with pytest.raises(ValueError, match=r"^out must hold exactly 2 uint32 elements, got 3$"):
            quillon.levenshtein_batch_into("abc", ["abd", "xyz"], out)
        assert out.tolist() == [7, 7, 7]

    def test_not_contiguous(self):
        out = u32(4)
        with pytest.raises(BufferError, match="^out must be C-contiguous$"):
            quillon.levenshtein_batch_into("a", ["b", "c"], out[::2])
        assert out.tolist() == [7] * 4

    def test_order_of_checks(self):
        # Lists before the buffer; kind before writability before size before layout.
        with pytest.raises(TypeError, match="not iterable"):
            quillon.levenshtein_batch_into("a", 5, [0])
        read_only_wrong_size = u32(3)
        read_only_wrong_size.flags.writeable = False
        with pytest.raises(BufferError):
            quillon.levenshtein_batch_into("a", ["b"], read_only_wrong_size)
        with pytest.raises(ValueError):
            quillon.levenshtein_batch_into("a", ["b"], u32(6)[::2])

    def test_refusals_release_the_hold(self):
        out = u32(2)
        for _ in range(3):
            with pytest.raises(ValueError):
                quillon.levenshtein_batch_into("a", ["b"], out)
            with pytest.raises(BufferError):
                quillon.levenshtein_batch_into("a", ["b", "c"], out.reshape(2, 1)[:, 0][::-1])
        quillon.levenshtein_batch_into("a", ["b", "a"], out)
        assert out.tolist() == [1, 0]

    def test_refusals_leak_nothing(self):
        out = u32(3)
        before = sys.getrefcount(out)
        for _ in range(1000):
            with pytest.raises(ValueError):
                quillon.levenshtein_batch_into("a", ["b"], out)
            with pytest.raises(TypeError):
                quillon.levenshtein_batch_into("a", ["b"], [out])
        assert sys.getrefcount(out) == before


class TestCdistInto:
    def test_row_major(self):
        out = u32(2, 3)
        assert quillon.levenshtein_cdist_into(["a", "b"], ["a", "b", "cc"], out) is None
        assert out.tolist() == [[0, 1, 2], [1, 0, 2]]
        assert out.tolist() == quillon.levenshtein_cdist(["a", "b"], ["a", "b", "cc"])

    def test_shape_and_layout(self):
        with pytest.raises(ValueError, match=r"^out must have shape \(2, 3\), got \[3, 2\]$"):
            quillon.levenshtein_cdist_into(["a", "b"], ["a", "b", "c"], u32(3, 2))
        with pytest.raises(BufferError, match="^out must be C-contiguous$"):
            quillon.levenshtein_cdist_into(
                ["a", "b"], ["a", "b", "c"], np.zeros((2, 3), dtype=np.uint32, order="F")
            )
        with pytest.raises(TypeError, match="'ndarray' object is not an instance of 'ndarray'"):
            quillon.levenshtein_cdist_into(["a"], ["b"], u32(1))

    def test_empty_lists(self):
        for shape, a, b in [
            ((0, 3), [], ["a", "b", "c"]),
            ((2, 0), ["a", "b"], []),
            ((0, 0), [], []),
        ]:
            out = u32(*shape)
            assert quillon.levenshtein_cdist_into(a, b, out) is None
        with pytest.raises(ValueError, match=r"got \[1, 0\]"):
            quillon.levenshtein_cdist_into([], ["a"], u32(1, 0))


class TestWriteHold:
    def test_concurrent_writers_through_different_views(self):
        # Both threads write the same memory; a call that meets another's hold is refused, and
        # the array always ends holding one call's complete result.
        candidates = ["abcdefgh"[: k % 9] for k in range(200_000)]
        expected = {q: quillon.levenshtein_batch(q, candidates) for q in ("x", "abcd")}
        out = u32(len(candidates))
        views = {"x": out, "abcd": out.view()}
        finished, refused = [], []
        barrier = threading.Barrier(2)

        def work(query):
            barrier.wait()
            for _ in range(20):
                try:
                    quillon.levenshtein_batch_into(query, candidates, views[query])
                    finished.append(query)
                except BufferError as error:
                    assert str(error) == "out must be a writable array not concurrently borrowed"
                    refused.append(query)

        threads = [threading.Thread(target=work, args=(q,)) for q in expected]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert len(finished) + len(refused) == 40 and finished
        assert out.tolist() in expected.values()

    def test_overlapping_slice_is_refused_while_held(self):
        candidates = ["abcdefghij" * 6] * 300_000
        out = u32(len(candidates))
        started = threading.Event()

        def long_call():
            started.set()
            quillon.levenshtein_batch_into("a" * 64, candidates, out)

        thread = threading.Thread(target=long_call)
        thread.start()
        started.wait()
        refused = False
        while thread.is_alive() and not refused:
            try:
                quillon.levenshtein_batch_into("q", ["r"], out[5:6])
            except BufferError:
                refused = True
        thread.join()
        assert refused
        # Writes that came before the hold were overwritten by the long call's result.
        assert out.tolist() == quillon.levenshtein_batch("a" * 64, candidates)
        # Disjoint memory is never refused.
        other = u32(1)
        quillon.levenshtein_batch_into("q", ["r"], other)
        assert other.tolist() == [1]
